#include "playback/leveler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kFloorDb = -120.0f;
constexpr float kSilenceDb = -55.0f;  // at or below: the gain holds instead of climbing
constexpr long long kWindowMs = 300;
constexpr double kFastSeconds = 0.05, kSlowSeconds = 2.0, kMediumSeconds = 0.15;
// Power counted for a sample clipped high: (32767 / 32768)^2.
constexpr double kHighClipPower = 0.99993896577;

float to_db(double linear) {
    return linear <= 1e-6 ? kFloorDb : 20.0f * std::log10(static_cast<float>(linear));
}

float from_db(float db) { return std::pow(10.0f, db / 20.0f); }

float coefficient(int rate, double seconds) {
    return static_cast<float>(std::exp(-1.0 / (rate * seconds)));
}

// Clips to 16 bits, truncating toward zero, and adds the sample's power to `power`.
short clip(float y, double* power) {
    if (y >= 32767.0f) {
        *power += kHighClipPower;
        return 32767;
    }
    if (y <= -32768.0f) {
        *power += 1.0;
        return -32768;
    }
    const double x = y / 32768.0;
    *power += x * x;
    return static_cast<short>(y);
}

// Adds one frame's mean power to a window; at the window's end sets `db` and starts anew.
// True when `db` changed.
bool measure(double frame_power, int window, double* sum, int* count, float* db) {
    *sum += frame_power;
    if (++*count < window) return false;
    *db = to_db(std::sqrt(*sum / *count));
    *sum = 0;
    *count = 0;
    return true;
}

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

// Instant attack on the incoming frame's peak; the release waits until that peak has left the
// delay line, so the look-ahead really lowers the gain before the peak is heard. The frame
// leaving now is checked as well: the level-matching gain may have risen since it came in.
void Leveler::limit(const BlockConstants& k, int input_peak, const short* delayed) {
    const float q = input_peak * gain_;
    const float target = q > k.ceiling ? k.ceiling / q : 1.0f;
    if (target <= limit_gain_) {
        limit_gain_ = target;
        hold_left_ = delay_len_;
    } else if (hold_left_ > 0) {
        --hold_left_;
    } else {
        limit_gain_ = (limit_gain_ - target) * k.fast + target;
    }
    int out_peak = 0;
    for (int c = 0; c < channels_; ++c) out_peak = std::max(out_peak, std::abs(static_cast<int>(delayed[c])));
    const float out_level = out_peak * gain_;
    if (out_level * limit_gain_ > k.ceiling) limit_gain_ = k.ceiling / out_level;
}

float Leveler::process(short* pcm, int frames, float volume) {
    if (frames <= 0) return volume;
    const BlockConstants k{from_db(cfg_.ceiling_db) * 32767.0f, from_db(cfg_.min_gain_db),
                           from_db(cfg_.max_gain_db), coefficient(rate_, kFastSeconds),
                           coefficient(rate_, kSlowSeconds), coefficient(rate_, kMediumSeconds)};
    float target = target_gain(k);  // again only when the measured level changes
    int block_peak = 0;
    for (int f = 0; f < frames; ++f) {
        short* frame = pcm + static_cast<size_t>(f) * channels_;
        int peak = 0;
        double power = 0;
        for (int c = 0; c < channels_; ++c) {
            const double x = frame[c] / 32768.0;
            power += x * x;
            peak = std::max(peak, std::abs(static_cast<int>(frame[c])));
        }
        block_peak = std::max(block_peak, peak);
        if (measure(power / channels_, window_frames_, &in_sum_, &in_count_, &in_db)) target = target_gain(k);

        float goal = gain_, coef = k.slow;  // near silence the gain holds
        if (!cfg_.on) {
            goal = 1.0f;
            coef = 1.0f < gain_ ? k.fast : k.slow;
        } else if (in_db > kSilenceDb) {
            goal = target;
            coef = target < gain_ ? k.fast : k.slow;
        }
        if (fast_left_ > 0) {
            --fast_left_;
            coef = k.medium;
        }
        gain_ = (gain_ - goal) * coef + goal;

        short* slot = &delay_[delay_pos_ * channels_];
        limit(k, peak, slot);
        const float g = gain_ * limit_gain_ * volume;
        double out_power = 0;
        for (int c = 0; c < channels_; ++c) {
            const float y = slot[c] * g;
            slot[c] = frame[c];
            frame[c] = clip(y, &out_power);
        }
        measure(out_power / channels_, window_frames_, &out_sum_, &out_count_, &out_db);
        if (++delay_pos_ == static_cast<size_t>(delay_len_)) delay_pos_ = 0;
    }
    gain_db = to_db(gain_ * limit_gain_);
    peak_db = to_db(block_peak / 32768.0);
    return peak_db;
}
