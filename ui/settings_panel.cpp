#include "ui/settings_panel.h"

#include <algorithm>
#include <string>

#include "gui/gfx.h"
#include "i18n/i18n.h"
#include "ui/main_panel.h"
#include "ui/state.h"
#include "ui/style.h"

namespace ui {

namespace {

constexpr float kMaxWidth = 680, kSideGap = 40, kBaseHeight = 198, kInset = 24, kRow = 24;
constexpr float kColumnGap = 6, kEntryCorner = 4, kTextIndent = 8, kTextTrim = 12;
using style::kTextSize;
using style::kTitleSize;
constexpr float kScrollBar = 4, kScrollBarRight = 28, kScrollCorner = 2;
constexpr const char* kDot = "  ·  ";

// One entry of either list: highlighted when selected, tinted while the pointer is on it.
void draw_entry(const gfx::Rect& r, const std::string& text, bool selected, bool hover) {
    const float s = g_ui.scale;
    if (selected)
        gfx::fill_round_rect(r, kEntryCorner * s, colour(role::kSelection));
    else if (hover)
        gfx::fill_round_rect(r, kEntryCorner * s, colour(role::kSurfaceHover));
    draw_text({r.x + kTextIndent * s, r.y, r.w - kTextTrim * s, r.h}, text, kTextSize,
              colour(selected ? role::kStrong : role::kText));
}

// The caption above a list.
void draw_caption(const char* key, float x, float y, float width) {
    draw_text({x, y, width, 20 * g_ui.scale}, i18n::T(key), kTextSize, colour(role::kSecondary));
}


// Lays out and draws the languages from `top` in `rows` rows, column by column.
void draw_languages(float x, float top, float width, int rows) {
    const float s = g_ui.scale;
    const int entries = static_cast<int>(i18n::languages().size()) + 1;  // the automatic choice first
    const float column = width / 3;
    g_ui.language_rects.clear();
    for (int i = 0; i < entries; ++i) {
        const gfx::Rect r = {x + (i / rows) * column, top + (i % rows) * kRow * s,
                             column - kColumnGap * s, kRow * s};
        g_ui.language_rects.push_back(r);
        draw_entry(r, language_text(i), language_selected(i), g_hover == kLanguageItems.at(i));
    }
}

// Lays out and draws the visible devices in `area`, one row per entry from g_dev_scroll on.
void draw_devices(const gfx::Rect& area, int entries, int shown) {
    const float s = g_ui.scale;
    g_ui.device_rects.assign(entries, gfx::Rect{});
    for (int r = 0; r < shown; ++r) {
        const int j = g_dev_scroll + r;
        g_ui.device_rects[j] = {area.x, area.y + r * kRow * s, area.w, kRow * s};
        draw_entry(g_ui.device_rects[j], device_text(j), device_selected(j),
                   g_hover == kDeviceItems.at(j));
    }
    if (entries <= shown) return;
    const float x = area.x + area.w + kInset * s - kScrollBarRight * s;
    gfx::fill_round_rect({x, area.y, kScrollBar * s, area.h}, kScrollCorner * s,
                         colour(role::kTrack));
    gfx::fill_round_rect(
        {x, area.y + g_dev_scroll * area.h / entries, kScrollBar * s, area.h * shown / entries},
        kScrollCorner * s, colour(role::kSecondary));
}

}  // namespace

std::string language_text(int i) {
    if (i == 0)
        return i18n::T("language_auto") + (" (" + i18n::isolate(i18n::effective_language()) + ")");
    return i18n::languages()[i - 1].name;
}

bool language_selected(int i) {
    const std::string setting = i18n::language();
    if (i == 0) return setting == "auto" || setting.empty();
    return setting == i18n::languages()[i - 1].code;
}

std::string device_text(int j) {
    if (j == 0) return i18n::T("device_default");
    const AudioOut::Device& d = g_devices[j - 1];
    return d.is_default ? i18n::isolate(d.name, i18n::Order::Own) + kDot + i18n::T("device_default")
                        : d.name;
}

bool device_selected(int j) {
    const std::string& id = g_settings.audio_device;
    return j == 0 ? id.empty() : id == g_devices[j - 1].id;
}

void draw_settings(float w, float h) {
    const float s = g_ui.scale;
    const int entries = static_cast<int>(g_devices.size()) + 1;  // the default device first
    const int shown = std::min(entries, kDeviceRows);
    // The languages and the automatic choice fill three columns.
    const int rows = (static_cast<int>(i18n::languages().size()) + 3) / 3;

    const float pw = std::min(w - kSideGap * s, kMaxWidth * s);
    const float ph = std::min(h - 24 * s, (kBaseHeight + kRow * (rows + shown)) * s);
    const float px = (w - pw) / 2, py = (h - ph) / 2;
    g_ui.settings_panel = {px, py, pw, ph};
    draw_overlay_frame(w, h, g_ui.settings_panel);

    const float x = px + kInset * s, inner = pw - 2 * kInset * s;
    draw_text({x, py + 24 * s, inner, 26 * s}, i18n::T("settings"), kTitleSize,
              colour(role::kStrong), gfx::Align::Left, true);
    draw_caption("language", x, py + 58 * s, inner);
    const float y0 = py + 82 * s;
    draw_languages(x, y0, inner, rows);

    const float y1 = y0 + rows * kRow * s + 22 * s;
    draw_caption("device", x, y1, inner);
    g_dev_scroll = std::clamp(g_dev_scroll, 0, entries - shown);
    g_ui.device_area = {x, y1 + kRow * s, inner, shown * kRow * s};
    draw_devices(g_ui.device_area, entries, shown);

    g_ui.settings_close = draw_overlay_close(g_ui.settings_panel, g_hover == Hit::SettingsClose);
}

}  // namespace ui
