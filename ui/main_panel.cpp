#include "ui/main_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/timeutil.h"
#include "gui/logo.h"
#include "gui/meter.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "system/version.h"
#include "gui/a11y_atk.h"
#include "ui/about_panel.h"
#include "ui/a11y.h"
#include "ui/settings_panel.h"
#include "ui/state.h"
#include "ui/status_card.h"
#include "ui/style.h"
#include "ui/ui.h"
#include "ui/widgets.h"

namespace ui {

namespace {

constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;
constexpr uint32_t kShade = 0xB4000000;  // over the window behind an overlay
constexpr float kPi = 3.14159265f;

using style::kHeader;
using style::kLabelSize;
using style::kMargin;
using style::kOverlay;
using style::kTextSize;

float scale() { return g_ui.scale; }

// A label of the left column, right-aligned against the controls, for a row at `top`.
void draw_label(const char* key, float top, float height, bool dimmed = false) {
    const float s = scale();
    draw_text({kMargin * s, top, g_ui.label_width - 10 * s, height}, i18n::T(key), kLabelSize,
              colour(role::kSecondary, dimmed), gfx::Align::Right);
}

// Slider labels sit on a 30-pixel row around the thin slider.
void draw_slider_label(const char* key, const gfx::Rect& slider) {
    draw_label(key, slider.y - 8 * scale(), 30 * scale());
}

gfx::Rect right_of(const gfx::Rect& r, float gap, float width) {
    return {r.x + r.w + gap * scale(), r.y, width * scale(), r.h};
}

void draw_header() {
    const float s = scale();
    const style::Header& hd = kHeader;
    logo::draw(hd.logo_x * s, hd.logo_y * s, hd.logo * s, true, kOpaqueWhite);
    draw_text({hd.title_x * s, hd.title_y * s, hd.title_w * s, hd.title_h * s}, version::kProduct,
              style::kTitleSize, colour(role::kStrong), gfx::Align::Left, true);
    const std::string version = std::string(version::kVersion) + " (Build " + version::kBuild + ")";
    const float x =
        std::min(g_ui.settings_button.x, g_ui.about_button.x) - (hd.version_gap + hd.version_w) * s;
    draw_text({x, hd.version_y * s, hd.version_w * s, hd.version_h * s}, version, kTextSize,
              colour(role::kSecondary), gfx::Align::Right);

    const gfx::Rect& gear = g_ui.settings_button;
    const gfx::Color gear_colour =
        colour(g_hover == Hit::SettingsButton ? role::kAccent : role::kSecondary);
    const float cx = gear.x + gear.w / 2, cy = gear.y + gear.h / 2;
    for (int k = 0; k < 8; ++k) {
        const float a = k * kPi / 4;
        gfx::line(cx + hd.gear_inner * s * std::cos(a), cy + hd.gear_inner * s * std::sin(a),
                  cx + hd.gear_outer * s * std::cos(a), cy + hd.gear_outer * s * std::sin(a),
                  gear_colour, hd.gear_stroke * s);
    }
    gfx::stroke_circle(cx, cy, hd.gear_ring * s, gear_colour, hd.gear_stroke * s);

    const gfx::Rect& about = g_ui.about_button;
    const gfx::Color about_colour =
        colour(g_hover == Hit::AboutButton ? role::kAccent : role::kSecondary);
    gfx::stroke_circle(about.x + about.w / 2, about.y + about.h / 2, hd.info_ring * s, about_colour,
                       hd.info_stroke * s);
    draw_text(about, "i", kTextSize, about_colour, gfx::Align::Center, true);
}

void draw_form(float w) {
    const Settings& st = g_settings;
    const bool rules = st.time_rules;
    const auto hover = [](Hit h) { return g_hover == h; };

    draw_label("folder", g_ui.folder.y, g_ui.folder.h);
    draw_field(g_ui.folder, g_folder, g_focus == Hit::FolderField, "Z:\\2026\\08", false);
    draw_button(g_ui.browse, i18n::T("browse"), false, hover(Hit::BrowseButton), true);

    draw_label("pattern", g_ui.pattern.y, g_ui.pattern.h);
    draw_field(g_ui.pattern, g_pattern, g_focus == Hit::PatternField, "*", false);
    draw_text(right_of(g_ui.pattern, 6, 56), ".mp3", kLabelSize, colour(role::kSecondary));
    draw_check(g_ui.recursive, st.recursive, i18n::T("recursive"), hover(Hit::RecursiveCheck),
               true);
    draw_button(g_ui.theme, i18n::T(theme::dark() ? "theme_light" : "theme_dark"), false,
                hover(Hit::ThemeButton), true);

    draw_check(g_ui.time_rules, rules, i18n::T("window"), hover(Hit::TimeRulesCheck), true);
    const bool from_bad = time_invalid(g_from), to_bad = time_invalid(g_to);
    draw_field(g_ui.from, g_from, g_focus == Hit::FromField, i18n::T("time_open"), from_bad);
    draw_text(right_of(g_ui.from, 0, 16), "–", kLabelSize, colour(role::kSecondary),
              gfx::Align::Center);
    draw_field(g_ui.to, g_to, g_focus == Hit::ToField, i18n::T("time_open"), to_bad);
    if (from_bad || to_bad) {
        const gfx::Rect& bad = from_bad ? g_ui.from : g_ui.to;
        draw_text({bad.x, bad.y + bad.h, 120 * scale(), 16 * scale()}, "hh:mm", style::kHintSize,
                  colour(role::kError));
    }
    draw_check(g_ui.win_files, st.win_files, i18n::T("window_files"), hover(Hit::WindowFilesCheck),
               rules);
    draw_check(g_ui.win_play, st.win_play, i18n::T("window_play"), hover(Hit::WindowPlayCheck),
               rules);

    const gfx::Rect& monday = g_ui.days[0];
    draw_label("days", monday.y, monday.h, !rules);
    const bool every_day = (st.window.days & 0x7F) == 0;
    for (int d = 0; d < 7; ++d)
        draw_check(g_ui.days[d], every_day || (st.window.days >> d & 1), i18n::T(kDayKeys[d]),
                   hover(kDayToggles.at(d)), rules);
    if (every_day) {
        const gfx::Rect& sunday = g_ui.days[6];
        const float x = sunday.x + sunday.w + 12 * scale();
        draw_text({x, sunday.y, w - kMargin * scale() - x, sunday.h}, i18n::T("days_all"),
                  kTextSize, colour(role::kSecondary));
    }

    draw_label("time_source", g_ui.src_name.y, g_ui.src_name.h, !rules);
    draw_radio(g_ui.src_name, st.time_source == TimeSource::Name, i18n::T("time_from_name"),
               hover(Hit::SourceNameRadio), rules);
    draw_radio(g_ui.src_created, st.time_source == TimeSource::Created, i18n::T("time_created"),
               hover(Hit::SourceCreatedRadio), rules);
    draw_radio(g_ui.src_off, st.time_source == TimeSource::Off, i18n::T("time_off"),
               hover(Hit::SourceOffRadio), rules);
    draw_radio(g_ui.src_modified, st.time_source == TimeSource::Modified, i18n::T("time_modified"),
               hover(Hit::SourceModifiedRadio), rules);
}

void draw_player_buttons(const Player::Status& s) {
    const bool paused = shows_play(s);
    const auto hover = [](Hit h) { return g_hover == h; };
    draw_button(g_ui.start, i18n::T(g_running ? "stop" : "start"), !g_running,
                hover(Hit::StartButton), true);
    draw_button(g_ui.pause, i18n::T(paused ? "play" : "pause"), false, hover(Hit::PauseButton),
                g_running);
    draw_button(g_ui.next, i18n::T("next"), false, hover(Hit::NextButton), g_running);
    draw_button(g_ui.rescan, i18n::T("rescan"), false, hover(Hit::RescanButton), g_running);
    draw_check(g_ui.loop, g_settings.loop, i18n::T("loop"), hover(Hit::LoopCheck), true);
    draw_check(g_ui.shuffle, g_settings.shuffle, i18n::T("order_random"), hover(Hit::ShuffleCheck),
               true);
}

// Numbers as printf writes them; values far outside a slider's range still print, and what
// printf cannot take (not a number) prints as 0.
std::string number_text(const char* format, double value) {
    if (std::isnan(value)) value = 0;
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void draw_levels() {
    const Settings& st = g_settings;
    const LevelConfig& lv = st.leveler;
    draw_slider_label("volume", g_ui.volume);
    draw_slider(g_ui.volume, st.volume, slider_text(Hit::VolumeSlider),
                g_hover == Hit::VolumeSlider);
    draw_check(g_ui.level_match, lv.on, i18n::T("level_match"), g_hover == Hit::LevelMatchCheck,
               true);
    draw_slider_label("target", g_ui.target);
    draw_slider(g_ui.target, style::kTargetRange.fraction(lv.target_db), slider_text(Hit::TargetSlider),
                lv.on && g_hover == Hit::TargetSlider);
    draw_slider_label("ceiling", g_ui.ceiling);
    draw_slider(g_ui.ceiling, style::kCeilingRange.fraction(lv.ceiling_db), slider_text(Hit::CeilingSlider),
                lv.on && g_hover == Hit::CeilingSlider);
    draw_check(g_ui.autostart, g_autostart_on, i18n::T("autostart"), g_hover == Hit::AutostartCheck,
               true);
    if (g_ui.meter.w > 0) meter::draw(g_ui.meter, g_meter, scale(), i18n::T("level_meter"));
}

}  // namespace

bool time_invalid(const Field& f) { return !f.text.empty() && timeutil::parse_hhmm(f.text) < 0; }

std::string slider_text(Hit slider) {
    const LevelConfig& lv = g_settings.leveler;
    switch (slider) {
        case Hit::VolumeSlider: {
            // The integer part of volume x 100 + 0.5, taken in floating point so no value
            // overflows.
            const double percent = std::trunc(static_cast<double>(g_settings.volume) * 100 + 0.5);
            return number_text("%.0f %%", percent == 0 ? 0 : percent);
        }
        case Hit::TargetSlider: return number_text("%.0f dB", lv.target_db);
        case Hit::CeilingSlider: return number_text("%.1f dB", lv.ceiling_db);
        default: return "";
    }
}

bool shows_play(const Player::Status& s) {
    return (g_player && g_player->paused()) || s.state == Player::Waiting;
}

void draw_text(const gfx::Rect& r, std::string_view text, float size, gfx::Color c,
               gfx::Align align, bool bold) {
    if (text.empty()) return;
    gfx::text(r, text, size * scale(), c, align, bold, true);
}

void draw_overlay_frame(float w, float h, const gfx::Rect& panel) {
    gfx::fill_rect({0, 0, w, h}, kShade);
    gfx::fill_round_rect(panel, kOverlay.corner * scale(), colour(role::kSurface));
    gfx::stroke_round_rect(panel, kOverlay.corner * scale(), colour(role::kBorder), 1);
}

gfx::Rect draw_overlay_close(const gfx::Rect& panel, bool hover) {
    const float s = scale();
    const gfx::Rect r = {panel.x + (panel.w - kOverlay.close_w * s) / 2,
                         panel.y + panel.h - (kOverlay.close_h + kOverlay.close_gap) * s,
                         kOverlay.close_w * s, kOverlay.close_h * s};
    draw_button(r, i18n::T("close"), true, hover, true);
    return r;
}

void draw_impl(float w, float h, const Player::Status& status) {
    gfx::clear(colour(role::kBackground));
    draw_header();
    draw_form(w);
    draw_status_card(status);
    draw_player_buttons(status);
    draw_levels();
    draw_footer(status);
    if (g_about_open) draw_about(w, h);
    if (g_settings_open) draw_settings(w, h);
    if (a11y::wanted()) publish_access(status);
}

void draw(float w, float h) {
    // One snapshot per frame: every part of the panel shows the same moment of the player.
    draw_impl(w, h, g_player ? g_player->status() : Player::Status{});
}

}  // namespace ui
