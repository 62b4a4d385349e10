// Numbers as the panel writes them: counts with a dot between groups of three digits, and play
// times as m:ss or h:mm:ss. Pure functions; called on the GUI thread.
#pragma once
#include <cstdint>
#include <string>

namespace ui {

// 1200000 gives "1.200.000".
std::string with_thousands(uint64_t n);
// Seconds, cut to whole ones: 59.9 gives "0:59", 3600 "1:00:00". Anything below 0, above 100
// hours or not a number gives "0:00".
std::string hhmmss(double seconds);

}  // namespace ui
