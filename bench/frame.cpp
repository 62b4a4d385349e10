// Cost of one repaint of the real window, with no display: ui::layout and ui::draw of the main
// panel into a 940 × 744 image surface, with a real Player started on a folder the way the
// window starts it (at launch, from the settings), for English and for Japanese.
//
//   bench_frame <folder> [frames]
//
// The player is given up to 10 s to reach Playing (the script gives it a sound server with a null
// sink); the state drawn is printed with the figures. Prints the median CPU time of a frame per
// language; the target is a median of at most 3 ms, and the exit status is 1 when one misses it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "bench/image_surface.h"
#include "gui/gfx.h"
#include "i18n/i18n.h"
#include "playback/player.h"
#include "system/settings.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace {

constexpr int kWidth = 940, kHeight = 744;
constexpr double kTargetMs = 3.0;
const char* const kLanguages[] = {"en", "ja"};
const char* const kStateNames[] = {"Stopped", "Scanning", "NoFiles", "Playing",
                                   "Paused",  "Waiting",  "Error",   "Finished"};

using Clock = std::chrono::steady_clock;

// Median milliseconds of CPU time of `frames` repaints, each laid out anew as the window does.
// CPU time of the drawing thread, not the clock: the target is a share of one core, and a busy
// machine would otherwise bill the harness for the time it waited.
double median_ms(int frames, const bench::ImageSurface& canvas) {
    // Fonts of this language found and loaded once, as on its first repaint.
    ui::layout(kWidth, kHeight);
    ui::draw(kWidth, kHeight);
    std::vector<double> times;
    for (int n = 0; n < frames; ++n) {
        const double start = cpu_time::thread();
        ui::layout(kWidth, kHeight);
        ui::draw(kWidth, kHeight);
        canvas.flush();
        times.push_back((cpu_time::thread() - start) * 1e3);
    }
    std::sort(times.begin(), times.end());
    return times[(times.size() - 1) / 2];
}

// The player's status once it plays a track, or after 10 s.
Player::Status settled(const Player& player) {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        Player::Status s = player.status();
        if ((s.state == Player::Playing && s.duration > 0) || Clock::now() >= end) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 2 ? std::atoi(argv[2]) : 500;
    if (argc < 2 || frames < 1) {
        std::fprintf(stderr, "usage: bench_frame <folder> [frames]\n");
        return 2;
    }
    bench::ImageSurface canvas("bench_frame", kWidth, kHeight);
    if (!canvas.ok()) return 2;

    // The window's start: the settings ask for playback at launch, at any time of day.
    Settings settings;
    settings.root = argv[1];
    settings.win_play = false;
    settings.autostart = true;
    Player player;
    ui::init(&player, &settings, false);
    ui::start_on_launch();
    const Player::Status drawn = settled(player);
    const int state = drawn.state;
    std::printf("player: %s, track \"%s\" at %.1f of %.1f s, output \"%s\"%s%s\n",
                state >= 0 && state < 8 ? kStateNames[state] : "?", drawn.name.c_str(),
                drawn.position, drawn.duration, drawn.device.c_str(),
                drawn.message.empty() ? "" : ", message ", drawn.message.c_str());

    bool ok = true;
    for (const char* language : kLanguages) {
        i18n::set_language(language);
        const double median = median_ms(frames, canvas);
        std::printf("%s: %d frames of %dx%d, median %.2f ms of CPU (target <= %.1f ms)\n", language,
                    frames, kWidth, kHeight, median, kTargetMs);
        ok = ok && median <= kTargetMs;
    }
    ui::shutdown();
    player.stop();
    if (!canvas.drawn_cleanly()) return 2;
    if (!ok) std::printf("  over target\n");
    return ok ? 0 : 1;
}
