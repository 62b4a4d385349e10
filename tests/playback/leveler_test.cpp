#include "playback/leveler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/mp3_fixture.h"

using testsupport::Pcm;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = kRate / 10;  // the player's block: a tenth of a second
const double kCeilingMinus1 = 32767 * std::pow(10.0, -1 / 20.0);

// Runs `pcm` through the leveler in player-sized blocks; returns the output and, per block,
// its RMS level and the gain read-out after it.
struct Fed {
    Pcm out;
    std::vector<double> block_db, gain_db;
};

Fed feed(Leveler& lv, Pcm pcm, float volume = 1.0f) {
    Fed r;
    for (int64_t f = 0; f < pcm.frames(); f += kBlock) {
        int n = static_cast<int>(std::min<int64_t>(kBlock, pcm.frames() - f));
        short* block = pcm.samples.data() + f * pcm.channels;
        lv.process(block, n, volume);
        r.block_db.push_back(testsupport::rms_dbfs(block, static_cast<size_t>(n) * pcm.channels));
        r.gain_db.push_back(lv.gain_db);
    }
    r.out = std::move(pcm);
    return r;
}

// Seconds from the start of the run until the block level comes within `tolerance` of `db`
// and stays there; -1 if it never settles.
double settle_time(const std::vector<double>& block_db, double db, double tolerance) {
    for (size_t i = block_db.size(); i-- > 0;)
        if (std::fabs(block_db[i] - db) > tolerance)
            return i + 1 < block_db.size() ? (i + 1) * 0.1 : -1;
    return 0;
}

Pcm quiet() { return testsupport::sine(kRate, 2, 10.0, 1000, -36); }  // RMS -39.03 dBFS

// A leveler that has played a quiet track long enough to sit at its gain of about +23 dB.
void settle_on_quiet(Leveler& lv) {
    lv.prepare(kRate, 2);
    lv.new_track();
    feed(lv, quiet());
    ASSERT_NEAR(23.03, lv.gain_db, 0.2);
}

int peak_of(const Pcm& pcm, double from_s = 0) {
    size_t from = static_cast<size_t>(from_s * pcm.rate) * pcm.channels;
    return testsupport::peak_abs(pcm.samples.data() + from, pcm.samples.size() - from);
}

TEST(Leveler, QuietSineRisesToTargetWithTheStatedTimeConstants) {
    Leveler lv;
    lv.prepare(kRate, 2);
    lv.new_track();
    Fed r = feed(lv, quiet());
    // Held for the first 300 ms window, 150 ms constant until 0.5 s, then 2 s: within 0.5 dB
    // after about 3.4 s. One constant for all of it would settle at 0.7 s or 5.9 s.
    double t = settle_time(r.block_db, -16.0, 0.5);
    EXPECT_GT(t, 3.0);
    EXPECT_LT(t, 4.0);
    EXPECT_NEAR(-16.0, r.block_db.back(), 0.1);
    EXPECT_NEAR(-39.03, lv.in_db, 0.05);
    EXPECT_NEAR(-16.0, lv.out_db, 0.1);
    EXPECT_NEAR(23.03, lv.gain_db, 0.1);
    EXPECT_NEAR(-39.03, r.block_db[2], 0.1) << "unchanged while the first window is measured";
}

TEST(Leveler, LoudPassageIsPulledDownFastUnderTheCeiling) {
    Leveler lv;
    settle_on_quiet(lv);
    Fed r = feed(lv, testsupport::sine(kRate, 2, 4.0, 1000, -6));  // RMS -9.03 dBFS
    double t = settle_time(r.block_db, -16.0, 0.5);
    EXPECT_GT(t, 0.0);
    EXPECT_LT(t, 1.0) << "a falling gain follows with 50 ms";
    EXPECT_LE(peak_of(r.out), kCeilingMinus1) << "the limiter holds while the gain comes down";
    EXPECT_NEAR(-6.97, lv.gain_db, 0.1);
}

TEST(Leveler, SilenceHoldsTheGain) {
    Leveler lv;
    settle_on_quiet(lv);
    const float before = lv.gain_db;
    Fed r = feed(lv, testsupport::silence(kRate, 2, 5.0));
    // The window that straddles the end of the music reads lower and lets the gain rise a
    // little; from the first silent window on it holds.
    EXPECT_NEAR(before, r.gain_db[6], 1.0);
    for (size_t i = 6; i < r.gain_db.size(); ++i) EXPECT_NEAR(r.gain_db[6], r.gain_db[i], 0.01) << i;
    EXPECT_EQ(-120.0f, lv.in_db);
    // The music comes back at the target at once, not 7 dB over it from a gain that climbed.
    Fed back = feed(lv, testsupport::sine(kRate, 2, 1.0, 1000, -36));
    EXPECT_NEAR(-16.0, back.block_db[1], 1.0);
}

TEST(Leveler, FullScaleSquareNeverExceedsTheCeiling) {
    for (float ceiling : {-1.0f, -6.0f}) {
        SCOPED_TRACE(ceiling);
        const double limit = 32767 * std::pow(10.0, ceiling / 20.0);
        Leveler::Config cfg;
        cfg.ceiling_db = ceiling;
        Leveler fresh;
        fresh.configure(cfg);
        fresh.prepare(kRate, 2);
        fresh.new_track();
        Fed r = feed(fresh, testsupport::square(kRate, 2, 3.0, 100, 0));
        EXPECT_LE(peak_of(r.out), limit);
        // Before the first level is measured the gain is 1 and the limiter alone brings the
        // square down to the ceiling, not below it.
        EXPECT_GE(testsupport::peak_abs(r.out.samples.data() + 2 * 4800, 2 * 4800), limit - 2);

        Leveler loud;  // coming from a quiet track, at +23 dB
        loud.configure(cfg);
        settle_on_quiet(loud);
        loud.new_track();
        EXPECT_LE(peak_of(feed(loud, testsupport::square(kRate, 2, 3.0, 100, 0)).out), limit);
    }
}

TEST(Leveler, IsolatedPeaksStayUnderTheCeilingWhileTheGainMoves) {
    // Clicks on a quiet bed: each one must be caught by the look-ahead in time, both while
    // the gain sits at +23 dB and while it rises fast after a loud track.
    Pcm clicks = quiet();
    for (int64_t f = kRate / 7; f < clicks.frames(); f += kRate / 4)
        clicks.samples[f * 2] = clicks.samples[f * 2 + 1] = (f / (kRate / 4)) % 2 ? 12000 : -12000;
    Leveler settled;
    settle_on_quiet(settled);
    EXPECT_LE(peak_of(feed(settled, clicks).out), kCeilingMinus1);

    Leveler rising;
    rising.prepare(kRate, 2);
    rising.new_track();
    feed(rising, testsupport::sine(kRate, 2, 3.0, 1000, -1));
    rising.new_track();
    Fed r = feed(rising, clicks);
    EXPECT_LE(peak_of(r.out), kCeilingMinus1);
    EXPECT_GT(r.gain_db.back(), 20.0) << "the gain did rise through the clicks";
}

TEST(Leveler, SwitchedOffTheGainGlidesBackToUnity) {
    Leveler lv;
    settle_on_quiet(lv);
    Leveler::Config off;
    off.on = false;
    lv.configure(off);
    EXPECT_FALSE(lv.config().on);
    Fed r = feed(lv, testsupport::sine(kRate, 2, 2.0, 1000, -36));
    EXPECT_GT(r.gain_db[0], 5.0) << "a glide, not a jump";
    EXPECT_LT(r.gain_db[0], 20.0);
    EXPECT_NEAR(0.0, r.gain_db[9], 0.1);
    EXPECT_NEAR(0.0, r.gain_db.back(), 0.01);
    // Meters and limiter still work.
    EXPECT_NEAR(-39.03, lv.in_db, 0.05);
    EXPECT_NEAR(-39.03, lv.out_db, 0.05);
    lv.new_track();
    EXPECT_LE(peak_of(feed(lv, testsupport::square(kRate, 2, 1.0, 100, 0)).out), kCeilingMinus1);
}

TEST(Leveler, ChangedSettingsFollowFasterForAQuarterSecondExceptTheLargestCut) {
    Leveler lv;
    settle_on_quiet(lv);
    Leveler::Config cfg;
    cfg.target_db = -10.0f;
    lv.configure(cfg);
    Pcm quarter = testsupport::sine(kRate, 2, 0.25, 1000, -36);
    feed(lv, quarter);
    EXPECT_GT(lv.gain_db, 27.5) << "150 ms brings it to 28.2 dB, 2 s only to 24 dB";

    // A loud input held at the largest cut: raising the cut to -3 dB is followed slowly.
    Leveler cut;
    cut.prepare(kRate, 2);
    cut.new_track();
    feed(cut, testsupport::sine(kRate, 2, 3.0, 1000, 0));  // RMS -3 dBFS: wants -13 dB
    ASSERT_NEAR(-13.0, cut.gain_db, 0.1);
    Leveler::Config smaller_cut;
    smaller_cut.min_gain_db = -3.0f;
    cut.configure(smaller_cut);
    feed(cut, testsupport::sine(kRate, 2, 0.25, 1000, 0));
    EXPECT_LT(cut.gain_db, -11.0) << "slow: about -12.1 dB; medium would reach -3.9 dB";
    EXPECT_GT(cut.gain_db, -13.0);
}

TEST(Leveler, OutputIsTheInputDelayedByTheLookAhead) {
    struct Case {
        int rate, delay;
    };
    for (Case c : {Case{44100, 220}, Case{48000, 240}, Case{8000, 64}, Case{0, 240}}) {
        SCOPED_TRACE(c.rate);
        Leveler::Config unity;
        unity.on = false;
        Leveler lv;
        lv.configure(unity);
        lv.prepare(c.rate, 2);
        EXPECT_EQ(c.delay, lv.delay_len());
        Pcm previous = testsupport::sine(c.rate > 0 ? c.rate : 48000, 2, 0.5, 440, -6);
        feed(lv, previous);
        lv.new_track();

        std::vector<short> pcm(2 * 3000), in;
        for (int i = 0; i < 3000; ++i) {
            pcm[2 * i] = static_cast<short>(i);
            pcm[2 * i + 1] = static_cast<short>(-2 * i);
        }
        in = pcm;
        lv.process(pcm.data(), 1000, 1.0f);
        lv.process(pcm.data() + 2000, 2000, 1.0f);
        for (int i = 0; i < c.delay * 2; ++i)
            ASSERT_EQ(0, pcm[i]) << "the old track's tail is dropped, sample " << i;
        for (int i = c.delay * 2; i < 6000; ++i)
            ASSERT_EQ(in[i - c.delay * 2], pcm[i]) << "sample " << i;
    }
}

TEST(Leveler, VolumeScalesAndClippingSaturates) {
    Leveler::Config unity;
    unity.on = false;
    Leveler half;
    half.configure(unity);
    half.prepare(kRate, 1);
    Pcm pcm = testsupport::sine(kRate, 1, 1.0, 1000, -3);
    Fed r = feed(half, pcm, 0.5f);
    EXPECT_NEAR(testsupport::rms_dbfs(pcm.samples) - 6.02, r.block_db[5], 0.02);

    // Gain 2 on a full-scale square with the ceiling out of the way: the output saturates
    // at the 16-bit limits with its sign kept, and the output meter reads full scale.
    Leveler::Config boost;
    boost.target_db = 6.0f;
    boost.ceiling_db = 12.0f;
    Leveler clip;
    clip.configure(boost);
    clip.prepare(kRate, 2);
    clip.new_track();
    Pcm square = testsupport::square(kRate, 2, 4.0, 100, 0);
    Fed c = feed(clip, square);
    ASSERT_NEAR(6.02, clip.gain_db, 0.3);
    const size_t delay = 2 * 240;
    for (size_t i = 1 * kRate * 2; i < c.out.samples.size(); ++i)
        ASSERT_EQ(square.samples[i - delay] > 0 ? 32767 : -32768, c.out.samples[i]) << i;
    EXPECT_NEAR(0.0, clip.out_db, 0.01);
}

// The same signal on every channel levels exactly like the mono signal, whatever the layout:
// a wrong stride or a channel left out of the measures would show in the samples or the readouts.
TEST(Leveler, EveryChannelLayoutLevelsLikeMono) {
    auto signal = [](int channels) {
        Pcm pcm = testsupport::sine(kRate, channels, 2.0, 1000, -36);
        Pcm loud = testsupport::square(kRate, channels, 1.0, 100, 0);
        pcm.samples.insert(pcm.samples.end(), loud.samples.begin(), loud.samples.end());
        return pcm;
    };
    Leveler mono;
    mono.prepare(kRate, 1);
    mono.new_track();
    const Fed ref = feed(mono, signal(1));
    for (int channels : {2, 3, 6}) {
        Leveler lv;
        lv.prepare(kRate, channels);
        lv.new_track();
        const Fed r = feed(lv, signal(channels));
        ASSERT_EQ(ref.out.frames(), r.out.frames());
        for (int64_t f = 0; f < r.out.frames(); ++f)
            for (int c = 0; c < channels; ++c)
                ASSERT_EQ(ref.out.samples[f], r.out.samples[f * channels + c])
                    << channels << " channels, frame " << f << ", channel " << c;
        EXPECT_EQ(mono.in_db, lv.in_db) << channels;
        EXPECT_EQ(mono.out_db, lv.out_db) << channels;
        EXPECT_EQ(mono.gain_db, lv.gain_db) << channels;
        EXPECT_EQ(mono.peak_db, lv.peak_db) << channels;
    }
}

TEST(Leveler, ReadOutsAndTheEmptyBlock) {
    Leveler lv;
    lv.prepare(kRate, 2);
    lv.new_track();
    Pcm pcm = testsupport::sine(kRate, 2, 0.35, 1000, -20);
    float peak = lv.process(pcm.samples.data(), static_cast<int>(pcm.frames()), 1.0f);
    EXPECT_NEAR(-20.0, peak, 0.01);
    EXPECT_EQ(peak, lv.peak_db);
    EXPECT_NEAR(-23.01, lv.in_db, 0.02);

    const float in = lv.in_db, out = lv.out_db, gain = lv.gain_db;
    short none[2] = {1234, 1234};
    EXPECT_EQ(0.7f, lv.process(none, 0, 0.7f));
    EXPECT_EQ(0.3f, lv.process(none, -5, 0.3f));
    EXPECT_EQ(1234, none[0]);
    EXPECT_EQ(peak, lv.peak_db);
    EXPECT_EQ(in, lv.in_db);
    EXPECT_EQ(out, lv.out_db);
    EXPECT_EQ(gain, lv.gain_db);

    short silent[2 * 100] = {};
    EXPECT_EQ(-120.0f, lv.process(silent, 100, 1.0f));
}

// The output window runs on across prepare: one left longer than the new rate's window ends
// with the next frame, measured over all it holds.
TEST(Leveler, ALowerRateEndsTheOutputWindowAtTheNextFrame) {
    Leveler lv;
    lv.prepare(kRate, 2);
    lv.new_track();
    Pcm pcm = testsupport::sine(kRate, 2, 0.25, 1000, -20);  // 12000 of the window's 14400 frames
    lv.process(pcm.samples.data(), static_cast<int>(pcm.frames()), 1.0f);
    EXPECT_EQ(-60.0f, lv.out_db);
    lv.prepare(8000, 2);  // a window of 2400 frames
    short frame[2] = {0, 0};
    lv.process(frame, 1, 1.0f);
    // The sine at -23 dBFS RMS after the 240 silent frames of the look-ahead, over 12001 frames.
    EXPECT_NEAR(-23.01 + 10 * std::log10(11760.0 / 12001.0), lv.out_db, 0.05);
}

}  // namespace
