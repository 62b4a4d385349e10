// The two colour palettes of the window (0xAARRGGBB, picked by role index) and the switch
// between them; light until set_dark(true). Main thread only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace theme {

constexpr size_t kColorCount = 19;
using Palette = std::array<uint32_t, kColorCount>;

// What each palette entry is for: its index in colors().
namespace role {
constexpr int kBackground = 0, kSurface = 1, kSurfaceHover = 2, kBorder = 3, kText = 4,
              kSecondary = 5, kStrong = 6, kAccent = 7, kAccentHover = 8, kOnAccent = 9,
              kInput = 10, kInputBorder = 11, kFocus = 12, kSelection = 13, kTrack = 14,
              kFilled = 15, kAmber = 16, kRed = 17, kGreen = 18;
constexpr int kError = kRed;  // a field in error shows the meter's red
}  // namespace role

const Palette& colors();
void set_dark(bool on);
bool dark();

}  // namespace theme
