#include "ui/a11y.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/utf8.h"
#include "gui/a11y_atk.h"
#include "gui/key_map.h"
#include "gui/platform.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "system/version.h"
#include "ui/about_panel.h"
#include "ui/input.h"
#include "ui/layout.h"
#include "ui/main_panel.h"
#include "ui/settings_panel.h"
#include "ui/state.h"
#include "ui/status_card.h"
#include "ui/style.h"
#include "ui/text_field.h"
#include "ui/ui.h"

namespace ui {

namespace {

using a11y::Role;

// Node ids: a control that hit testing names by one Hit has that Hit's number (the entries of
// the lists and the weekday toggles included); everything else has a number of its own.
enum : int {
    kTrackLabel = 4000,
    kRecordedLabel,
    kStateLabel,
    kPoolLabel,
    kFooterLabel,
    kMeterLeft,
    kMeterRight,
    kSettingsDialog,
    kLanguageList,
    kDeviceList,
    kAboutDialog,
    kAboutVersion,
};
constexpr double kSecondsPerMinute = 60;

a11y::Tree g_tree;

int id_of(Hit h) { return static_cast<int>(h); }

// The Hit that a click on node `id` must meet.
Hit hit_of(int id) { return static_cast<Hit>(id); }

// Where node `id` lies in the last frame; empty for ids without a clickable place.
gfx::Rect rect_of(int id) {
    const auto entry = [](const std::vector<gfx::Rect>& list, int i) {
        return i >= 0 && static_cast<size_t>(i) < list.size() ? list[i] : gfx::Rect{};
    };
    const Hit h = hit_of(id);
    if (int d = kDayToggles.index_of(h); d >= 0) return g_ui.days[d];
    if (int j = kDeviceItems.index_of(h); j >= 0) return entry(g_ui.device_rects, j);
    if (int i = kLanguageItems.index_of(h); i >= 0) return entry(g_ui.language_rects, i);
    switch (h) {
        case Hit::SettingsClose: return g_ui.settings_close;
        case Hit::AboutClose: return g_ui.about_close;
        case Hit::AboutWebLink: return g_ui.about_web;
        case Hit::AboutMailLink: return g_ui.about_mail;
        default: return region_of(h);
    }
}

uint32_t flag(bool on, uint32_t bit) { return on ? bit : 0; }

// Characters before byte `offset` of `text`.
int chars_before(const std::string& text, size_t offset) {
    offset = std::min(offset, text.size());
    return static_cast<int>(std::count_if(text.begin(), text.begin() + offset, [](char c) {
        return !utf8::is_continuation(c);
    }));
}

// Byte offset of character `index` of `text`, the end when it has fewer.
size_t byte_of(const std::string& text, int index) {
    size_t at = 0;
    for (int i = 0; i < index && at < text.size(); ++i) at = next_boundary(text, at);
    return at;
}

// Adds node `id`; main panel nodes stop showing while an overlay covers them.
a11y::Node& add(int id, Role role, std::string name, const gfx::Rect& r, uint32_t states,
                  int parent = 0) {
    a11y::Node& n = g_tree.emplace_back();
    n.id = id;
    n.parent = parent;
    n.role = role;
    n.name = std::move(name);
    n.rect = r;
    n.states = states;
    return n;
}

struct Builder {
    uint32_t shown;  // kShowing while no overlay covers the main panel

    void control(Hit h, Role role, const std::string& name, bool enabled, bool checked = false) {
        const int id = id_of(h);
        add(id, role, name, rect_of(id), shown | flag(enabled, a11y::kEnabled) |
                                             flag(checked, a11y::kChecked));
    }
    void day(int d, bool ticked, bool enabled) {
        add(id_of(kDayToggles.at(d)), Role::CheckBox, i18n::T(kDayKeys[d]), g_ui.days[d],
            shown | flag(enabled, a11y::kEnabled) | flag(ticked, a11y::kChecked));
    }
    void field(Hit h, const Field& f, std::string name, bool enabled, bool invalid) {
        a11y::Node& n =
            add(id_of(h), Role::Entry, std::move(name), rect_of(id_of(h)),
                shown | a11y::kFocusable | flag(enabled, a11y::kEnabled) |
                    flag(g_focus == h, a11y::kFocused) | flag(invalid, a11y::kInvalid));
        n.text = f.text;
        n.caret = chars_before(f.text, f.caret);
        n.anchor = chars_before(f.text, f.anchor);
    }
    void slider(Hit h, std::string name, double min, double max, double value, double step,
                std::string text, bool enabled) {
        a11y::Node& n = add(id_of(h), Role::Slider, std::move(name), rect_of(id_of(h)),
                              shown | flag(enabled, a11y::kEnabled));
        n.min = min;
        n.max = max;
        n.value = std::isfinite(value) ? std::clamp(value, min, max) : min;
        n.step = step;
        n.value_text = std::move(text);
    }
    void label(int id, const std::string& text, const gfx::Rect& r, std::string announce = "") {
        if (text.empty()) return;
        add(id, Role::Label, text, r, shown | a11y::kEnabled).announce = std::move(announce);
    }
};

void add_form(Builder& b) {
    const Settings& st = g_settings;
    const bool rules = st.time_rules;
    b.control(Hit::SettingsButton, Role::PushButton, i18n::T("settings"), true);
    b.control(Hit::AboutButton, Role::PushButton, version::kProduct, true);
    b.field(Hit::FolderField, g_folder, i18n::T("folder"), true, false);
    b.control(Hit::BrowseButton, Role::PushButton, i18n::T("browse"), true);
    b.field(Hit::PatternField, g_pattern, i18n::T("pattern"), true, false);
    b.control(Hit::RecursiveCheck, Role::CheckBox, i18n::T("recursive"), true, st.recursive);
    b.control(Hit::ThemeButton, Role::PushButton,
              i18n::T(theme::dark() ? "theme_light" : "theme_dark"), true);
    b.control(Hit::TimeRulesCheck, Role::CheckBox, i18n::T("window"), true, rules);
    b.field(Hit::FromField, g_from, i18n::T("window"), rules, time_invalid(g_from));
    b.field(Hit::ToField, g_to, std::string("– ") + i18n::T("window"), rules, time_invalid(g_to));
    b.control(Hit::WindowFilesCheck, Role::CheckBox, i18n::T("window_files"), rules, st.win_files);
    b.control(Hit::WindowPlayCheck, Role::CheckBox, i18n::T("window_play"), rules, st.win_play);
    const bool every_day = (st.window.days & 0x7F) == 0;
    for (int d = 0; d < 7; ++d) b.day(d, every_day || (st.window.days >> d & 1), rules);
    constexpr struct {
        Hit hit;
        const char* key;
        TimeSource source;
    } kSources[] = {{Hit::SourceNameRadio, "time_from_name", TimeSource::Name},
                    {Hit::SourceCreatedRadio, "time_created", TimeSource::Created},
                    {Hit::SourceModifiedRadio, "time_modified", TimeSource::Modified},
                    {Hit::SourceOffRadio, "time_off", TimeSource::Off}};
    for (const auto& s : kSources)
        b.control(s.hit, Role::RadioButton, i18n::T(s.key), rules, st.time_source == s.source);
}

void add_player(Builder& b, const Player::Status& s) {
    b.label(kTrackLabel, s.name.empty() ? i18n::T("no_track") : s.name, g_ui.track);
    b.label(kRecordedLabel, recorded_text(s), g_ui.recorded);
    const bool seekable = s.duration > 0.1;
    b.slider(Hit::ProgressBar, s.name.empty() ? i18n::T("no_track") : s.name, 0,
             seekable ? s.duration : 0, seekable ? s.position : 0, 1, position_text(s),
             g_running && seekable);
    g_tree.back().states |= a11y::kRunningValue;
    // The countdown while waiting is announced once a minute, not once a second.
    const std::string state = state_text(s);
    const std::string minute =
        s.state == Player::Waiting
            ? std::to_string(static_cast<int>(s.wait_seconds / kSecondsPerMinute))
            : state;
    b.label(kStateLabel, state, g_ui.status_line, std::to_string(s.state) + ":" + minute);
    // The levels change with every tick; the pool size is what is worth announcing.
    b.label(kPoolLabel, pool_text(s), g_ui.status_line, std::to_string(s.pool_size));

    b.control(Hit::StartButton, Role::PushButton, i18n::T(g_running ? "stop" : "start"), true);
    b.control(Hit::PauseButton, Role::PushButton, i18n::T(shows_play(s) ? "play" : "pause"),
              g_running);
    b.control(Hit::NextButton, Role::PushButton, i18n::T("next"), g_running);
    b.control(Hit::RescanButton, Role::PushButton, i18n::T("rescan"), g_running);
    b.control(Hit::LoopCheck, Role::CheckBox, i18n::T("loop"), true, g_settings.loop);
    b.control(Hit::ShuffleCheck, Role::CheckBox, i18n::T("order_random"), true, g_settings.shuffle);

    const LevelConfig& lv = g_settings.leveler;
    b.slider(Hit::VolumeSlider, i18n::T("volume"), 0, 1, g_settings.volume, 0.01,
             slider_text(Hit::VolumeSlider), true);
    b.control(Hit::LevelMatchCheck, Role::CheckBox, i18n::T("level_match"), true, lv.on);
    const style::Range& target = style::kTargetRange;
    const style::Range& ceiling = style::kCeilingRange;
    b.slider(Hit::TargetSlider, i18n::T("target"), target.lo, target.hi(), lv.target_db, 1,
             slider_text(Hit::TargetSlider), true);
    b.slider(Hit::CeilingSlider, i18n::T("ceiling"), ceiling.lo, ceiling.hi(), lv.ceiling_db, 0.1,
             slider_text(Hit::CeilingSlider), true);
    b.control(Hit::AutostartCheck, Role::CheckBox, i18n::T("autostart"), true, g_autostart_on);
    if (g_ui.meter.w > 0) {
        const char* side[] = {" L", " R"};
        for (int c = 0; c < 2; ++c) {
            a11y::Node& n = add(kMeterLeft + c, Role::LevelBar,
                                  std::string(i18n::T("level_meter")) + side[c], g_ui.meter,
                                  b.shown | a11y::kEnabled | a11y::kReadOnlyValue);
            n.min = -60;
            n.max = 0;
            n.value = std::clamp(static_cast<double>(g_meter.level[c]), -60.0, 0.0);
        }
    }
    b.label(kFooterLabel, footer_text(s), g_ui.footer);
}

void add_entry(int parent, int id, Role role, std::string name, bool selected) {
    const gfx::Rect r = rect_of(id);
    add(id, role, std::move(name), r,
        flag(r.w > 0, a11y::kShowing | a11y::kEnabled) | a11y::kSelectable |
            flag(selected, a11y::kSelected),
        parent);
}

void add_settings() {
    constexpr uint32_t kOpen = a11y::kShowing | a11y::kEnabled;
    add(kSettingsDialog, Role::Dialog, i18n::T("settings"), g_ui.settings_panel, kOpen);
    const auto span = [](const std::vector<gfx::Rect>& list) {
        gfx::Rect r = list.empty() ? gfx::Rect{} : list.front();
        for (const gfx::Rect& e : list) {
            if (e.w <= 0) continue;
            const float right = std::max(r.x + r.w, e.x + e.w), bottom = std::max(r.y + r.h, e.y + e.h);
            r.x = std::min(r.x, e.x);
            r.y = std::min(r.y, e.y);
            r.w = right - r.x;
            r.h = bottom - r.y;
        }
        return r;
    };
    add(kLanguageList, Role::List, i18n::T("language"), span(g_ui.language_rects), kOpen,
        kSettingsDialog);
    for (int i = 0; i <= static_cast<int>(i18n::languages().size()); ++i)
        add_entry(kLanguageList, id_of(kLanguageItems.at(i)), Role::ListItem, language_text(i),
                  language_selected(i));
    add(kDeviceList, Role::List, i18n::T("device"), g_ui.device_area, kOpen, kSettingsDialog);
    for (int j = 0; j <= static_cast<int>(g_devices.size()); ++j)
        add_entry(kDeviceList, id_of(kDeviceItems.at(j)), Role::ListItem, device_text(j),
                  device_selected(j));
    add(id_of(Hit::SettingsClose), Role::PushButton, i18n::T("close"), g_ui.settings_close, kOpen,
        kSettingsDialog);
}

void add_about() {
    constexpr uint32_t kOpen = a11y::kShowing | a11y::kEnabled;
    add(kAboutDialog, Role::Dialog, version::kProduct, g_ui.about_panel, kOpen);
    add(kAboutVersion, Role::Label,
        std::string("Version ") + version::kVersion + " (Build " + version::kBuild + ")",
        g_ui.about_panel, kOpen, kAboutDialog);
    add(id_of(Hit::AboutWebLink), Role::Link, kWebAddress, g_ui.about_web, kOpen, kAboutDialog);
    add(id_of(Hit::AboutMailLink), Role::Link,
        std::string(i18n::T("about_report_bug")) + " " + kSupportMail, g_ui.about_mail, kOpen,
        kAboutDialog);
    add(id_of(Hit::AboutClose), Role::PushButton, i18n::T("close"), g_ui.about_close, kOpen,
        kAboutDialog);
}

// The text field of node `id` when it takes edits now: enabled and not behind an overlay.
Field* editable_field(int id) {
    const Hit h = hit_of(id);
    Field* f = field_of(h);
    if (!f || g_settings_open || g_about_open) return nullptr;
    const bool rules_only = h == Hit::FromField || h == Hit::ToField;
    return rules_only && !g_settings.time_rules ? nullptr : f;
}

}  // namespace

void publish_access(const Player::Status& status) {
    g_tree.clear();
    Builder b{g_settings_open || g_about_open ? 0u : a11y::kShowing};
    add_form(b);
    add_player(b, status);
    if (g_about_open) add_about();
    if (g_settings_open) add_settings();
    a11y::publish(g_tree);
}

bool access_act(int id) {
    const gfx::Rect r = rect_of(id);
    if (!(r.w > 0 && r.h > 0)) return false;
    const float x = r.x + r.w / 2, y = r.y + r.h / 2;
    if (hit_test(x, y) != hit_of(id)) return false;
    on_click(x, y);
    on_mouse_up();
    platform::request_redraw();
    return true;
}

bool access_set_value(int id, double value) {
    if (std::isnan(value) || g_settings_open || g_about_open) return false;
    const Hit h = hit_of(id);
    double fraction = 0;
    switch (h) {
        case Hit::VolumeSlider: fraction = value; break;
        case Hit::TargetSlider: fraction = style::kTargetRange.fraction(value); break;
        case Hit::CeilingSlider: fraction = style::kCeilingRange.fraction(value); break;
        case Hit::ProgressBar: {
            const double duration = g_player ? g_player->status().duration : 0;
            if (!g_running || !(duration > 0.1)) return false;
            fraction = value / duration;
            break;
        }
        default: return false;
    }
    set_slider(h, static_cast<float>(std::clamp(fraction, 0.0, 1.0)));
    platform::request_redraw();
    return true;
}

bool access_set_text(int id, const std::string& utf8, bool commit) {
    Field* f = editable_field(id);
    if (!f) return false;
    g_focus = hit_of(id);
    on_key(keymap::LetterA, false, true);  // select all, so that the typing replaces it
    if (utf8.empty()) on_key(keymap::Delete, false, false);
    else on_text(utf8);
    if (commit) on_key(keymap::Return, false, false);
    platform::request_redraw();
    return true;
}

bool access_select(int id, int caret, int anchor) {
    Field* f = editable_field(id);
    if (!f || caret < 0 || anchor < 0) return false;
    f->caret = byte_of(f->text, caret);
    f->anchor = byte_of(f->text, anchor);
    ensure_caret_visible(*f, field_rect(hit_of(id)));
    platform::request_redraw();
    return true;
}

}  // namespace ui
