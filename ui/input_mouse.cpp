// The pointer: a press acts on the region under it, a drag keeps acting on the slider or text
// field it began on wherever the pointer goes, and a wheel step nudges the volume, the playing
// position or the device list.
#include <algorithm>
#include <string>

#include "gui/platform.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "playback/player.h"
#include "system/autostart_linux.h"
#include "system/paths.h"
#include "ui/about_panel.h"
#include "ui/input.h"
#include "ui/layout.h"
#include "ui/round_trip.h"
#include "ui/style.h"
#include "ui/text_field.h"
#include "ui/ui.h"

namespace ui {

namespace {

constexpr float kWheelVolume = 0.02f;
constexpr double kWheelSeekSeconds = 15;
constexpr double kMinSeekableSeconds = 0.1;  // shorter durations are only an estimate of none

// Not a number counts as 0, so a bar without width never sends one on.
float clamp01(float v) { return v > 0 ? std::min(v, 1.0f) : 0.0f; }

// The drawn bar of a slider or the progress bar; null for any other hit.
const gfx::Rect* bar_of(Hit h) {
    switch (h) {
        case Hit::VolumeSlider: return &g_ui.volume;
        case Hit::TargetSlider: return &g_ui.target;
        case Hit::CeilingSlider: return &g_ui.ceiling;
        case Hit::ProgressBar: return &g_ui.progress;
        default: return nullptr;
    }
}

// The value under the pointer at x; past either end of the bar the value stops at that end.
void slider_drag(Hit h, float x) {
    const gfx::Rect& r = *bar_of(h);
    set_slider(h, r.w > 0 ? (x - r.x) / r.w : 0);
}

// Rules that decide which files are taken change the pool at once while playing.
void rescan_if_running() {
    if (g_running && g_player) g_player->rescan();
}

void toggle_and_apply(bool& flag) {
    flag = !flag;
    apply_to_player();
}

void choose_source(TimeSource source) {
    g_settings.time_source = source;
    apply_to_player();
    rescan_if_running();
}

void choose_language(size_t i) {
    const auto& all = i18n::languages();
    if (i > all.size()) return;
    g_settings.language = i == 0 ? "auto" : all[i - 1].code;
    i18n::set_language(g_settings.language);
    settings_to_ui();
    mark_changed();
}

void choose_device(size_t j) {
    if (j > g_devices.size()) return;
    g_settings.audio_device = j == 0 ? "" : g_devices[j - 1].id;
    if (g_player) g_player->set_device(g_settings.audio_device);
    mark_changed();
}

// The box shows what is on disk afterwards, whether writing the entries worked or not.
void toggle_autostart() {
    ui_to_settings();
    const std::string& root = g_settings.root;
    const std::string args = root.empty() ? "" : "--folder \"" + paths::display(root) + "\"";
    autostart::set(!g_autostart_on, args);
    autostart::desktop_shortcut(!g_autostart_on, args);
    g_autostart_on = autostart::enabled();
}

void toggle_theme() {
    theme::set_dark(!theme::dark());
    g_settings.theme = theme::dark() ? "dark" : "light";
    mark_changed();
}

void toggle_loop() {
    g_settings.loop = !g_settings.loop;
    if (Player* player = g_player) {
        player->set_loop(g_settings.loop);
        if (g_settings.loop && g_running) player->restart_round();
    }
    mark_changed();
}

void toggle_shuffle() {
    g_settings.shuffle = !g_settings.shuffle;
    if (g_player) g_player->set_shuffle(g_settings.shuffle);
    mark_changed();
}

void toggle_level_match() {
    g_settings.leveler.on = !g_settings.leveler.on;
    if (g_player) g_player->set_leveler(g_settings.leveler);
    mark_changed();
}

void open_settings() {
    g_devices = AudioOut::devices();
    g_settings_open = true;
}

// An entry of the settings panel's two lists or a weekday toggle; false for anything else.
bool click_range(Hit h) {
    if (g_settings_open) {
        if (int j = kDeviceItems.index_of(h); j >= 0) choose_device(static_cast<size_t>(j));
        else if (int i = kLanguageItems.index_of(h); i >= 0) choose_language(static_cast<size_t>(i));
        else return false;
        return true;
    }
    const int day = kDayToggles.index_of(h);
    if (g_about_open || day < 0) return false;
    g_settings.window.days ^= static_cast<uint8_t>(1u << day);
    apply_to_player();
    return true;
}

void click_player_button(Hit h) {
    Player* player = g_player;
    switch (h) {
        case Hit::StartButton:
            if (g_running) stop_playback();
            else start_playback();
            break;
        case Hit::PauseButton: toggle_pause(); break;
        case Hit::NextButton:
            if (g_running && player) player->skip();
            break;
        case Hit::RescanButton:
            if (!g_running) break;
            apply_to_player();
            if (player) player->rescan();
            break;
        default: break;
    }
}

}  // namespace

void set_slider(Hit h, float f) {
    mark_changed();
    Player* player = g_player;
    LevelConfig& level = g_settings.leveler;
    switch (h) {
        case Hit::VolumeSlider:
            g_settings.volume = clamp01(f);
            if (player) player->set_volume(g_settings.volume);
            break;
        case Hit::TargetSlider:
            level.target_db = style::kTargetRange.value(clamp01(f));
            if (player) player->set_leveler(level);
            break;
        case Hit::CeilingSlider:
            level.ceiling_db = style::kCeilingRange.value(clamp01(f));
            if (player) player->set_leveler(level);
            break;
        case Hit::ProgressBar: {
            // A stopped player would keep the request and apply it to the first track of the
            // next start, so only running playback is sought.
            if (!player || !g_running) break;
            const double duration = player->status().duration;
            if (duration > kMinSeekableSeconds) player->seek(duration * clamp01(f));
            break;
        }
        default: break;
    }
}

void toggle_pause() {
    if (Player* player = g_player; player && g_running) player->set_paused(!player->paused());
}

void on_click(float x, float y) {
    const Hit h = hit_test(x, y);
    g_focus = Hit::None;  // any press takes the focus, without applying the field's text
    if (click_range(h)) return;
    if (Field* f = field_of(h)) {
        g_focus = g_drag = h;
        f->caret = f->anchor = caret_from_x(*f, field_rect(h), x);
        return;
    }
    if (bar_of(h)) {
        g_drag = h;
        slider_drag(h, x);
        return;
    }
    switch (h) {
        case Hit::BrowseButton: choose_folder(); break;
        case Hit::RecursiveCheck: toggle_and_apply(g_settings.recursive); break;
        case Hit::TimeRulesCheck:
            toggle_and_apply(g_settings.time_rules);
            rescan_if_running();
            break;
        case Hit::WindowFilesCheck: toggle_and_apply(g_settings.win_files); break;
        case Hit::WindowPlayCheck: toggle_and_apply(g_settings.win_play); break;
        case Hit::SourceNameRadio: choose_source(TimeSource::Name); break;
        case Hit::SourceCreatedRadio: choose_source(TimeSource::Created); break;
        case Hit::SourceModifiedRadio: choose_source(TimeSource::Modified); break;
        case Hit::SourceOffRadio: choose_source(TimeSource::Off); break;
        case Hit::StartButton:
        case Hit::PauseButton:
        case Hit::NextButton:
        case Hit::RescanButton: click_player_button(h); break;
        case Hit::LevelMatchCheck: toggle_level_match(); break;
        case Hit::ThemeButton: toggle_theme(); break;
        case Hit::AutostartCheck: toggle_autostart(); break;
        case Hit::LoopCheck: toggle_loop(); break;
        case Hit::ShuffleCheck: toggle_shuffle(); break;
        case Hit::SettingsButton: open_settings(); break;
        case Hit::SettingsClose: g_settings_open = false; break;
        case Hit::AboutButton: g_about_open = true; break;
        case Hit::AboutClose: g_about_open = false; break;
        case Hit::AboutWebLink: platform::open_uri(kWebAddress); break;
        case Hit::AboutMailLink: platform::open_uri(std::string("mailto:") + kSupportMail); break;
        default: break;
    }
}

void on_mouse_down(float x, float y) { on_click(x, y); }

void on_mouse_move(float x, float y) {
    const Hit h = hit_test(x, y);
    if (h != g_hover) {
        g_hover = h;
        platform::request_redraw();
    }
    if (g_drag == Hit::None) return;
    if (bar_of(g_drag)) {
        slider_drag(g_drag, x);
    } else if (Field* f = field_of(g_focus)) {
        const gfx::Rect r = field_rect(g_focus);
        f->caret = caret_from_x(*f, r, x);  // the anchor stays: the text in between is selected
        ensure_caret_visible(*f, r);
    }
    platform::request_redraw();
}

void on_mouse_up() { g_drag = Hit::None; }

void on_wheel(float x, float y, int step) {
    if (step == 0 || g_about_open) return;
    if (g_settings_open) {
        if (!inside(g_ui.device_area, x, y)) return;
        g_dev_scroll += step;  // the panel clamps it when it draws
        platform::request_redraw();
        return;
    }
    const bool up = step < 0;
    switch (hit_test(x, y)) {
        case Hit::VolumeSlider:
            g_settings.volume = clamp01(g_settings.volume + (up ? kWheelVolume : -kWheelVolume));
            if (g_player) g_player->set_volume(g_settings.volume);
            mark_changed();
            break;
        case Hit::ProgressBar:
            if (g_running && g_player)
                g_player->seek_relative(up ? kWheelSeekSeconds : -kWheelSeekSeconds);
            break;
        default: break;
    }
}

}  // namespace ui
