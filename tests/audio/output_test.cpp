// What is played arrives, on both back ends, and failures fall back or say why.
#include <gtest/gtest.h>

#include <cstring>

#include "audio_test_util.h"
#include "support/temp_dir.h"

using namespace audiotest;
using testsupport::MonitorRecorder;

namespace {

class Output : public ServerTest {};

// 0.5 FS sine: RMS of -9.03 dBFS.
const double kToneDb = 20 * std::log10(0.5 / std::sqrt(2.0));

TEST_F(Output, PulseSinkPlaysTheSignalAtDefaultFormat) {
    MonitorRecorder rec(*server, "first");
    ASSERT_TRUE(rec.recording());
    AudioOut out;
    std::atomic<int> after{0};
    ASSERT_TRUE(started(out, 0, 0, tone(0.5, 0.5, 2, 0.2, &after), "pulse:first"))
        << out.last_error();
    EXPECT_TRUE(out.running());
    EXPECT_EQ(out.device_name(), "Erste Senke");
    EXPECT_EQ(out.last_error(), "");

    std::string inputs = sink_inputs();
    EXPECT_NE(inputs.find("s16le 2ch 48000Hz"), std::string::npos) << inputs;
    EXPECT_NE(inputs.find("application.name = \"Quavermill\""), std::string::npos);
    EXPECT_NE(inputs.find("media.name = \"Wiedergabe\""), std::string::npos);
    // 8 periods of 20 ms requested; the server's default would be two seconds.
    size_t at = inputs.find("Buffer Latency: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LE(std::stol(inputs.substr(at + 16)), 200000) << "usec in the stream's buffer";

    ASSERT_TRUE(tone_played(after));
    out.stop();
    Span s = loud_span(rec.stop());
    EXPECT_NEAR(seconds(s.frames), 0.5, 0.002);
    EXPECT_NEAR(s.rms_db, kToneDb, 0.1);
}

TEST_F(Output, AlsaDefaultReachesTheDefaultSink) {
    MonitorRecorder rec(*server, "second");
    ASSERT_TRUE(rec.recording());
    AudioOut out;
    std::atomic<int> after{0};
    ASSERT_TRUE(started(out, 48000, 2, tone(0.4, 0.5, 2, 0.2, &after), "")) << out.last_error();
    EXPECT_EQ(out.device_name(), "second");  // the default sink's name from the server
    ASSERT_TRUE(tone_played(after));
    out.stop();
    Span s = loud_span(rec.stop());
    EXPECT_NEAR(seconds(s.frames), 0.4, 0.002);
    EXPECT_NEAR(s.rms_db, kToneDb, 0.1);
}

// Frame i, channel c carries 1 + 2i + c: every byte of the file is accounted for.
AudioOut::Source counting(int total_frames) {
    int done = 0;
    return [=](short* out, int frames) mutable {
        int n = std::min(frames, total_frames - done);
        for (int i = 0; i < n; ++i, ++done) {
            out[2 * i] = static_cast<short>(1 + 2 * done);
            out[2 * i + 1] = static_cast<short>(2 + 2 * done);
        }
        return n;
    };
}

TEST_F(Output, AlsaWritesExactlyWhatTheSourceGaveThenSilence) {
    const int given = 960 + 480;  // one and a half periods: the second is padded with zeros
    const int threads = thread_count();
    AudioOut out;
    ASSERT_TRUE(started(out, 48000, 2, counting(given), "qm_capture")) << out.last_error();
    const size_t three_periods = 3u * 960 * 4;
    EXPECT_TRUE(testsupport::poll_until([&] {
        return testsupport::read_file(server->capture_path()).size() >= three_periods;
    }, 10.0));
    out.stop();
    // A sink that has not begun to consume may hold the last write past stop(), which then
    // leaves the thread to finish the file by itself.
    ASSERT_EQ(thread_count_settled(threads), threads);
    std::string bytes = testsupport::read_file(server->capture_path());
    ASSERT_GE(bytes.size(), three_periods);  // the padded period and a silent one
    std::vector<short> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    size_t wrong = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        short want = i < 2u * given ? static_cast<short>(1 + i) : 0;
        if (pcm[i] != want) ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << "of " << pcm.size() << " samples";
}

TEST_F(Output, NothingDeliveredGivesSilenceOnAnOpenStream) {
    MonitorRecorder rec(*server, "first");
    ASSERT_TRUE(rec.recording());
    AudioOut out;
    // Garbage in the buffer with a negative count must not reach the device.
    std::atomic<long> asked{0};
    auto refusing = [&asked](short* buf, int frames) {
        for (int i = 0; i < frames * 2; ++i) buf[i] = 20000;
        asked += frames;
        return -1;
    };
    ASSERT_TRUE(started(out, 48000, 2, refusing, "pulse:first"));
    // A second asked of the source, and a second at the sink.
    EXPECT_TRUE(testsupport::poll_until([&] {
        return asked >= kRate && rec.so_far().size() >= 2u * kRate;
    }, 10.0));
    EXPECT_TRUE(out.running());
    EXPECT_NE(sink_inputs().find("Wiedergabe"), std::string::npos);
    out.stop();
    std::vector<short> pcm = rec.stop();
    EXPECT_GE(seconds(pcm.size() / 2), 0.8);
    EXPECT_EQ(loud_span(pcm, 0).frames, 0u);
}

TEST_F(Output, VanishedSinkPlaysOnAlsaDefault) {
    MonitorRecorder rec(*server, "second");
    ASSERT_TRUE(rec.recording());
    AudioOut out;
    std::atomic<int> after{0};
    ASSERT_TRUE(started(out, 48000, 2, tone(0.3, 0.5, 2, 0.2, &after), "pulse:gone"))
        << out.last_error();
    EXPECT_TRUE(logged("WARN  Tonserver kennt die Senke nicht (mehr): gone"));
    EXPECT_TRUE(logged("WARN  Gewaehltes Ausgabegeraet nicht da (pulse:gone) — Standardgeraet"));
    EXPECT_EQ(out.device_name(), "second");
    ASSERT_TRUE(tone_played(after));
    out.stop();
    EXPECT_NEAR(seconds(loud_span(rec.stop()).frames), 0.3, 0.002);
}

// 258 channels are more than the server takes; cut to a byte they would read as 2.
TEST_F(Output, StreamTheServerRefusesFallsBackToAlsaDefault) {
    AudioOut out;
    EXPECT_FALSE(started(out, 48000, 258, nullptr, "pulse:first"));
    EXPECT_TRUE(logged("WARN  Tonserver, Senke first: Invalid argument"));
    EXPECT_TRUE(logged("WARN  Gewaehltes Ausgabegeraet nicht da (pulse:first) — Standardgeraet"));
    EXPECT_EQ(out.last_error(), "Ausgabeformat: Invalid argument");
    EXPECT_EQ(sink_inputs().find("Wiedergabe"), std::string::npos);
}

TEST_F(Output, UnknownAlsaNameFallsBackToDefault) {
    AudioOut out;
    ASSERT_TRUE(started(out, 48000, 2, nullptr, "qm_nowhere")) << out.last_error();
    EXPECT_TRUE(logged("WARN  Gewaehltes Ausgabegeraet nicht da (qm_nowhere) — Standardgeraet"));
    EXPECT_EQ(out.device_name(), "second");
    EXPECT_EQ(out.last_error(), "");
}

TEST_F(Output, FailingDefaultReportsTheReason) {
    server->kill();
    AudioOut out;
    for (const std::string device : {"", "qm_nowhere", "pulse:first"}) {
        EXPECT_FALSE(started(out, 48000, 2, nullptr, device)) << device;
        EXPECT_FALSE(out.running());
        EXPECT_EQ(out.last_error(), "Ausgabegeraet: Connection refused") << device;
    }
    EXPECT_TRUE(logged("Gewaehltes Ausgabegeraet nicht da (pulse:first) — Standardgeraet"));
}

TEST_F(Output, LayoutTheDeviceCannotTakeIsRefused) {
    AudioOut out;
    EXPECT_FALSE(started(out, 48000, 1, tone(1, 0.5, 1), "qm_stereo_only"));
    EXPECT_EQ(out.last_error(), "Ausgabeformat: Invalid argument");
    EXPECT_FALSE(out.running());
    // The device itself works with the layout it has.
    EXPECT_TRUE(started(out, 48000, 2, nullptr, "qm_stereo_only")) << out.last_error();
    EXPECT_EQ(out.last_error(), "");
}

}  // namespace
