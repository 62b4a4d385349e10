// The about panel: an overlay with the product's name, logo, version, tagline, formats, the
// components it is built on, its maker, a disclaimer and two links (web site, error reports by
// mail). Drawing records its rectangles in g_ui (about_panel, about_close, about_web,
// about_mail) for hit testing; the input handling opens and closes it and follows the links.
//
// GUI thread only, inside a repaint (wrap_lines measures through gfx and works outside one).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// What the two links open.
constexpr const char* kWebAddress = "https://quavermill.org";
constexpr const char* kSupportMail = "support@quavermill.org";  // opened as "mailto:" + it

// `text` broken into at most 12 lines, each at most `width` pixels wide at text size `size`
// (regular weight): at the last space that keeps a line inside the width, else where the text
// stops fitting, but always after at least one whole character. The space at a break is
// dropped; whatever needs a 13th line is dropped too.
std::vector<std::string> wrap_lines(std::string_view text, float size, float width);

// Draws the panel over a window of w x h and records its rectangles.
void draw_about(float w, float h);

}  // namespace ui
