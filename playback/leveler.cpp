#include "playback/leveler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr float kFloorDb = -120.0f;
constexpr float kSilenceDb = -55.0f;  // at or below: the gain holds instead of climbing
constexpr long long kWindowMs = 300;
constexpr double kFastSeconds = 0.05, kSlowSeconds = 2.0, kMediumSeconds = 0.15;

float to_db(double linear) {
    return linear <= 1e-6 ? kFloorDb : 20.0f * std::log10(static_cast<float>(linear));
}

float from_db(float db) { return std::pow(10.0f, db / 20.0f); }

float coefficient(int rate, double seconds) {
    return static_cast<float>(std::exp(-1.0 / (rate * seconds)));
}

// Power sums are kept in squared sample units (full scale = 2^30) and scaled only when a
// window ends: the input sums are exact integers, and the output sums differ from sums of
// scaled powers only by that exact power-of-two factor.
constexpr double kFullScalePower = 32768.0 * 32768.0;
// Power counted for a sample clipped high: (32767 / 32768)^2 of full scale.
constexpr double kHighClipPower = 0.99993896577 * kFullScalePower;

// Clips to 16 bits, truncating toward zero, and adds the sample's power to `power`.
inline short clip(float y, double* power) {
    if (y >= 32767.0f) {
        *power += kHighClipPower;
        return 32767;
    }
    if (y <= -32768.0f) {
        *power += kFullScalePower;
        return -32768;
    }
    const double x = y;
    *power += x * x;
    return static_cast<short>(y);
}

// RMS in dBFS of a window's power sum of `count` frames.
float window_db(double sum, int count) { return to_db(std::sqrt(sum / kFullScalePower / count)); }

}  // namespace

// Linear values of one block, from the configuration and the rate.
struct Leveler::BlockConstants {
    float ceiling;  // sample units
    float min_gain, max_gain;
    float fast, slow, medium;
};

Leveler::Leveler() { prepare(rate_, channels_); }

void Leveler::configure(const Config& config) {
    auto moved = [](float a, float b) { return std::fabs(a - b) > 0.01f; };
    const bool faster = config.on != cfg_.on || moved(config.target_db, cfg_.target_db) ||
                        moved(config.ceiling_db, cfg_.ceiling_db) ||
                        moved(config.max_gain_db, cfg_.max_gain_db);
    cfg_ = config;
    if (faster) fast_left_ = rate_ / 4;
}

void Leveler::prepare(int rate, int channels) {
    if (rate < 1) {
        rate_ = 48000;
        window_frames_ = 14400;
        delay_len_ = 240;
    } else {
        rate_ = rate;
        window_frames_ = std::max(1, static_cast<int>(rate * kWindowMs / 1000));
        delay_len_ = rate > 12999 ? rate / 200 : 64;  // 5 ms
    }
    channels_ = channels < 1 ? 2 : channels;
    delay_.assign(static_cast<size_t>(delay_len_) * channels_, 0);
    delay_pos_ = 0;
    in_sum_ = 0;
    in_count_ = 0;
    limit_gain_ = 1.0f;
    hold_left_ = 0;
}

void Leveler::new_track() {
    std::fill(delay_.begin(), delay_.end(), 0);
    delay_pos_ = 0;
    limit_gain_ = 1.0f;
    hold_left_ = 0;
    fast_left_ = rate_ / 2;
}

// The gain that puts the last measured level on the target, within the allowed range.
float Leveler::target_gain(const BlockConstants& k) const {
    const float wanted = from_db(cfg_.target_db - in_db);
    return wanted < k.min_gain ? k.min_gain : std::min(wanted, k.max_gain);
}

// The per-frame work of process for C channels (0: channels_), returning the block's input
// peak. The running state lives in locals for the loop and is stored back after it.
//
// Limiter: instant attack on the incoming frame's peak; the release waits until that peak has
// left the delay line, so the look-ahead really lowers the gain before the peak is heard. The
// frame leaving now is checked as well: the level-matching gain may have risen since it came in.
template <int C>
int Leveler::run(const BlockConstants& k, short* pcm, int frames, float volume) {
    const int channels = C > 0 ? C : channels_;
    const bool on = cfg_.on;
    const int window = window_frames_;
    const int delay_len = delay_len_;
    short* const delay = delay_.data();
    float gain = gain_, limit_gain = limit_gain_;
    int hold_left = hold_left_, fast_left = fast_left_;
    int64_t in_sum = in_sum_;
    int in_count = in_count_;
    double out_sum = out_sum_;
    int out_count = out_count_;
    int delay_pos = static_cast<int>(delay_pos_);
    bool audible = in_db > kSilenceDb;
    float target = target_gain(k);  // again only when the measured level changes
    int block_peak = 0;
    for (int f = 0; f < frames; ++f) {
        short* frame = pcm + static_cast<size_t>(f) * channels;
        int peak = 0;
        int64_t power = 0;
        for (int c = 0; c < channels; ++c) {
            const int v = frame[c];
            power += v * v;
            peak = std::max(peak, std::abs(v));
        }
        block_peak = std::max(block_peak, peak);
        in_sum += power;
        if (++in_count >= window) {
            in_db = window_db(static_cast<double>(in_sum) / channels, in_count);
            in_sum = 0;
            in_count = 0;
            audible = in_db > kSilenceDb;
            target = target_gain(k);
        }

        float goal = gain, coef = k.slow;  // near silence the gain holds
        if (!on) {
            goal = 1.0f;
            coef = 1.0f < gain ? k.fast : k.slow;
        } else if (audible) {
            goal = target;
            coef = target < gain ? k.fast : k.slow;
        }
        if (fast_left > 0) {
            --fast_left;
            coef = k.medium;
        }
        gain = (gain - goal) * coef + goal;

        short* slot = delay + static_cast<size_t>(delay_pos) * channels;
        const float q = peak * gain;
        const float limit_target = q > k.ceiling ? k.ceiling / q : 1.0f;
        if (limit_target <= limit_gain) {
            limit_gain = limit_target;
            hold_left = delay_len;
        } else if (hold_left > 0) {
            --hold_left;
        } else {
            limit_gain = (limit_gain - limit_target) * k.fast + limit_target;
        }
        int leaving_peak = 0;
        for (int c = 0; c < channels; ++c)
            leaving_peak = std::max(leaving_peak, std::abs(static_cast<int>(slot[c])));
        const float leaving_level = leaving_peak * gain;
        if (leaving_level * limit_gain > k.ceiling) limit_gain = k.ceiling / leaving_level;

        const float g = gain * limit_gain * volume;
        double out_power = 0;
        for (int c = 0; c < channels; ++c) {
            const float y = slot[c] * g;
            slot[c] = frame[c];
            frame[c] = clip(y, &out_power);
        }
        out_sum += out_power / channels;
        if (++out_count >= window) {
            out_db = window_db(out_sum, out_count);
            out_sum = 0;
            out_count = 0;
        }
        if (++delay_pos == delay_len) delay_pos = 0;
    }
    gain_ = gain;
    limit_gain_ = limit_gain;
    hold_left_ = hold_left;
    fast_left_ = fast_left;
    in_sum_ = in_sum;
    in_count_ = in_count;
    out_sum_ = out_sum;
    out_count_ = out_count;
    delay_pos_ = static_cast<size_t>(delay_pos);
    return block_peak;
}

float Leveler::process(short* pcm, int frames, float volume) {
    if (frames <= 0) return volume;
    const BlockConstants k{from_db(cfg_.ceiling_db) * 32767.0f, from_db(cfg_.min_gain_db),
                           from_db(cfg_.max_gain_db), coefficient(rate_, kFastSeconds),
                           coefficient(rate_, kSlowSeconds), coefficient(rate_, kMediumSeconds)};
    // A channel count known at compile time lets the per-frame loops unroll.
    int block_peak = 0;
    switch (channels_) {
    case 1: block_peak = run<1>(k, pcm, frames, volume); break;
    case 2: block_peak = run<2>(k, pcm, frames, volume); break;
    default: block_peak = run<0>(k, pcm, frames, volume); break;
    }
    gain_db = to_db(gain_ * limit_gain_);
    peak_db = to_db(block_peak / 32768.0);
    return peak_db;
}
