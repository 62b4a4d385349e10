#include "gui/theme.h"

namespace theme {

namespace {

// Roles: 0 window background, 1 surface, 2 surface hovered or disabled, 3 border, 4 text,
// 5 secondary text, 6 strongest contrast, 7 accent, 8 accent hovered, 9 text on accent,
// 10 input background, 11 input border, 12 focused input border, 13 selected text,
// 14 track, 15 filled track, 16 amber, 17 red, 18 green.
constexpr Palette kLight = {
    0xFFF4F6F8, 0xFFFFFFFF, 0xFFEDF1F5, 0xFFD3DAE2, 0xFF1B222B, 0xFF6B7784, 0xFF000000,
    0xFF2F80ED, 0xFF1E6FDC, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFC3CCD6, 0xFF2F80ED, 0xFFBBD6F7,
    0xFFDCE3EA, 0xFF2F80ED, 0xFFB8860B, 0xFFC62828, 0xFF2E7D32};
constexpr Palette kDark = {
    0xFF14171C, 0xFF1B2027, 0xFF222831, 0xFF2E3742, 0xFFDDE3EA, 0xFF8E9AA8, 0xFFFFFFFF,
    0xFF2F80ED, 0xFF4A94F5, 0xFFFFFFFF, 0xFF11151A, 0xFF39434F, 0xFF2F80ED, 0xFF264F78,
    0xFF2A323C, 0xFF2F80ED, 0xFFE2B93B, 0xFFE05252, 0xFF56C271};

bool g_dark = false;

}  // namespace

const Palette& colors() { return g_dark ? kDark : kLight; }
void set_dark(bool on) { g_dark = on; }
bool dark() { return g_dark; }

}  // namespace theme
