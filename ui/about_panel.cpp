#include "ui/about_panel.h"

#include <algorithm>

#include "gui/gfx.h"
#include "gui/logo.h"
#include "i18n/i18n.h"
#include "system/version.h"
#include "ui/main_panel.h"
#include "ui/state.h"
#include "ui/style.h"
#include "ui/text_field.h"

namespace ui {

namespace {

constexpr size_t kMaxLines = 12;
constexpr float kWindowGap = 24;  // the panel stays this much shorter than the window
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

using style::kAbout;
using style::kSmallSize;
using style::kTextSize;

// What the program is built on, with the licences of the libraries it links. Wider than the
// panel, it is wrapped like the tagline, its lines component_pitch apart.
constexpr const char* kComponents =
    "GTK 3 · cairo · pango · libmpg123 (LGPL-2.1) · libsodium (ISC) · PulseAudio · ALSA";
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
        draw_text({x, y, width, size * kAbout.box_pitch * g_ui.scale}, text, size, colour(role_index),
                  gfx::Align::Center, bold);
    }
    // A link centred on its text; returns the rectangle that reacts to the pointer.
    gfx::Rect link(const std::string& text, bool hover) const {
        const float s = g_ui.scale;
        const float tw = std::min(gfx::text_width(text, kTextSize * s, false), width);
        const gfx::Rect r = {x + (width - tw) / 2 - kAbout.link_pad * s, y,
                             tw + 2 * kAbout.link_pad * s, kAbout.link_h * s};
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
    const float pw = std::min(w - kAbout.side_gap * s, kAbout.max_width * s);
    const float iw = pw - 2 * kAbout.inset * s;
    const auto& tagline = wrapped(g_tagline, i18n::T("about_tagline"), kTextSize * s, iw);
    const auto& components = wrapped(g_components, kComponents, kSmallSize * s, iw);
    const auto& disclaimer = wrapped(g_disclaimer, i18n::T("about_disclaimer"), kSmallSize * s, iw);
    const float disclaimer_pitch = kSmallSize * kAbout.line_pitch;

    const size_t extra_components = std::max<size_t>(components.size(), 1) - 1;
    const float wanted = kAbout.base_height() + kAbout.tagline_pitch * tagline.size() +
                         kAbout.component_pitch * extra_components +
                         disclaimer_pitch * disclaimer.size();
    const float ph = std::min(h - kWindowGap * s, wanted * s);
    const float px = (w - pw) / 2, py = (h - ph) / 2;
    g_ui.about_panel = {px, py, pw, ph};
    draw_overlay_frame(w, h, g_ui.about_panel);
    logo::draw(px + (pw - kAbout.logo * s) / 2, py + kAbout.logo_top * s, kAbout.logo * s, true,
               kOpaqueWhite);

    Column c{px + kAbout.inset * s, iw,
             py + (kAbout.logo_top + kAbout.logo + kAbout.logo_gap) * s};
    c.line(version::kProduct, style::kTitleSize, role::kStrong, true);
    c.y += kAbout.title * s;
    for (const std::string& line : tagline) {
        c.line(line, kTextSize, role::kSecondary);
        c.y += kAbout.tagline_pitch * s;
    }
    c.y += kAbout.tagline_gap * s;
    c.line(std::string("Version ") + version::kVersion + " (Build " + version::kBuild + ")",
           kTextSize, role::kSecondary);
    c.y += kAbout.version * s;
    c.line(i18n::T("formats") + (" " + i18n::isolate("MP3")), kTextSize, role::kSecondary);
    c.y += kAbout.formats * s;
    c.line(i18n::T("third_party"), kSmallSize, role::kSecondary);
    for (const std::string& line : components) {
        c.y += kAbout.component_pitch * s;
        c.line(line, kSmallSize, role::kSecondary);
    }
    c.y += kAbout.author_gap * s;
    c.line(kAuthor, style::kAuthorSize, role::kText);
    c.y += kAbout.author * s;
    c.line(kMaker, kTextSize, role::kSecondary);
    c.y += kAbout.maker * s;
    c.line(kNotice, kTextSize, role::kSecondary);
    c.y += kAbout.notice * s;
    gfx::fill_rect({c.x, c.y, iw, 1 * s}, colour(role::kBorder));
    c.y += kAbout.rule * s;
    c.line(i18n::T("about_disclaimer_title"), kTextSize, role::kSecondary, true);
    c.y += kAbout.disclaimer_title * s;
    for (const std::string& line : disclaimer) {
        c.line(line, kSmallSize, role::kSecondary);
        c.y += disclaimer_pitch * s;
    }
    c.y += kAbout.links_gap * s;
    g_ui.about_web = c.link(kWebAddress, g_hover == Hit::AboutWebLink);
    c.y += kAbout.web * s;
    g_ui.about_mail = c.link(i18n::T("about_report_bug") + (" " + i18n::isolate(kSupportMail)),
                             g_hover == Hit::AboutMailLink);
    g_ui.about_close = draw_overlay_close(g_ui.about_panel, g_hover == Hit::AboutClose);
}

}  // namespace ui
