// Signals to play and measurements of what arrived, shared by the audio tests.
#pragma once
#include <chrono>
#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <dirent.h>

#include "audio/audio_out.h"
#include "support/pulse_server.h"
#include "system/logger.h"

namespace audiotest {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

// Nothing for `lead` seconds, then a 1 kHz sine of `amplitude` (0..1 of full scale) on every
// channel for `seconds`, then nothing. The lead lets the server settle a new stream first: a
// null sink's monitor misses the first milliseconds that the sink rewinds to mix a stream in.
inline AudioOut::Source tone(double seconds, double amplitude, int channels = 2,
                             double lead = 0.2) {
    long silent = static_cast<long>(lead * kRate);
    long total = static_cast<long>(seconds * kRate);
    long done = 0;
    return [=](short* out, int frames) mutable {
        if (silent > 0) {
            silent -= frames;
            return 0;
        }
        int n = static_cast<int>(std::min<long>(frames, total - done));
        for (int i = 0; i < n; ++i, ++done) {
            short v = static_cast<short>(std::lround(
                amplitude * 32767.0 * std::sin(2 * kPi * 1000.0 * done / kRate)));
            for (int c = 0; c < channels; ++c) out[i * channels + c] = v;
        }
        return n;
    };
}

// Where a recording is not silent and how loud it is there.
struct Span {
    size_t first = 0;   // first frame above the threshold
    size_t frames = 0;  // frames from the first to the last loud one; 0 = silent throughout
    double rms_db = -120;
};

inline Span loud_span(const std::vector<short>& stereo, int threshold = 64) {
    Span s;
    size_t n = stereo.size() / 2, first = n, last = 0;
    for (size_t i = 0; i < n; ++i) {
        if (std::abs(stereo[2 * i]) > threshold || std::abs(stereo[2 * i + 1]) > threshold) {
            if (first == n) first = i;
            last = i;
        }
    }
    if (first == n) return s;
    s.first = first;
    s.frames = last - first + 1;
    double sum = 0;
    for (size_t i = 2 * first; i < 2 * (last + 1); ++i) sum += double(stereo[i]) * stereo[i];
    s.rms_db = 20 * std::log10(std::sqrt(sum / (2.0 * s.frames)) / 32768.0);
    return s;
}

inline double seconds(size_t frames) { return double(frames) / kRate; }

inline bool logged(const std::string& text) {
    for (const std::string& line : logger::tail(500))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

inline bool wait_until(const std::function<bool()>& done, double timeout_s) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(timeout_s);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline void sleep_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

inline int thread_count() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// The thread count once threads that were just joined are gone: the kernel lists a thread until
// it is reaped, a moment after pthread_join returned, which a loaded machine makes visible.
// A thread that leaked stays, so the count still differs after the wait.
inline int thread_count_settled(int expected) {
    wait_until([&] { return thread_count() == expected; }, 2.0);
    return thread_count();
}

// One private server per test suite, (re)started before every test, so that tests may kill it.
// Besides the helper's devices the ALSA configuration has "qm_stereo_only", which takes nothing
// but two channels.
class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Sanitizer runtimes start a thread of their own with the first one the program starts;
        // start one here so that thread counts taken in the tests stay comparable.
        std::thread([] {}).join();
        testsupport::PulseServerOptions o;
        o.extra_alsa_config =
            "pcm.qm_stereo_only { type multi slaves.a { pcm \"null\" channels 2 }"
            " bindings.0 { slave a channel 0 } bindings.1 { slave a channel 1 } }\n";
        server = new testsupport::PulseServer(o);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server->start());
        server->export_env();
    }
    // Lines of `pactl list sink-inputs`, the server's view of our streams.
    static std::string sink_inputs() { return server->pactl({"list", "sink-inputs"}).out; }

    static inline testsupport::PulseServer* server = nullptr;
};

}  // namespace audiotest
