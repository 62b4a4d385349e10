#include "ui/round_trip.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "core/scanner.h"
#include "core/timeutil.h"
#include "gui/platform.h"
#include "playback/player.h"
#include "system/paths.h"
#include "system/settings.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace ui {

namespace {

// The window edits one pattern without its extension; this is the extension it stands for.
constexpr char kExtension[] = ".mp3";
constexpr size_t kExtensionLength = sizeof kExtension - 1;

int64_t (*g_clock)() = platform::ticks_ms;

std::string trim_spaces(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Compared without regard to case: settings written elsewhere may say *.MP3.
bool ends_with_extension(const std::string& p) {
    if (p.size() < kExtensionLength) return false;
    const std::string tail = p.substr(p.size() - kExtensionLength);
    return std::equal(tail.begin(), tail.end(), kExtension, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// An empty text clears the bound; a text that is no clock time keeps the minute it had.
void take_time(const Field& f, int32_t& minute) {
    const std::string t = trim_spaces(f.text);
    if (t.empty()) {
        minute = -1;
        return;
    }
    const int32_t v = timeutil::parse_hhmm(t);
    if (v >= 0) minute = v;
}

}  // namespace

int64_t now_ms() { return g_clock(); }

// 0 means "nothing to save", so a clock that reads 0 still leaves a change marked.
void mark_changed() { g_dirty_since = std::max<int64_t>(now_ms(), 1); }

void settings_to_ui() {
    g_folder.text = paths::display(g_settings.root);
    std::string p = g_settings.patterns.substr(0, g_settings.patterns.find(';'));
    if (ends_with_extension(p)) p.erase(p.size() - kExtensionLength);
    g_pattern.text = p;
    g_from.text = timeutil::format_hhmm(g_settings.window.from);
    g_to.text = timeutil::format_hhmm(g_settings.window.to);
}

void ui_to_settings() {
    g_settings.root = scanner::normalize(g_folder.text);
    std::string p = trim_spaces(g_pattern.text);
    if (p.empty()) p = "*";
    g_settings.patterns = p + kExtension;
    take_time(g_from, g_settings.window.from);
    take_time(g_to, g_settings.window.to);
}

void apply_to_player() {
    mark_changed();
    ui_to_settings();
    Player* player = g_player;
    if (!player) return;
    player->set_filters(g_settings);
    player->set_leveler(g_settings.leveler);
    player->set_volume(g_settings.volume);
    player->set_rescan_minutes(std::max<int32_t>(g_settings.rescan, 0));
    player->set_device(g_settings.audio_device);
    player->set_loop(g_settings.loop);
    player->set_shuffle(g_settings.shuffle);
}

void persist_now(bool with_window) {
    if (with_window) {
        int x = g_settings.win_x, y = g_settings.win_y, w = 0, h = 0;  // kept where no position is told
        platform::window_rect(x, y, w, h);
        if (w > 0 && h > 0) {
            g_settings.win_x = x;
            g_settings.win_y = y;
            g_settings.win_w = w;
            g_settings.win_h = h;
        }
    }
    ui_to_settings();
    settings::save(g_settings);  // a failure is logged there; the next change tries again
    g_dirty_since = 0;
}

void choose_folder() {
    platform::choose_folder(g_folder.text, [](const std::string& chosen) {
        if (chosen.empty()) return;
        g_folder.text = chosen;
        g_folder.caret = g_folder.anchor = chosen.size();
        apply_to_player();
        platform::request_redraw();
    });
}

void start_playback() {
    apply_to_player();
    if (Player* player = g_player) {
        player->set_paused(false);
        player->start();
        g_running = true;
    }
}

void stop_playback() {
    if (Player* player = g_player) player->stop();
    g_running = false;
}

void init(Player* player, Settings* settings, bool autostart_on) {
    g_player = player;
    g_settings = settings ? *settings : Settings();
    g_autostart_on = autostart_on;
    g_folder = Field{{}, 0, 0, 0, Accept::Path};
    g_pattern = Field{{}, 0, 0, 0, Accept::Pattern};
    g_from = Field{{}, 0, 0, 0, Accept::Time};
    g_to = Field{{}, 0, 0, 0, Accept::Time};
    g_focus = g_hover = g_drag = Hit::None;
    g_settings_open = g_about_open = g_running = false;
    g_dirty_since = g_last_tick = 0;
    settings_to_ui();
}

void start_on_launch() {
    if (g_settings.autostart && !g_settings.root.empty()) start_playback();
}

void persist(bool with_window) { persist_now(with_window); }

namespace testing {
void set_clock(int64_t (*now)()) { g_clock = now ? now : platform::ticks_ms; }
}  // namespace testing

}  // namespace ui
