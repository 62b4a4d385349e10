#include "ui/about_panel.h"

#include <algorithm>

#include "gui/gfx.h"
#include "gui/logo.h"
#include "i18n/i18n.h"
#include "system/version.h"
#include "ui/main_panel.h"
#include "ui/state.h"
#include "ui/text_field.h"

namespace ui {

namespace {

constexpr size_t kMaxLines = 12;

constexpr float kMaxWidth = 470, kSideGap = 40, kInset = 28, kLogo = 72;
constexpr float kBaseHeight = 493, kTaglinePitch = 20, kLinePitch = 1.35f, kBoxPitch = 1.6f;
constexpr float kTitleSize = 21, kTextSize = 13, kSmallSize = 13 * 0.92f, kAuthorSize = 15;
constexpr float kLinkHeight = 20, kLinkPad = 6;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

// What the program is built on, with the licences of the libraries it links. Wider than the
// panel, it is wrapped like the tagline, its lines 17 pixels apart.
constexpr const char* kComponents =
    "GTK 3 · cairo · pango · libmpg123 (LGPL-2.1) · libsodium (ISC) · PulseAudio · ALSA";
constexpr float kComponentPitch = 17;
constexpr const char* kAuthor = "© 2026 The Quavermill developers";
constexpr const char* kMaker = "Quavermill";
constexpr const char* kNotice = "All rights reserved.";

// Wrapping measures a line once per character it gives back, so the two long texts are
// wrapped once per language and width, not in every frame.
struct Wrapped {
    std::string text;
    float size = 0, width = 0;
    std::vector<std::string> lines;
};

Wrapped g_tagline, g_components, g_disclaimer;

const std::vector<std::string>& wrapped(Wrapped& memo, const char* text, float size, float width) {
    if (memo.text != text || memo.size != size || memo.width != width)
        memo = {text, size, width, wrap_lines(text, size, width)};
    return memo.lines;
}

// Text lines running down the panel, each in a box of the inner width.
struct Column {
    float x, width, y;

    void line(std::string_view text, float size, int role_index, bool bold = false) const {
        draw_text({x, y, width, size * kBoxPitch * g_ui.scale}, text, size, colour(role_index),
                  gfx::Align::Center, bold);
    }
    // A link centred on its text; returns the rectangle that reacts to the pointer.
    gfx::Rect link(const std::string& text, bool hover) const {
        const float s = g_ui.scale;
        const float tw = std::min(gfx::text_width(text, kTextSize * s, false), width);
        const gfx::Rect r = {x + (width - tw) / 2 - kLinkPad * s, y, tw + 2 * kLinkPad * s,
                             kLinkHeight * s};
        draw_text(r, text, kTextSize, colour(hover ? role::kAccentHover : role::kAccent),
                  gfx::Align::Center);
        return r;
    }
};

}  // namespace

std::vector<std::string> wrap_lines(std::string_view text, float size, float width) {
    std::vector<std::string> lines;
    std::string_view rest = text;
    while (!rest.empty() && lines.size() < kMaxLines) {
        if (gfx::text_width(rest, size, false) <= width) {
            lines.emplace_back(rest);
            break;
        }
        size_t cut = gfx::fit_chars(rest, size, width);
        const size_t space = rest.rfind(' ', cut);
        if (space != std::string_view::npos && space >= 1) cut = space;
        // Not even one character fits: it goes on a line of its own, whole.
        if (cut == 0) cut = next_boundary(std::string(rest.substr(0, 4)), 0);
        lines.emplace_back(rest.substr(0, cut));
        if (cut < rest.size() && rest[cut] == ' ') ++cut;
        rest.remove_prefix(cut);
    }
    return lines;
}

void draw_about(float w, float h) {
    const float s = g_ui.scale;
    const float pw = std::min(w - kSideGap * s, kMaxWidth * s);
    const float iw = pw - 2 * kInset * s;
    const auto& tagline = wrapped(g_tagline, i18n::T("about_tagline"), kTextSize * s, iw);
    const auto& components = wrapped(g_components, kComponents, kSmallSize * s, iw);
    const auto& disclaimer = wrapped(g_disclaimer, i18n::T("about_disclaimer"), kSmallSize * s, iw);

    const size_t extra_components = std::max<size_t>(components.size(), 1) - 1;
    const float wanted = kBaseHeight + kTaglinePitch * tagline.size() +
                         kComponentPitch * extra_components +
                         kSmallSize * kLinePitch * disclaimer.size();
    const float ph = std::min(h - 24 * s, wanted * s);
    const float px = (w - pw) / 2, py = (h - ph) / 2;
    g_ui.about_panel = {px, py, pw, ph};
    draw_overlay_frame(w, h, g_ui.about_panel);
    logo::draw(px + (pw - kLogo * s) / 2, py + 26 * s, kLogo * s, true, kOpaqueWhite);

    Column c{px + kInset * s, iw, py + (26 + kLogo + 18) * s};
    c.line(version::kProduct, kTitleSize, role::kStrong, true);
    c.y += 30 * s;
    for (const std::string& line : tagline) {
        c.line(line, kTextSize, role::kSecondary);
        c.y += kTaglinePitch * s;
    }
    c.y += 6 * s;
    c.line(std::string("Version ") + version::kVersion + " (Build " + version::kBuild + ")",
           kTextSize, role::kSecondary);
    c.y += 20 * s;
    c.line(std::string(i18n::T("formats")) + " MP3", kTextSize, role::kSecondary);
    c.y += 20 * s;
    c.line(i18n::T("third_party"), kSmallSize, role::kSecondary);
    for (const std::string& line : components) {
        c.y += kComponentPitch * s;
        c.line(line, kSmallSize, role::kSecondary);
    }
    c.y += 26 * s;
    c.line(kAuthor, kAuthorSize, role::kText);
    c.y += 22 * s;
    c.line(kMaker, kTextSize, role::kSecondary);
    c.y += 20 * s;
    c.line(kNotice, kTextSize, role::kSecondary);
    c.y += 26 * s;
    gfx::fill_rect({c.x, c.y, iw, 1 * s}, colour(role::kBorder));
    c.y += 12 * s;
    c.line(i18n::T("about_disclaimer_title"), kTextSize, role::kSecondary, true);
    c.y += 20 * s;
    for (const std::string& line : disclaimer) {
        c.line(line, kSmallSize, role::kSecondary);
        c.y += kSmallSize * kLinePitch * s;
    }
    c.y += 16 * s;
    g_ui.about_web = c.link(kWebAddress, g_hover == Hit::AboutWebLink);
    c.y += 22 * s;
    g_ui.about_mail = c.link(std::string(i18n::T("about_report_bug")) + " " + kSupportMail,
                             g_hover == Hit::AboutMailLink);
    g_ui.about_close = draw_overlay_close(g_ui.about_panel, g_hover == Hit::AboutClose);
}

}  // namespace ui
