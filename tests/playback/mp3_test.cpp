#include "playback/mp3.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <future>
#include <random>
#include <vector>

#include "support/mp3_fixture.h"
#include "support/temp_dir.h"

using testsupport::Pcm;

namespace {

constexpr int kFrame = 1152;

struct Decoded {
    std::vector<int16_t> samples;
    int64_t frames = 0;
};

// Reads in player-sized blocks until the stream ends, checking that no call overruns its room.
Decoded read_all(Mp3Stream& s, int block = 4410) {
    Decoded d;
    std::vector<int16_t> buf(static_cast<size_t>(block) * 2 + 1);
    for (int calls = 0; calls < 100000; ++calls) {
        buf.back() = 0x5a5a;
        int got = s.read(buf.data(), block);
        EXPECT_EQ(0x5a5a, buf.back()) << "read wrote past its room";
        EXPECT_LE(got, block);
        if (got == 0) break;
        d.samples.insert(d.samples.end(), buf.begin(), buf.begin() + got * s.channels);
        d.frames += got;
    }
    return d;
}

// RMS of one channel over [from, from + seconds) of a decode.
double channel_rms(const Decoded& d, int channels, int channel, int64_t from, int64_t count) {
    std::vector<int16_t> one;
    for (int64_t f = from; f < from + count && f < d.frames; ++f)
        one.push_back(d.samples[static_cast<size_t>(f * channels + channel)]);
    return testsupport::rms_dbfs(one);
}

void expect_closed(Mp3Stream& s) {
    EXPECT_EQ(0, s.hz);
    EXPECT_EQ(0, s.channels);
    EXPECT_EQ(0, s.duration);
    EXPECT_EQ(0, s.frames_out);
    std::vector<int16_t> buf(4 * kFrame);
    EXPECT_EQ(0, s.read(buf.data(), 2 * kFrame));
    EXPECT_FALSE(s.seek(1.0));
}

class Mp3StreamTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;

    std::string encode(const Pcm& pcm, const std::string& name, const std::vector<std::string>& opts = {}) {
        std::string path = testsupport::encode_mp3(pcm, dir / name, opts);
        EXPECT_FALSE(path.empty()) << name;
        return path;
    }
    std::string bytes_of(const std::string& path) { return testsupport::read_file(path); }
};

TEST_F(Mp3StreamTest, FormatAndDurationFromTheFileWithAndWithoutInfoFrame) {
    struct Case {
        int rate, channels;
        std::vector<std::string> opts;
    };
    const std::vector<Case> cases = {
        {44100, 2, {}},          {44100, 2, {"-t"}},        {48000, 2, {"-t"}},
        {32000, 1, {"-m", "m"}}, {22050, 1, {"-m", "m"}},   {24000, 2, {"-t"}},
        {16000, 1, {"-m", "m", "-t"}}, {11025, 2, {}},      {44100, 2, {"-V", "4"}},
    };
    const double seconds = 4.0;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << c.channels << " ch, case " << n);
        Pcm pcm = testsupport::sine(c.rate, c.channels, seconds, 440, -6);
        std::string path = encode(pcm, "f" + std::to_string(n++) + ".mp3", c.opts);
        Mp3Stream s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(c.rate, s.hz);
        EXPECT_EQ(c.channels, s.channels);
        EXPECT_NEAR(seconds, s.duration, seconds * 0.03);
        EXPECT_EQ(static_cast<int64_t>(bytes_of(path).size()), s.file_size);
        EXPECT_FALSE(s.done);
        EXPECT_EQ(0, s.frames_out);

        Decoded d = read_all(s);
        EXPECT_TRUE(s.done);
        EXPECT_EQ(d.frames, s.frames_out);
        // The encoder adds at most its delay and the padding of the last frame.
        EXPECT_GE(d.frames, pcm.frames() - kFrame);
        EXPECT_LE(d.frames, pcm.frames() + 3 * kFrame);
        // A -6 dBFS sine has an RMS of -9 dBFS; measured away from the edges.
        EXPECT_NEAR(-9.03, channel_rms(d, c.channels, 0, c.rate, c.rate), 0.5);
    }
}

TEST_F(Mp3StreamTest, InterleavesChannelsInOrder) {
    Pcm left = testsupport::sine(44100, 1, 2.0, 1000, -6);
    Pcm right = testsupport::silence(44100, 1, 2.0);
    Mp3Stream s;
    ASSERT_TRUE(s.open(encode(testsupport::stereo(left, right), "lr.mp3", {"-m", "s"})));
    Decoded d = read_all(s);
    EXPECT_NEAR(-9.03, channel_rms(d, 2, 0, 22050, 44100), 0.5);
    EXPECT_LT(channel_rms(d, 2, 1, 22050, 44100), -60);
}

TEST_F(Mp3StreamTest, ReadNeedsRoomForAWholeFrame) {
    Mp3Stream s;
    ASSERT_TRUE(s.open(encode(testsupport::sine(44100, 2, 2.0, 440, -6), "room.mp3")));
    std::vector<int16_t> buf(2 * 4 * kFrame + 2, 0x5a5a);
    EXPECT_EQ(0, s.read(buf.data(), kFrame - 1));
    EXPECT_FALSE(s.done);
    EXPECT_EQ(0x5a5a, buf[0]) << "nothing is written without room";
    EXPECT_EQ(0, s.read(buf.data(), 0));
    EXPECT_EQ(0, s.read(buf.data(), -3));
    EXPECT_FALSE(s.done);

    int got = s.read(buf.data(), kFrame);
    EXPECT_GT(got, 0);
    EXPECT_LE(got, kFrame);
    const int max = 3 * kFrame + 100;
    got = s.read(buf.data(), max);
    EXPECT_GE(got, 2 * kFrame) << "fills while a whole frame still fits";
    EXPECT_LE(got, max);
    EXPECT_EQ(0x5a5a, buf[2 * max]) << "read wrote past max_frames";
    EXPECT_FALSE(s.done);
}

TEST_F(Mp3StreamTest, SkipsLeadingTagsAndJunk) {
    Pcm pcm = testsupport::sine(44100, 2, 3.0, 440, -6);
    std::string plain = encode(pcm, "plain.mp3", {"-t"});
    std::string tagged = encode(pcm, "tagged.mp3",
                                {"-t", "--id3v2-only", "--tt", "Titel", "--ta", "Kuenstler",
                                 "--tc", std::string(200, 'c'), "--pad-id3v2-size", "300000"});
    ASSERT_GT(bytes_of(tagged).size(), bytes_of(plain).size() + 100000) << "the tag is large";

    std::mt19937 gen(7);
    std::string junk(20000, '\0');
    for (char& c : junk) c = static_cast<char>(gen());
    std::string junked = dir.write_text("junk.mp3", junk + bytes_of(plain));

    for (const std::string& path : {tagged, junked}) {
        SCOPED_TRACE(path);
        Mp3Stream s;
        ASSERT_TRUE(s.open(path));
        EXPECT_EQ(44100, s.hz);
        Decoded d = read_all(s);
        EXPECT_NEAR(pcm.frames(), d.frames, 3 * kFrame);
        EXPECT_NEAR(-9.03, channel_rms(d, 2, 0, 44100, 44100), 0.5);
    }
    Mp3Stream s;
    ASSERT_TRUE(s.open(tagged));
    EXPECT_NEAR(3.0, s.duration, 0.1) << "the tag's bytes are not taken for audio";
}

TEST_F(Mp3StreamTest, GivesUpAfterBoundedJunk) {
    std::string plain = bytes_of(encode(testsupport::sine(44100, 2, 1.0, 440, -6), "p.mp3", {"-t"}));
    std::mt19937 gen(3);
    std::string junk(3 << 20, '\0');
    for (char& c : junk) c = static_cast<char>(gen());
    Mp3Stream s;
    EXPECT_FALSE(s.open(dir.write_text("far.mp3", junk + plain)));
    expect_closed(s);
}

TEST_F(Mp3StreamTest, RefusesFilesWithoutAnAudioFrame) {
    std::string good = encode(testsupport::sine(44100, 2, 1.0, 440, -6), "good.mp3", {"-t"});
    std::string tagged = encode(testsupport::sine(44100, 2, 1.0, 440, -6), "tag.mp3",
                                {"-t", "--id3v2-only", "--tt", "Titel"});
    std::mt19937 gen(11);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(gen());
    const size_t tag_end = bytes_of(tagged).size() - bytes_of(good).size();

    const std::vector<std::string> bad = {
        dir.write_text("empty.mp3", ""),
        dir.write_text("random.mp3", noise),
        dir.write_text("text.mp3", std::string(50000, 'a')),
        dir.write_text("cut.mp3", bytes_of(good).substr(0, 300)),  // first frame is 417 bytes
        dir.write_text("cut_tag.mp3", bytes_of(tagged).substr(0, tag_end + 200)),
        dir / "missing.mp3",
        dir.path(),
    };
    for (const std::string& path : bad) {
        SCOPED_TRACE(path);
        Mp3Stream s;
        ASSERT_TRUE(s.open(good));
        EXPECT_FALSE(s.open(path));
        expect_closed(s);
        EXPECT_TRUE(s.open(good)) << "a failed open leaves the stream reusable";
        EXPECT_EQ(44100, s.hz);
    }
}

// A pipe gives no data until a writer comes; open must fail at once instead of waiting for one.
TEST_F(Mp3StreamTest, APipeFailsAtOnceLikeAnUnreadableFile) {
    const std::string pipe = dir / "pipe.mp3";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    Mp3Stream s;
    auto opened = std::async(std::launch::async, [&] { return s.open(pipe); });
    if (opened.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "open waited for a writer";
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));  // lets the waiting open go
    }
    EXPECT_FALSE(opened.get());
    expect_closed(s);
}

TEST_F(Mp3StreamTest, TruncatedFileEndsWhereTheDataEnds) {
    Pcm pcm = testsupport::sine(44100, 2, 4.0, 440, -6);
    std::string whole = bytes_of(encode(pcm, "whole.mp3", {"-t"}));
    Mp3Stream s;
    ASSERT_TRUE(s.open(dir.write_text("half.mp3", whole.substr(0, whole.size() / 2 + 100))));
    Decoded d = read_all(s);
    EXPECT_TRUE(s.done);
    EXPECT_NEAR(pcm.frames() / 2, d.frames, 2 * kFrame);
}

TEST_F(Mp3StreamTest, FormatChangeEndsTheStreamAtTheLastFrameOfTheFirstFormat) {
    struct Case {
        Pcm second;
        std::vector<std::string> first_opts, second_opts;
        bool ends;
    };
    const Pcm first = testsupport::sine(44100, 2, 2.0, 440, -6);
    const std::vector<Case> cases = {
        {testsupport::sine(32000, 2, 2.0, 440, -6), {}, {}, true},
        {testsupport::sine(32000, 2, 2.0, 440, -6), {"-t"}, {"-t"}, true},
        {testsupport::sine(44100, 1, 2.0, 440, -6), {"-t"}, {"-t", "-m", "m"}, true},
        {testsupport::sine(44100, 2, 2.0, 440, -6), {"-t"}, {"-t"}, false},  // same format plays on
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        std::string a = bytes_of(encode(first, "a" + std::to_string(n) + ".mp3", c.first_opts));
        std::string b = bytes_of(encode(c.second, "b" + std::to_string(n) + ".mp3", c.second_opts));
        Mp3Stream s;
        ASSERT_TRUE(s.open(dir.write_text("ab" + std::to_string(n++) + ".mp3", a + b)));
        Decoded d = read_all(s);
        EXPECT_TRUE(s.done);
        EXPECT_EQ(44100, s.hz);
        EXPECT_EQ(2, s.channels);
        const int64_t expected = c.ends ? first.frames() : first.frames() + c.second.frames();
        EXPECT_NEAR(expected, d.frames, 3 * kFrame);
    }
}

// Ten one-second segments, each 3 dB quieter than the one before, so that a decode tells
// which second it comes from.
Pcm stepped(int rate) {
    Pcm pcm = testsupport::sine(rate, 2, 1.0, 440, -1);
    for (int i = 1; i < 10; ++i) testsupport::append(pcm, testsupport::sine(rate, 2, 1.0, 440, -1 - 3 * i));
    return pcm;
}

// Level of 0.2 s decoded after a seek to `seconds`; `landed` gets the frame it landed on.
double level_after_seek(Mp3Stream& s, double seconds, int64_t* landed) {
    EXPECT_TRUE(s.seek(seconds));
    EXPECT_FALSE(s.done);
    *landed = s.frames_out;
    std::vector<int16_t> buf(2 * 8820);
    int got = s.read(buf.data(), 8820);
    EXPECT_GT(got, 8000);
    EXPECT_EQ(*landed + got, s.frames_out);
    // Skip the first frame, which the decoder needs to settle after a jump.
    return testsupport::rms_dbfs(buf.data() + 2 * kFrame, static_cast<size_t>(2 * (got - kFrame)));
}

TEST_F(Mp3StreamTest, SeekLandsOnTheTargetWithoutDecodingTheWay) {
    for (const std::vector<std::string>& opts : {std::vector<std::string>{"-t"},
                                                std::vector<std::string>{"-V", "4"}}) {
        SCOPED_TRACE(opts[0]);
        Mp3Stream s;
        ASSERT_TRUE(s.open(encode(stepped(44100), "steps" + opts[0] + ".mp3", opts)));
        ASSERT_NEAR(10.0, s.duration, 0.3);
        for (int second : {5, 2, 8, 0}) {
            int64_t landed = 0;
            double level = level_after_seek(s, second + 0.3, &landed);
            EXPECT_NEAR(-1 - 3 * second - 3.01, level, 1.0) << "segment " << second;
            // The landing is the start of the frame that holds the target.
            EXPECT_NEAR((second + 0.3) * 44100, landed, kFrame);
        }
    }
}

// Bytes this process has read through read(2) and its kin so far; -1 where the kernel keeps
// no count.
int64_t bytes_read_so_far() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

TEST_F(Mp3StreamTest, SeekCostsAboutTheSameForAnyTargetInALongFile) {
    if (bytes_read_so_far() < 0) GTEST_SKIP() << "the kernel counts no bytes read";
    // Twenty minutes each: constant bitrate without an Info frame (one piece played over and
    // over), and variable bitrate whose Info frame carries a table of contents.
    std::string piece = bytes_of(encode(testsupport::sine(44100, 2, 10.0, 440, -6), "piece.mp3", {"-t"}));
    std::string repeated;
    for (int i = 0; i < 120; ++i) repeated += piece;
    const std::string cbr = dir.write_text("cbr.mp3", repeated);
    const std::string vbr = encode(testsupport::sine(8000, 1, 1200.0, 440, -6), "vbr.mp3", {"-m", "m", "-V", "6"});
    std::vector<int16_t> buf(2 * 4410);
    for (const std::string& path : {cbr, vbr}) {
        SCOPED_TRACE(path);
        Mp3Stream s;
        ASSERT_TRUE(s.open(path));
        ASSERT_NEAR(1200, s.duration, 20);
        // Far and near, forwards and back, and enough places to land in the middle of frames.
        std::vector<double> targets = {1150.0, 30.0, 1e6, 1199.9, 0.0};
        for (double t = 3.1; t < 1200; t += 47.3) targets.push_back(t);
        for (double target : targets) {
            SCOPED_TRACE(target);
            const int64_t before = bytes_read_so_far();
            ASSERT_TRUE(s.seek(target));
            const int64_t landed = s.frames_out;
            const int got = s.read(buf.data(), 4410);
            ASSERT_GT(got, kFrame) << "a seek must not end the track";
            // Walking there from the start or from the last position would read megabytes.
            EXPECT_LT(bytes_read_so_far() - before, 256 << 10);
            // A landing that does not decode may move back by hundredths of the length.
            EXPECT_NEAR(std::min(target, s.duration - 0.5) * s.hz, landed, 0.035 * s.duration * s.hz);
            if (path != vbr) continue;  // the repeated piece has a gap of encoder delay every 10 s
            EXPECT_NEAR(-9.03, testsupport::rms_dbfs(buf.data() + kFrame * s.channels,
                                                     static_cast<size_t>((got - kFrame) * s.channels)),
                        1.0)
                << "the sine, not noise decoded from a false header";
        }
    }
}

TEST_F(Mp3StreamTest, SeekClampsToTheStartAndHalfASecondBeforeTheEnd) {
    Mp3Stream s;
    std::vector<int16_t> buf(2 * kFrame);
    EXPECT_FALSE(s.seek(1.0)) << "nothing open";
    ASSERT_TRUE(s.open(encode(stepped(44100), "clamp.mp3", {"-t"})));

    ASSERT_TRUE(s.seek(1e6));
    const int64_t landed = s.frames_out;
    EXPECT_NEAR((s.duration - 0.5) * 44100, landed, kFrame);
    Decoded rest = read_all(s);
    EXPECT_TRUE(s.done);
    EXPECT_NEAR(0.5 * 44100, rest.frames, 2 * kFrame);
    EXPECT_EQ(landed + rest.frames, s.frames_out);
    EXPECT_EQ(0, s.read(buf.data(), kFrame));

    ASSERT_TRUE(s.seek(-5)) << "a seek after the end plays again";
    EXPECT_EQ(0, s.frames_out);
    EXPECT_FALSE(s.done);
    Decoded all = read_all(s);
    EXPECT_NEAR(10 * 44100, all.frames, 3 * kFrame);
    EXPECT_NEAR(-1 - 3.01, channel_rms(all, 2, 0, 4410, 22050), 0.5) << "from the first segment";
}

TEST_F(Mp3StreamTest, OpenReplacesTheTrackAndCloseResets) {
    Mp3Stream s;
    ASSERT_TRUE(s.open(encode(testsupport::sine(44100, 2, 2.0, 440, -6), "one.mp3")));
    std::vector<int16_t> buf(2 * 4410);
    ASSERT_GT(s.read(buf.data(), 4410), 0);
    read_all(s);
    ASSERT_TRUE(s.done);

    ASSERT_TRUE(s.open(encode(testsupport::sine(22050, 1, 3.0, 440, -6), "two.mp3", {"-m", "m"})));
    EXPECT_EQ(22050, s.hz);
    EXPECT_EQ(1, s.channels);
    EXPECT_FALSE(s.done);
    EXPECT_EQ(0, s.frames_out);
    EXPECT_NEAR(3.0, s.duration, 0.1);
    EXPECT_NEAR(3 * 22050, read_all(s).frames, 3 * kFrame);

    s.close();
    EXPECT_FALSE(s.done);
    EXPECT_EQ(0, s.file_size);
    expect_closed(s);
}

}  // namespace
