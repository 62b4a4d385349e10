// Headless play and the device list. The player does the work on its own threads and the media
// controls answer the session bus on one more; this loop only configures the player and polls its
// status twice a second.
#include "cli/headless.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "audio/audio_out.h"
#include "cli/con.h"
#include "core/scanner.h"
#include "core/timeutil.h"
#include "gui/mpris.h"
#include "i18n/i18n.h"
#include "playback/player.h"
#include "system/settings.h"

namespace {

// Waits of the playback window run up to a week, so the console has no cap of its own; the
// bound only keeps the conversion to whole seconds defined.
constexpr double kMaxSeconds = 9e18;

// A sleep interrupted by a signal goes on for the time that is left.
void sleep_seconds(double seconds) {
    timespec left;
    left.tv_sec = static_cast<time_t>(seconds);
    left.tv_nsec = static_cast<long>((seconds - static_cast<double>(left.tv_sec)) * 1e9);
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// "--file" plays exactly one file: its folder becomes the root and its name the only pattern.
// False when the path has no folder part.
bool rules_for_file(const std::string& file, FilterSet& rules) {
    const std::string path = scanner::normalize(file);
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    rules.root = path.substr(0, slash);
    rules.patterns = path.substr(slash + 1);
    rules.recursive = false;
    rules.win_files = false;
    rules.win_play = false;
    return true;
}

// Headless play has a target of its own, lower than the record's -16 dB (LevelConfig): the
// window's default does not carry over to the command line, whose usage text promises -20.
// The ceiling and the volume are the record's.
constexpr float kConsoleTargetDb = -20.0f;

Leveler::Config level_from_args(const Args& args) {
    Leveler::Config config;
    config.on = !has_arg(args, "--no-level");
    config.target_db = float_value(args, "--target", kConsoleTargetDb);
    config.ceiling_db = float_value(args, "--ceiling", config.ceiling_db);
    return config;
}

// What the console has shown so far, so that a lasting condition is told once.
struct Shown {
    std::string name;
    std::string error;  // the error message on show; "" outside an error
};

// An error the player does not recover from by itself: a folder that was never reachable (a
// mistyped path), or a run of files that exist and still cannot be played. A folder that goes
// away later and a failing output are tried again by the player.
bool needs_user(const Player::Status& s) {
    return s.fault == Player::Fault::Unusable ||
           (s.fault == Player::Fault::Folder && s.last_scan == 0);
}

// Prints what one status poll shows; false when the player reports an error that needs the user.
bool show_status(const Player::Status& s, Shown& shown) {
    if (!s.name.empty() && s.name != shown.name) {
        shown.name = s.name;
        con::printf("\n%s  (%s, %zu im Vorrat)\n", s.name.c_str(), hhmmss(s.duration).c_str(),
                    s.pool_size);
    }
    // Checked in every state: a folder never reached stays the fault while the player waits for
    // its playback hours.
    if (needs_user(s)) {
        con::printf("\r%s\n", s.message.c_str());
        return false;
    }
    if (s.state != Player::Error) shown.error.clear();
    switch (s.state) {
    case Player::Playing:
        con::printf("\r  %s / %s   ein %.1f dB  Anhebung %+.1f dB  aus %.1f dB   %zu im Vorrat"
                    "      ",
                    hhmmss(s.position).c_str(), hhmmss(s.duration).c_str(), s.in_db, s.gain_db,
                    s.out_db, s.pool_size);
        return true;
    case Player::Waiting:
        con::printf("\r  %s — noch %s     ", i18n::T("waiting_window"),
                    hhmmss(s.wait_seconds).c_str());
        return true;
    case Player::NoFiles:
        con::printf("\r%s\n", s.message.c_str());
        return true;
    case Player::Error:
        if (s.message != shown.error) con::printf("\r%s\n", s.message.c_str());
        shown.error = s.message;
        return true;
    default:
        return true;
    }
}

}  // namespace

std::string hhmmss(double seconds) { return timeutil::format_duration(seconds, kMaxSeconds); }

int cmd_play(const Args& args) {
    FilterSet rules = filters_from_args(args, arg_value(args, "--play", ""));
    const std::string file = arg_value(args, "--file", "");
    if (!file.empty() && !rules_for_file(file, rules)) {
        con::print("FEHLER: --file braucht einen vollen Pfad.\n");
        return 2;
    }
    if (rules.root.empty()) {
        con::print("FEHLER: kein Ordner angegeben.\n");
        return 2;
    }
    const int limit = int_value(args, "--seconds", "0");

    Player player;
    const Leveler::Config level = level_from_args(args);
    player.set_leveler(level);
    con::printf("Angleichung: %s  Ziel %.1f dB  Deckel %.1f dB\n", level.on ? "an" : "aus",
                level.target_db, level.ceiling_db);
    player.set_filters(rules);
    player.set_volume(Settings().volume);
    const std::string device = arg_value(args, "--device", "");
    if (!device.empty()) {
        con::printf("Geraet   : %s\n", device.c_str());
        player.set_device(device);
    }

    player.start();
    // The media controls may start and stop the player from their thread, so they end first.
    auto media = std::make_unique<mpris::Service>(&player, mpris::Hooks{},
                                                  mpris::Service::Where::OwnThread);
    const auto finish = [&] {
        media.reset();
        player.stop();
    };
    const auto begin = std::chrono::steady_clock::now();
    Shown shown;
    for (;;) {
        sleep_seconds(0.5);
        if (!show_status(player.status(), shown)) {
            finish();
            return 3;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        if (limit > 0 && elapsed.count() >= limit) {
            finish();
            con::print("\n");
            return 0;
        }
    }
}

int cmd_devices(const Args&) {
    const std::vector<AudioOut::Device> devices = AudioOut::devices();
    con::printf("%zu Ausgabegeraete:\n", devices.size());
    for (const AudioOut::Device& d : devices)
        con::printf("  %s%s\n      %s\n", d.name.c_str(), d.is_default ? "   (Standard)" : "",
                    d.id.c_str());
    return devices.empty() ? 1 : 0;
}
