// The chunked leveler against the frame-by-frame one it replaced, kept here as the reference:
// the same samples up to the rounding of the gain's last bits, the same read-outs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "playback/leveler.h"
#include "support/mp3_fixture.h"

using testsupport::Pcm;

namespace {

// The former implementation, one frame at a time.
class Reference {
public:
    Leveler::Config cfg;
    float in_db = -60.0f, out_db = -60.0f, peak_db = -60.0f, gain_db = 0.0f;

    void prepare(int rate, int channels) {  // rate > 12999 only
        rate_ = rate;
        window_ = rate * 300 / 1000;
        delay_len_ = rate / 200;
        channels_ = channels;
        delay_.assign(static_cast<size_t>(delay_len_) * channels, 0);
        fast_left_ = rate / 2;
    }

    float process(short* pcm, int frames, float volume) {
        auto from_db = [](float db) { return std::pow(10.0f, db / 20.0f); };
        auto coef = [&](double s) { return static_cast<float>(std::exp(-1.0 / (rate_ * s))); };
        const float ceiling = from_db(cfg.ceiling_db) * 32767.0f, lo = from_db(cfg.min_gain_db),
                    hi = from_db(cfg.max_gain_db), fast = coef(0.05), slow = coef(2.0),
                    medium = coef(0.15);
        auto target_of = [&] {
            const float w = from_db(cfg.target_db - in_db);
            return w < lo ? lo : std::min(w, hi);
        };
        float target = target_of();
        int block_peak = 0;
        for (int f = 0; f < frames; ++f) {
            short* frame = pcm + static_cast<size_t>(f) * channels_;
            short* slot = delay_.data() + static_cast<size_t>(pos_) * channels_;
            int peak = 0, leaving = 0;
            int64_t power = 0;
            for (int c = 0; c < channels_; ++c) {
                power += frame[c] * frame[c];
                peak = std::max(peak, std::abs(static_cast<int>(frame[c])));
                leaving = std::max(leaving, std::abs(static_cast<int>(slot[c])));
            }
            block_peak = std::max(block_peak, peak);
            in_sum_ += power;
            if (++in_count_ >= window_) {
                in_db = db(std::sqrt(static_cast<double>(in_sum_) / channels_ / kFull / in_count_));
                in_sum_ = in_count_ = 0;
                target = target_of();
            }
            float goal = gain_, k = slow;
            if (!cfg.on) {
                goal = 1.0f;
                k = 1.0f < gain_ ? fast : slow;
            } else if (in_db > -55.0f) {
                goal = target;
                k = target < gain_ ? fast : slow;
            }
            if (fast_left_ > 0) {
                --fast_left_;
                k = medium;
            }
            gain_ = (gain_ - goal) * k + goal;
            const float q = peak * gain_;
            const float lt = q > ceiling ? ceiling / q : 1.0f;
            if (lt <= limit_) {
                limit_ = lt;
                hold_ = delay_len_;
            } else if (hold_ > 0) {
                --hold_;
            } else {
                limit_ = (limit_ - lt) * fast + lt;
            }
            const float level = leaving * gain_;
            if (level * limit_ > ceiling) limit_ = ceiling / level;
            const float g = gain_ * limit_ * volume;
            double out_power = 0;
            for (int c = 0; c < channels_; ++c) {
                const float y = slot[c] * g;
                slot[c] = frame[c];
                const bool high = y >= 32767.0f, low = y <= -32768.0f;
                out_power += high  ? 0.99993896577 * kFull
                             : low ? kFull
                                   : static_cast<double>(y) * y;
                frame[c] = high ? 32767 : low ? -32768 : static_cast<short>(y);
            }
            out_sum_ += out_power / channels_;
            if (++out_count_ >= window_) {
                out_db = db(std::sqrt(out_sum_ / kFull / out_count_));
                out_sum_ = out_count_ = 0;
            }
            if (++pos_ == delay_len_) pos_ = 0;
        }
        gain_db = db(gain_ * limit_);
        return peak_db = db(block_peak / 32768.0);
    }

private:
    static constexpr double kFull = 32768.0 * 32768.0;
    static float db(double linear) {
        return linear <= 1e-6 ? -120.0f : 20.0f * std::log10(static_cast<float>(linear));
    }
    int rate_ = 0, window_ = 0, delay_len_ = 0, channels_ = 0, pos_ = 0;
    int in_count_ = 0, out_count_ = 0, fast_left_ = 0, hold_ = 0;
    int64_t in_sum_ = 0;
    double out_sum_ = 0;
    float gain_ = 1.0f, limit_ = 1.0f;
    std::vector<short> delay_;
};

constexpr int kRate = 48000;
constexpr double kBoundDb = 0.02;

// Channel c at (1 - c/8) of the signal, so that a wrong stride shows.
Pcm spread(Pcm pcm) {
    for (size_t i = 0; i < pcm.samples.size(); ++i)
        pcm.samples[i] =
            static_cast<short>(pcm.samples[i] * (1.0 - static_cast<double>(i % pcm.channels) / 8));
    return pcm;
}

Pcm join(std::vector<Pcm> parts) {
    Pcm pcm = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) testsupport::append(pcm, parts[i]);
    return spread(pcm);
}

// Quiet tone with full-scale clicks and bursts of square: the limiter works often.
Pcm bursts(int ch) {
    Pcm pcm = join(
        {testsupport::sine(kRate, ch, 1.5, 440, -30), testsupport::square(kRate, ch, 0.3, 100, 0),
         testsupport::sine(kRate, ch, 1.0, 440, -30), testsupport::noise(kRate, ch, 0.5, 0),
         testsupport::sine(kRate, ch, 1.5, 440, -30)});
    for (size_t i = 7919; i < pcm.samples.size(); i += 24007)
        pcm.samples[i] = i % 2 ? 32767 : -32768;
    return pcm;
}

struct Scenario {
    const char* name;
    int channels;
    Pcm (*signal)(int channels);
    float volume;
    bool on;
    float ceiling_db;
};

const Scenario kScenarios[] = {
    {"silence", 2, [](int ch) { return testsupport::silence(kRate, ch, 3.0); }, 1.0f, true, -1},
    {"tones rising", 1,
     [](int ch) {
         return join({testsupport::sine(kRate, ch, 3, 1000, -40),
                      testsupport::sine(kRate, ch, 2, 300, -20)});
     },
     1.0f, true, -1},
    {"tones falling", 6,
     [](int ch) {
         return join({testsupport::sine(kRate, ch, 2, 1000, -1),
                      testsupport::sine(kRate, ch, 2, 300, -12)});
     },
     0.7f, true, -3},
    {"tone then silence", 2,
     [](int ch) {
         return join(
             {testsupport::sine(kRate, ch, 2, 1000, -30), testsupport::silence(kRate, ch, 1)});
     },
     1.0f, true, -1},
    {"bursts stereo", 2, bursts, 0.8f, true, -1},
    {"bursts mono", 1, bursts, 1.0f, true, -6},
    {"bursts six", 6, bursts, 1.0f, true, -1},
    {"bursts off", 2, bursts, 0.5f, false, -1},
    {"noise", 2, [](int ch) { return spread(testsupport::noise(kRate, ch, 4, -10)); }, 1.0f, true,
     -1},
    {"noise off", 1, [](int ch) { return testsupport::noise(kRate, ch, 2, -3); }, 1.0f, false, -1},
};

// Runs both levelers over `pcm` in blocks whose lengths walk through a permutation of
// 1..5000 frames from `first`, and compares every sample and every read-out.
void compare(const Scenario& s, Pcm pcm, int first) {
    Leveler::Config cfg;
    cfg.on = s.on;
    cfg.ceiling_db = s.ceiling_db;
    Leveler lv;
    lv.configure(cfg);
    lv.prepare(kRate, s.channels);
    lv.new_track();
    Reference ref;
    ref.cfg = cfg;
    ref.prepare(kRate, s.channels);
    std::vector<short> expected = pcm.samples;
    const double limit = std::pow(10.0, s.ceiling_db / 20.0) * 32767 * s.volume;
    const double rounding = std::pow(10.0, kBoundDb / 20) - 1;
    int64_t frame = 0;
    for (int b = first; frame < pcm.frames(); b += 2731) {
        const int n = static_cast<int>(std::min<int64_t>(1 + b % 5000, pcm.frames() - frame));
        short* mine = pcm.samples.data() + frame * s.channels;
        short* theirs = expected.data() + frame * s.channels;
        EXPECT_EQ(ref.process(theirs, n, s.volume), lv.process(mine, n, s.volume));
        for (int i = 0; i < n * s.channels; ++i) {
            // Within 0.02 dB, or one step where truncation turns a last-bit difference into one.
            ASSERT_LE(std::abs(mine[i] - theirs[i]), std::max(1.0, std::abs(theirs[i]) * rounding))
                << "frame " << frame + i / s.channels << " channel " << i % s.channels;
            ASSERT_LE(std::abs(mine[i]), limit) << "frame " << frame + i / s.channels;
        }
        ASSERT_EQ(ref.in_db, lv.in_db) << "frame " << frame;
        // The recurrence drifts by its rounding over many frames; the closed form does not.
        ASSERT_NEAR(ref.out_db, lv.out_db, kBoundDb) << "frame " << frame;
        ASSERT_NEAR(ref.gain_db, lv.gain_db, kBoundDb) << "frame " << frame;
        frame += n;
    }
}

TEST(LevelerMatch, ChunkedLevelerFollowsTheFrameByFrameOne) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        compare(s, s.signal(s.channels), 1);
    }
}

TEST(LevelerMatch, EveryBlockLengthFrom1To5000) {
    // The permutation's 5000 lengths sum to 12.5 M frames: the burst signal over and over.
    const Scenario& s = kScenarios[4];
    const Pcm once = s.signal(s.channels);
    Pcm pcm = once;
    while (pcm.frames() < 5000LL * 5001 / 2) testsupport::append(pcm, once);
    pcm.samples.resize(5000LL * 5001);
    compare(s, pcm, 0);
}

}  // namespace
