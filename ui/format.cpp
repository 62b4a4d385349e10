#include "ui/format.h"

#include "core/timeutil.h"

namespace ui {

namespace {
constexpr double kMaxSeconds = 100 * 3600.0;
}

std::string with_thousands(uint64_t n) {
    std::string digits = std::to_string(n);
    for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, '.');
    return digits;
}

std::string hhmmss(double seconds) { return timeutil::format_duration(seconds, kMaxSeconds); }

}  // namespace ui
