// The two colour palettes of the window (0xAARRGGBB, picked by role index) and the switch
// between them; light until set_dark(true). Main thread only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace theme {

constexpr size_t kColorCount = 19;
using Palette = std::array<uint32_t, kColorCount>;

const Palette& colors();
void set_dark(bool on);
bool dark();

}  // namespace theme
