#include "ui/layout.h"

#include <algorithm>

#include "i18n/i18n.h"
#include "ui/style.h"
#include "ui/ui.h"

namespace ui {

namespace {

// ---- Layout of the main panel -------------------------------------------------------------
// Every number is in pixels at scale 1.

using style::kMargin;
constexpr float kLabelMin = 132;      // the label column never gets narrower
constexpr float kLabelGap = 22;       // between the longest label and the controls
constexpr float kLoopPad = 26 + 18;   // box and gap around the text of "endless"
constexpr float kRandomPad = 26 + 4;  // likewise "random"
constexpr float kAutostartPad = 26 + 8;
constexpr float kButtonPitch = 128;
constexpr float kLoopMinX = kMargin + 4 * kButtonPitch + 20;  // just right of the rescan button
constexpr float kMeterGap = 260 + 96;  // from the control column to the meter
constexpr float kMeterMinWidth = 220;  // narrower: no meter
constexpr float kDayPitch = 74, kDayTop = 170, kDayWidth = 68, kRowHeight = 30;

// The labels of the left column; the widest of them sets its width.
constexpr const char* kLabels[] = {"folder",      "pattern", "window", "days",
                                   "time_source", "volume",  "target", "ceiling"};

// Where a region's left edge is counted from: the margin, the control column right of the
// labels (X), the right margin (R), the two check boxes beside the player buttons, the meter.
enum class Edge { Margin, Controls, Right, Loop, Shuffle, Meter };
// What a region's own width number is added to: nothing, what is left up to R, the label
// column, or the width of the check box's text.
enum class Span { Fixed, ToRight, Labels, LoopText, RandomText, AutostartText };

struct Place {
    gfx::Rect Ui::*region;
    Edge edge;
    float dx;
    float y;  // from the top; negative: from the bottom of the window
    Span span;
    float w, h;
};

constexpr Place kPlaces[] = {
    {&Ui::about_button, Edge::Right, -34, 10, Span::Fixed, 34, 26},
    {&Ui::settings_button, Edge::Right, -70, 10, Span::Fixed, 30, 26},
    {&Ui::folder, Edge::Controls, 0, 50, Span::ToRight, -130 - 8, 30},
    {&Ui::browse, Edge::Right, -130, 50, Span::Fixed, 130, 30},
    {&Ui::pattern, Edge::Controls, 0, 90, Span::Fixed, 148, 30},
    {&Ui::recursive, Edge::Controls, 216, 90, Span::Fixed, 260, 30},
    {&Ui::theme, Edge::Right, -130, 90, Span::Fixed, 130, 30},
    {&Ui::time_rules, Edge::Margin, 0, 130, Span::Labels, -8, 30},
    {&Ui::from, Edge::Controls, 0, 130, Span::Fixed, 84, 30},
    {&Ui::to, Edge::Controls, 100, 130, Span::Fixed, 84, 30},
    {&Ui::win_files, Edge::Controls, 200, 130, Span::Fixed, 220, 30},
    {&Ui::win_play, Edge::Controls, 428, 130, Span::Fixed, 220, 30},
    {&Ui::src_name, Edge::Controls, 0, 210, Span::Fixed, 200, 30},
    {&Ui::src_created, Edge::Controls, 208, 210, Span::Fixed, 130, 30},
    {&Ui::src_modified, Edge::Controls, 346, 210, Span::Fixed, 130, 30},
    {&Ui::src_off, Edge::Controls, 484, 210, Span::Fixed, 150, 30},
    {&Ui::track, Edge::Margin, 18, 270, Span::ToRight, -18, 32},
    {&Ui::recorded, Edge::Margin, 18, 302, Span::ToRight, -18, 22},
    {&Ui::progress, Edge::Margin, 18, 334, Span::ToRight, -18, 12},
    {&Ui::status_line, Edge::Margin, 18, 356, Span::ToRight, -18, 30},
    {&Ui::start, Edge::Margin, 0, 424, Span::Fixed, 118, 34},
    {&Ui::pause, Edge::Margin, kButtonPitch, 424, Span::Fixed, 118, 34},
    {&Ui::next, Edge::Margin, 2 * kButtonPitch, 424, Span::Fixed, 118, 34},
    {&Ui::rescan, Edge::Margin, 3 * kButtonPitch, 424, Span::Fixed, 138, 34},
    {&Ui::loop, Edge::Loop, 0, 426, Span::LoopText, kLoopPad, 30},
    {&Ui::shuffle, Edge::Shuffle, 0, 426, Span::RandomText, kRandomPad, 30},
    {&Ui::volume, Edge::Controls, 0, 480, Span::Fixed, 260, 14},
    {&Ui::level_match, Edge::Margin, 0, 502, Span::Fixed, 240, 30},
    {&Ui::target, Edge::Controls, 0, 540, Span::Fixed, 260, 14},
    {&Ui::ceiling, Edge::Controls, 0, 570, Span::Fixed, 260, 14},
    {&Ui::autostart, Edge::Margin, 0, 602, Span::AutostartText, kAutostartPad, 30},
    {&Ui::meter, Edge::Meter, 0, 470, Span::ToRight, 0, 114},
    {&Ui::footer, Edge::Margin, 0, -(kMargin + 22), Span::ToRight, 0, 22},
};

float label_text(const char* key, float s) {
    return gfx::text_width(i18n::T(key), style::kLabelSize * s, false);
}

// ---- Hit testing ----------------------------------------------------------------------------

enum class Kind {
    Plain,
    TimeRule,  // reacts only while the time rules are on
    Bar,       // thin: grabbed 10 pixels above and below what is drawn
};

struct Target {
    gfx::Rect Ui::*region;
    Hit hit;
    Kind kind;
};

constexpr float kGrab = 10;

// In this order; the first region holding the point wins.
constexpr Target kTargets[] = {
    {&Ui::about_button, Hit::AboutButton, Kind::Plain},
    {&Ui::settings_button, Hit::SettingsButton, Kind::Plain},
    {&Ui::folder, Hit::FolderField, Kind::Plain},
    {&Ui::browse, Hit::BrowseButton, Kind::Plain},
    {&Ui::pattern, Hit::PatternField, Kind::Plain},
    {&Ui::recursive, Hit::RecursiveCheck, Kind::Plain},
    {&Ui::theme, Hit::ThemeButton, Kind::Plain},
    {&Ui::time_rules, Hit::TimeRulesCheck, Kind::Plain},
    {&Ui::from, Hit::FromField, Kind::TimeRule},
    {&Ui::to, Hit::ToField, Kind::TimeRule},
    {&Ui::win_files, Hit::WindowFilesCheck, Kind::TimeRule},
    {&Ui::win_play, Hit::WindowPlayCheck, Kind::TimeRule},
    {&Ui::src_name, Hit::SourceNameRadio, Kind::TimeRule},
    {&Ui::src_created, Hit::SourceCreatedRadio, Kind::TimeRule},
    {&Ui::src_modified, Hit::SourceModifiedRadio, Kind::TimeRule},
    {&Ui::src_off, Hit::SourceOffRadio, Kind::TimeRule},
    {&Ui::start, Hit::StartButton, Kind::Plain},
    {&Ui::pause, Hit::PauseButton, Kind::Plain},
    {&Ui::next, Hit::NextButton, Kind::Plain},
    {&Ui::rescan, Hit::RescanButton, Kind::Plain},
    {&Ui::progress, Hit::ProgressBar, Kind::Bar},
    {&Ui::volume, Hit::VolumeSlider, Kind::Bar},
    {&Ui::level_match, Hit::LevelMatchCheck, Kind::Plain},
    {&Ui::autostart, Hit::AutostartCheck, Kind::Plain},
    {&Ui::loop, Hit::LoopCheck, Kind::Plain},
    {&Ui::shuffle, Hit::ShuffleCheck, Kind::Plain},
    {&Ui::target, Hit::TargetSlider, Kind::Bar},
    {&Ui::ceiling, Hit::CeilingSlider, Kind::Bar},
};

// Index of the first rectangle of `list` holding the point, or -1.
int find(const std::vector<gfx::Rect>& list, float x, float y) {
    for (size_t i = 0; i < list.size(); ++i)
        if (inside(list[i], x, y)) return static_cast<int>(i);
    return -1;
}

Hit hit_settings_panel(float x, float y) {
    if (int i = find(g_ui.language_rects, x, y); i >= 0) return kLanguageItems.at(i);
    if (int j = find(g_ui.device_rects, x, y); j >= 0) return kDeviceItems.at(j);
    if (inside(g_ui.settings_close, x, y)) return Hit::SettingsClose;
    return inside(g_ui.settings_panel, x, y) ? Hit::None : Hit::SettingsClose;
}

Hit hit_about_panel(float x, float y) {
    if (inside(g_ui.about_close, x, y)) return Hit::AboutClose;
    if (inside(g_ui.about_web, x, y)) return Hit::AboutWebLink;
    if (inside(g_ui.about_mail, x, y)) return Hit::AboutMailLink;
    return inside(g_ui.about_panel, x, y) ? Hit::None : Hit::AboutClose;
}

}  // namespace

void layout(float w, float h) {
    const float s = g_ui.scale;
    float widest = 0;
    for (const char* key : kLabels) widest = std::max(widest, label_text(key, s));
    g_ui.label_width = std::max(kLabelMin * s, widest + kLabelGap * s);

    const float m = kMargin * s;
    const float controls = m + g_ui.label_width;
    const float right = w - m;
    const float loop_w = label_text("loop", s) + kLoopPad * s;
    const float random_w = label_text("order_random", s) + kRandomPad * s;
    const float loop_x = std::max(right - loop_w - random_w, kLoopMinX * s);

    for (const Place& p : kPlaces) {
        float x = p.dx * s;
        switch (p.edge) {
            case Edge::Margin: x += m; break;
            case Edge::Controls: x += controls; break;
            case Edge::Right: x += right; break;
            case Edge::Loop: x += loop_x; break;
            case Edge::Shuffle: x += loop_x + loop_w; break;
            case Edge::Meter: x += controls + kMeterGap * s; break;
        }
        float width = p.w * s;
        switch (p.span) {
            case Span::Fixed: break;
            case Span::ToRight: width += right - x; break;
            case Span::Labels: width += g_ui.label_width; break;
            case Span::LoopText: width += label_text("loop", s); break;
            case Span::RandomText: width += label_text("order_random", s); break;
            case Span::AutostartText: width += label_text("autostart", s); break;
        }
        const float y = p.y < 0 ? h + p.y * s : p.y * s;
        g_ui.*p.region = {x, y, width, p.h * s};
    }
    if (!(g_ui.meter.w > kMeterMinWidth * s)) g_ui.meter = {};

    for (size_t d = 0; d < g_ui.days.size(); ++d)
        g_ui.days[d] = {controls + kDayPitch * s * d, kDayTop * s, kDayWidth * s, kRowHeight * s};
}

bool inside(const gfx::Rect& r, float x, float y) {
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

Hit hit_test(float x, float y) {
    if (g_settings_open) return hit_settings_panel(x, y);
    if (g_about_open) return hit_about_panel(x, y);

    const bool time_rules = g_settings.time_rules;
    if (time_rules)
        for (size_t d = 0; d < g_ui.days.size(); ++d)
            if (inside(g_ui.days[d], x, y)) return kDayToggles.at(static_cast<int>(d));

    const float grab = kGrab * g_ui.scale;
    for (const Target& t : kTargets) {
        if (t.kind == Kind::TimeRule && !time_rules) continue;
        gfx::Rect r = g_ui.*t.region;
        if (t.kind == Kind::Bar) r = {r.x, r.y - grab, r.w, r.h + 2 * grab};
        if (inside(r, x, y)) return t.hit;
    }
    return Hit::None;
}

gfx::Rect region_of(Hit h) {
    for (const Target& t : kTargets)
        if (t.hit == h) return g_ui.*t.region;
    return {};
}

shell::Cursor cursor_at(float x, float y) {
    switch (hit_test(x, y)) {
        case Hit::FolderField:
        case Hit::PatternField:
        case Hit::FromField:
        case Hit::ToField: return shell::Cursor::Text;
        case Hit::VolumeSlider:
        case Hit::TargetSlider:
        case Hit::CeilingSlider:
        case Hit::ProgressBar:
        case Hit::AboutWebLink:
        case Hit::AboutMailLink: return shell::Cursor::Pointer;
        default: return shell::Cursor::Default;
    }
}

}  // namespace ui
