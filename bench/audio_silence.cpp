// Plays silence on one output device for a while and prints the CPU time the process used.
//   bench_audio_silence <device id> <seconds>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/audio_out.h"

namespace {

double cpu_seconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(use.ru_utime) + s(use.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <device id> <seconds>\n", argv[0]);
        return 2;
    }
    const std::string device = argv[1];
    const double seconds = std::atof(argv[2]);
    AudioOut out;
    long periods = 0;
    auto silence = [&periods](short*, int) {
        ++periods;
        return 0;
    };
    if (!out.start(48000, 2, silence, device)) {
        std::fprintf(stderr, "start failed: %s\n", out.last_error().c_str());
        return 1;
    }
    const double cpu_before = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpu_seconds() - cpu_before;
    const bool still_running = out.running();
    out.stop();
    std::printf("%-14s %s: %.1f s played, %ld periods, CPU %.3f s = %.2f %% of one core%s\n",
                device.empty() ? "ALSA default" : device.c_str(), out.device_name().c_str(), wall,
                periods, cpu, 100 * cpu / wall, still_running ? "" : " (stream ended early!)");
    return still_running ? 0 : 1;
}
