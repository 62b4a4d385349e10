// Plays silence on one output device for a while and prints the CPU time the process used.
//   bench_audio_silence <device id> <seconds>
// Exit status 1 when the output failed, did not keep time, or used 1 % of one core or more.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/audio_out.h"
#include "bench/cpu_time.h"

namespace {

constexpr double kTargetPercent = 1.0;
constexpr int kPeriodsPerSecond = 50;

// A fresh stream first fills its buffer at once, and an idle null sink may take up to 2 s
// before it consumes anything; measuring that stretch would count time in which nothing plays.
bool wait_for_real_time(const std::atomic<long>& periods) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the buffer's first fill
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const long before = periods;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (periods - before >= 8) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <device id> <seconds>\n", argv[0]);
        return 2;
    }
    const std::string device = argv[1];
    const double seconds = std::atof(argv[2]);
    const char* label = device.empty() ? "ALSA default" : device.c_str();
    AudioOut out;
    std::atomic<long> periods{0};
    auto silence = [&periods](short*, int) {
        periods.fetch_add(1, std::memory_order_relaxed);
        return 0;
    };
    if (!out.start(48000, 2, silence, device)) {
        std::fprintf(stderr, "%s: start failed: %s\n", label, out.last_error().c_str());
        return 1;
    }
    if (!wait_for_real_time(periods)) {
        std::fprintf(stderr, "%s: the device does not take the stream\n", label);
        return 1;
    }
    const long periods_before = periods;
    const double cpu_before = cpu_time::process();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpu_time::process() - cpu_before;
    const long played = periods - periods_before;
    const bool still_running = out.running();
    out.stop();

    const double percent = 100 * cpu / wall;
    const double expected = wall * kPeriodsPerSecond;
    // A stream that stalls or races asks for far more or fewer periods; its CPU time means nothing.
    const bool kept_time = std::abs(played - expected) <= 0.05 * expected + 2;
    std::printf("%-14s %s: %.1f s, %ld of %.0f periods, CPU %.3f s = %.2f %% of one core "
                "(target < %.0f %%)\n",
                label, out.device_name().c_str(), wall, played, expected, cpu, percent,
                kTargetPercent);
    if (!still_running) std::printf("  stream ended early: %s\n", out.last_error().c_str());
    if (!kept_time) std::printf("  the stream did not keep time\n");
    if (percent >= kTargetPercent) std::printf("  over target\n");
    return still_running && kept_time && percent < kTargetPercent ? 0 : 1;
}
