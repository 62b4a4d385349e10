// Starting, stopping and losing the device: no leaked thread, no stale callback, clear errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio_test_util.h"

using namespace audiotest;
using testsupport::MonitorRecorder;
using testsupport::poll_until;

namespace {

class Lifecycle : public ServerTest {};

AudioOut::Source counter(std::atomic<int>& calls) {
    return [&calls](short*, int) {
        ++calls;
        return 0;
    };
}

TEST_F(Lifecycle, StopWithoutStartAndTwiceIsHarmless) {
    const int threads = thread_count();
    AudioOut out;
    out.stop();
    EXPECT_FALSE(out.running());
    EXPECT_EQ(out.device_name(), "");
    EXPECT_EQ(out.last_error(), "");
    ASSERT_TRUE(started(out, 48000, 2, nullptr, "pulse:first"));
    out.stop();
    out.stop();
    EXPECT_FALSE(out.running());
    EXPECT_EQ(out.device_name(), "Erste Senke");  // kept after stop
    EXPECT_EQ(thread_count_settled(threads), threads);
}

TEST_F(Lifecycle, StartWhileRunningReplacesStreamAndCallback) {
    MonitorRecorder rec(*server, "first");  // keeps the null sink rendering in real time
    const int threads = thread_count();
    std::atomic<int> first{0}, second{0};
    AudioOut out;
    ASSERT_TRUE(started(out, 48000, 2, counter(first), "pulse:first"));
    ASSERT_TRUE(poll_until([&] { return first > 0; }, 10.0));
    ASSERT_TRUE(started(out, 44100, 1, counter(second), "pulse:first"));
    const int first_final = first;
    // Five periods played on the new stream: time enough for an old thread to be called too.
    EXPECT_TRUE(poll_until([&] { return second >= kBufferPeriods + 5; }, 10.0));
    EXPECT_EQ(first, first_final);  // the old callback is gone with its thread
    // The server drops a closed stream when it has read the end of its connection.
    std::string inputs;
    EXPECT_TRUE(poll_until([&] {
        inputs = sink_inputs();
        return inputs.find("48000Hz") == std::string::npos;
    }, 10.0)) << "the first stream is still open";
    EXPECT_NE(inputs.find("s16le 1ch 44100Hz"), std::string::npos) << inputs;
    out.stop();
    EXPECT_EQ(thread_count_settled(threads), threads);
}

TEST_F(Lifecycle, DestructionEndsTheThread) {
    const int threads = thread_count();
    std::atomic<int> calls{0};
    {
        AudioOut out;
        ASSERT_TRUE(started(out, 48000, 2, counter(calls), ""));
    }
    const int at_end = calls;
    // Only the output thread calls the source: once it is gone, nothing can. A thread left
    // behind keeps the count up for the whole wait, and would be called meanwhile.
    EXPECT_EQ(thread_count_settled(threads), threads);
    EXPECT_EQ(calls, at_end);
}

// Below 50 Hz a 20 ms period has no whole frame; the loop must still wait for the device.
TEST_F(Lifecycle, RateBelowOnePeriodStillWaitsForTheDevice) {
    MonitorRecorder rec(*server, "first");
    for (const std::string device : {"pulse:first", ""}) {
        std::atomic<int> calls{0};
        AudioOut out;
        ASSERT_TRUE(started(out, 10, 2, counter(calls), device)) << device << out.last_error();
        sleep_s(0.5);  // the stretch the calls are counted over; a loop that spins piles them up
        EXPECT_TRUE(out.running());
        out.stop();
        EXPECT_LT(calls, 2000) << device;
    }
}

// Both paths: the server dies under a playing stream; the thread ends by itself with the reason,
// and once the server is back a new start plays again.
TEST_F(Lifecycle, LostServerEndsTheStreamAndANewStartPlaysAgain) {
    for (const std::string device : {"pulse:first", ""}) {
        SCOPED_TRACE(device);
        AudioOut out;
        ASSERT_TRUE(started(out, 48000, 2, nullptr, device)) << out.last_error();
        ASSERT_TRUE(poll_until([&] { return sink_inputs().find("48000Hz") != std::string::npos; },
                               10.0)) << "the stream never reached the server";
        server->kill();
        EXPECT_TRUE(poll_until([&] { return !out.running(); }, 10.0));
        EXPECT_EQ(out.last_error().rfind("Ausgabe abgebrochen: ", 0), 0u) << out.last_error();
        EXPECT_GT(out.last_error().size(), sizeof "Ausgabe abgebrochen: ");

        ASSERT_TRUE(server->start());
        MonitorRecorder rec(*server, device.empty() ? "second" : "first");
        std::atomic<int> after{0};
        ASSERT_TRUE(started(out, 48000, 2, tone(0.3, 0.5, 2, 0.2, &after), device))
            << out.last_error();
        EXPECT_EQ(out.last_error(), "");
        ASSERT_TRUE(tone_played(after));
        out.stop();
        EXPECT_NEAR(seconds(loud_span(rec.stop()).frames), 0.3, 0.002);
    }
}

// A server that answers late is waited for: start reports the outcome of the open, not a fixed
// second, and succeeds once the server wakes up within the bound.
TEST_F(Lifecycle, ASlowServerIsWaitedFor) {
    MonitorRecorder rec(*server, "first");  // the sink consumes at once, so stop() joins
    AudioOut out;
    server->freeze();
    std::thread thaw([] {
        sleep_s(1.5);  // how late the server answers: what the test sets up, not a wait
        server->thaw();
    });
    const bool ok = out.start(48000, 2, nullptr, "pulse:first");
    thaw.join();
    EXPECT_TRUE(ok) << out.last_error();
    EXPECT_EQ(out.device_name(), "Erste Senke");
}

// A frozen server blocks the output thread inside a write or an open. stop() still returns
// within its second, the source is never called after it, start gives up with a reason, and
// the threads left behind end once the server lets them go.
TEST_F(Lifecycle, AFrozenServerCostsStartAndStopABoundedTime) {
    MonitorRecorder rec(*server, "first");
    const int threads = thread_count();
    for (const std::string device : {"pulse:first", ""}) {
        SCOPED_TRACE(device);
        std::atomic<int> calls{0};
        AudioOut out;
        ASSERT_TRUE(started(out, 48000, 2, counter(calls), device));
        ASSERT_TRUE(poll_until([&] { return calls > 10; }, 10.0));
        server->freeze();
        // Long enough for the thread to block in its write. That shows nowhere: the calls stop
        // once the buffer is full whether the thread blocks in the write or waits for room.
        sleep_s(0.5);

        auto t0 = std::chrono::steady_clock::now();
        out.stop();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(took, 1.5);
        const int after_stop = calls;

        t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(out.start(48000, 2, counter(calls), device));
        const double gave_up =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(gave_up, 7.0);
        EXPECT_NE(out.last_error(), "");
        EXPECT_TRUE(logged("Ausgabegeraet antwortet nicht"));

        server->thaw();
        EXPECT_EQ(thread_count_settled(threads), threads) << "a thread left behind never ended";
        EXPECT_EQ(calls, after_stop) << "the source was called after stop";
    }
}

}  // namespace
