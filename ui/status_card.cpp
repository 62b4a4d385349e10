#include "ui/status_card.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/timeutil.h"
#include "i18n/i18n.h"
#include "ui/format.h"
#include "ui/main_panel.h"
#include "ui/state.h"
#include "ui/style.h"

namespace ui {

namespace {

constexpr float kTrackSize = 24, kRecordedSize = style::kLabelSize, kLineSize = style::kTextSize;
constexpr float kCardInset = 14, kCardHeight = 152, kCardCorner = 10;
constexpr float kBarCorner = 6, kKnob = 7, kKnobHover = 9;
constexpr double kKnownLength = 0.1;  // seconds; a shorter length counts as unknown
// The two composed lines keep to the length they always had, whatever the translation.
constexpr size_t kComposedMax = 95;
constexpr const char* kSeparator = "  ·  ";

bool length_known(const Player::Status& s) { return s.duration > kKnownLength; }

// Cut to at most `max` bytes, never inside a character nor inside a number or name kept whole.
std::string limited(std::string text, size_t max) {
    if (text.size() > max) text.resize(i18n::cut_point(text, max));
    return text;
}

// The translation with its first "%s" replaced by `value`. The translated text is never used as
// a format: a stray "%" in a translation is shown as it is instead of reading arguments that
// were never passed.
std::string fill_in(const char* translated, const std::string& value) {
    std::string text = translated;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

const char* source_key(TimeSource source) {
    switch (source) {
        case TimeSource::Name: return "time_from_name";
        case TimeSource::Created: return "time_created";
        case TimeSource::Modified: return "time_modified";
        case TimeSource::Off: break;
    }
    return nullptr;  // no time rules, or no source the player knows
}

std::string waiting_text(const Player::Status& s) {
    std::string text = i18n::T("waiting_window");
    if (s.wait_seconds <= 0) return text;
    std::string opens = timeutil::format_hhmm(g_settings.window.from);
    if (opens.empty()) opens = "00:00";
    return text + kSeparator +
           limited(fill_in(i18n::T("waiting_resume"), i18n::isolate(opens)), kComposedMax) +
           "  (" + i18n::isolate(hhmmss(s.wait_seconds)) + ")";
}

}  // namespace

std::string state_text(const Player::Status& s) {
    switch (s.state) {
        case Player::Scanning: {
            std::string text = i18n::T("scanning");
            if (s.progress.files > 0)
                text += " " + i18n::isolate(with_thousands(
                                  static_cast<uint64_t>(s.progress.files)));
            return text;
        }
        case Player::NoFiles: return i18n::T("err_no_files");
        case Player::Playing: return i18n::T("playing");
        case Player::Paused: return i18n::T("pause");
        case Player::Waiting: return waiting_text(s);
        case Player::Error: return s.message;
        case Player::Finished: return i18n::T("finished");
        default: return "";
    }
}

std::string position_text(const Player::Status& s) {
    if (!length_known(s)) return "";
    return hhmmss(s.position) + " / " + hhmmss(s.duration);
}

std::string pool_text(const Player::Status& s) {
    std::string text = i18n::isolate(with_thousands(s.pool_size)) + " " + i18n::T("pool");
    if (s.state == Player::Playing) {
        char levels[96];
        std::snprintf(levels, sizeof levels, "%.0f → %.0f dB (%+.1f)", s.in_db, s.out_db,
                      s.gain_db);
        text += kSeparator + i18n::isolate(levels);
    }
    return text;
}

std::string recorded_text(const Player::Status& s) {
    const char* source = source_key(g_settings.time_source);
    if (s.time <= 0 || !g_settings.time_rules || !source) return "";
    const timeutil::LocalTime t = timeutil::to_local(s.time);
    char when[64];
    std::snprintf(when, sizeof when, "%02d.%02d.%04d  %02d:%02d:%02d", t.day, t.month, t.year,
                  t.hour, t.minute, t.second);
    return limited(
        i18n::T("recorded") + (": " + i18n::isolate(when)) + "   ·   " + i18n::T(source),
        kComposedMax);
}

std::string footer_text(const Player::Status& s) {
    if (s.state == Player::Error) return s.message;
    const std::string device =
        s.device.empty() ? ""
                         : i18n::T("device") + (": " + i18n::isolate(s.device, i18n::Order::Own));
    if (s.message.empty()) return device;
    return device.empty() ? s.message : s.message + kSeparator + device;
}

float progress_fraction(const Player::Status& s) {
    if (!length_known(s)) return 0;
    const double f = s.position / s.duration;
    if (!(f > 0)) return 0;  // also not a number
    return f < 1 ? static_cast<float>(f) : 1.0f;
}

gfx::Rect status_card_rect() {
    const float sc = g_ui.scale;
    return {style::kMargin * sc, g_ui.track.y - kCardInset * sc, g_ui.track.w + 36 * sc, kCardHeight * sc};
}

gfx::Rect progress_area() {
    const gfx::Rect& bar = g_ui.progress;
    const float reach = kKnobHover * g_ui.scale;
    return {bar.x - reach, bar.y + bar.h / 2 - reach, bar.w + 2 * reach,
            std::max(bar.h, 2 * reach)};
}

// The knob covers the end of the filled part; a pixel more on either side takes in the end's
// fraction of a pixel.
gfx::Rect progress_area(float from, float to) {
    gfx::Rect area = progress_area();
    const float reach = kKnobHover * g_ui.scale + 1;
    area.x = g_ui.progress.x + std::min(from, to) - reach;
    area.w = std::abs(to - from) + 2 * reach;
    return area;
}

void draw_status_card(const Player::Status& s) {
    const float sc = g_ui.scale;
    const gfx::Rect card = status_card_rect();
    gfx::fill_round_rect(card, kCardCorner * sc, colour(role::kSurface));
    gfx::stroke_round_rect(card, kCardCorner * sc, colour(role::kBorder), 1);

    if (s.name.empty())
        draw_text(g_ui.track, i18n::T("no_track"), kTrackSize, colour(role::kSecondary),
                  gfx::Align::Left, true);
    else
        draw_text(g_ui.track, s.name, kTrackSize, colour(role::kStrong), gfx::Align::Left, true);
    draw_text(g_ui.recorded, recorded_text(s), kRecordedSize, colour(role::kSecondary));

    const gfx::Rect& bar = g_ui.progress;
    const float f = progress_fraction(s);
    gfx::fill_round_rect(bar, kBarCorner * sc, colour(role::kTrack));
    gfx::fill_round_rect({bar.x, bar.y, bar.w * f, bar.h}, kBarCorner * sc, colour(role::kFilled));
    if (length_known(s)) {
        const bool hover = g_hover == Hit::ProgressBar;
        gfx::fill_circle(bar.x + bar.w * f, bar.y + bar.h / 2, (hover ? kKnobHover : kKnob) * sc,
                         colour(hover ? role::kAccentHover : role::kAccent));
    }

    const gfx::Rect& line = g_ui.status_line;
    draw_text(line, state_text(s), kLineSize,
              colour(s.state == Player::Error ? role::kError : role::kSecondary));
    draw_text(line, position_text(s), kLineSize, colour(role::kSecondary), gfx::Align::Center);
    draw_text(line, pool_text(s), kLineSize, colour(role::kSecondary), gfx::Align::Right);
}

void draw_footer(const Player::Status& s) {
    draw_text(g_ui.footer, footer_text(s), kLineSize,
              colour(s.state == Player::Error ? role::kError : role::kSecondary));
}

}  // namespace ui
