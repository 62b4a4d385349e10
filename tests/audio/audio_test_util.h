// Signals to play and measurements of what arrived, shared by the audio tests.
#pragma once
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <dirent.h>

#include "audio/audio_out.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "system/logger.h"

namespace audiotest {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

// Nothing for `lead` seconds, then a 1 kHz sine of `amplitude` (0..1 of full scale) on every
// channel for `seconds`, then nothing. The lead lets the server settle a new stream first: a
// null sink's monitor misses the first milliseconds that the sink rewinds to mix a stream in.
// `after`, when given, counts the periods asked for once the sine is out.
inline AudioOut::Source tone(double seconds, double amplitude, int channels = 2,
                             double lead = 0.2, std::atomic<int>* after = nullptr) {
    long silent = static_cast<long>(lead * kRate);
    long total = static_cast<long>(seconds * kRate);
    long done = 0;
    return [=](short* out, int frames) mutable {
        if (silent > 0) {
            silent -= frames;
            return 0;
        }
        if (done == total && after) ++*after;
        int n = static_cast<int>(std::min<long>(frames, total - done));
        for (int i = 0; i < n; ++i, ++done) {
            short v = static_cast<short>(std::lround(
                amplitude * 32767.0 * std::sin(2 * kPi * 1000.0 * done / kRate)));
            for (int c = 0; c < channels; ++c) out[i * channels + c] = v;
        }
        return n;
    };
}

// How much of a recording is loud and how loud it is there.
struct Span {
    size_t first = 0;   // first frame above the threshold
    size_t frames = 0;  // loud frames, quiet stretches within a signal included; 0 = silent
    double rms_db = -120;
};

// A sine dips below the threshold for a frame or two around each zero crossing; a longer quiet
// stretch is a pause in the stream (the server ran dry on a loaded machine and waited for more),
// which delays what follows without losing it, so it does not count as part of the signal.
inline Span loud_span(const std::vector<short>& stereo, int threshold = 64) {
    constexpr size_t kZeroCrossing = 4;
    Span s;
    const size_t n = stereo.size() / 2;
    size_t last = n;  // last loud frame so far
    double sum = 0;
    auto add = [&](size_t from, size_t to) {  // frames [from, to] belong to the signal
        s.frames += to - from + 1;
        for (size_t i = 2 * from; i < 2 * (to + 1); ++i) sum += double(stereo[i]) * stereo[i];
    };
    for (size_t i = 0; i < n; ++i) {
        if (std::abs(stereo[2 * i]) <= threshold && std::abs(stereo[2 * i + 1]) <= threshold)
            continue;
        if (last == n)
            s.first = i;
        if (last == n || i - last > kZeroCrossing)
            add(i, i);
        else
            add(last + 1, i);
        last = i;
    }
    if (s.frames > 0) s.rms_db = 20 * std::log10(std::sqrt(sum / (2.0 * s.frames)) / 32768.0);
    return s;
}

inline double seconds(size_t frames) { return double(frames) / kRate; }

inline bool logged(const std::string& text) {
    for (const std::string& line : logger::tail(500))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// start() waits for the outcome of the open, and a failure always carries its reason.
inline bool started(AudioOut& out, int rate, int channels, AudioOut::Source source,
                    const std::string& device) {
    if (out.start(rate, channels, std::move(source), device)) return true;
    EXPECT_NE(out.last_error(), "") << "a failed start without a reason";
    return false;
}

// A device asks for a period only when one fits into its buffer of this many: the periods a
// source is asked for past them are periods the device has played.
constexpr int kBufferPeriods = 8;

// Until the source of tone() has been asked for 20 periods after the sine: by then the sine has
// left the device's buffer, and stop(), which discards what is still buffered, cannot cut it
// short.
inline bool tone_played(const std::atomic<int>& after) {
    return testsupport::poll_until([&] { return after >= 20; }, 20.0);
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
    testsupport::poll_until([&] { return thread_count() == expected; }, 10.0);
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
        if (!server->skip_reason().empty()) GTEST_SKIP() << server->skip_reason();
        ASSERT_TRUE(server->start());
        server->export_env();
    }
    // Lines of `pactl list sink-inputs`, the server's view of our streams.
    static std::string sink_inputs() { return server->pactl({"list", "sink-inputs"}).out; }

    static inline testsupport::PulseServer* server = nullptr;
};

}  // namespace audiotest
