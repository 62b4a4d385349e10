#include "playback/leveler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "playback/sample_kernels.h"

namespace {

constexpr float kFloorDb = -120.0f;
constexpr float kSilenceDb = -55.0f;  // at or below: the gain holds instead of climbing
constexpr long long kWindowMs = 300;
enum Speed { kFast, kSlow, kMedium, kHold };
constexpr double kSeconds[3] = {0.05, 2.0, 0.15};

float to_db(double linear) {
    return linear <= 1e-6 ? kFloorDb : 20.0f * std::log10(static_cast<float>(linear));
}

float from_db(float db) { return std::pow(10.0f, db / 20.0f); }

// Power sums are kept in squared sample units (full scale = 2^30) and scaled only when a
// window ends: the input sums are exact integers, and the output sums differ from sums of
// scaled powers only by that exact power-of-two factor.
constexpr double kFullScalePower = 32768.0 * 32768.0;

// RMS in dBFS of a window's power sum of `count` frames.
float window_db(double sum, int count) { return to_db(std::sqrt(sum / kFullScalePower / count)); }

int frame_peak(const short* frame, int channels) {
    int peak = 0;
    for (int c = 0; c < channels; ++c) peak = std::max(peak, std::abs(static_cast<int>(frame[c])));
    return peak;
}

}  // namespace

// Linear values of one block, from the configuration and the rate.
struct Leveler::BlockConstants {
    float ceiling;  // sample units
    float min_gain, max_gain;
    float target;  // the gain that puts the last measured input level on the target
};

// One piece of a block: its frames, the largest input sample, and the total gain (level
// matching, limiter and volume) of each frame, or of all frames at once when it is uniform.
struct Leveler::Chunk {
    int frames;
    int in_peak;
    bool uniform;
    float gain[kChunk];
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
    written_peak_ = leaving_peak_ = 0;
    in_sum_ = 0;
    in_count_ = 0;
    limit_gain_ = 1.0f;
    hold_left_ = 0;
    if (coef_rate_ != rate_) {
        coef_rate_ = rate_;
        for (int s = 0; s < 3; ++s) {
            coef_[s] = static_cast<float>(std::exp(-1.0 / (rate_ * kSeconds[s])));
            for (int i = 0; i < kChunk; ++i)
                coef_pow_[s][i] =
                    static_cast<float>(std::pow(static_cast<double>(coef_[s]), i + 1));
        }
    }
}

void Leveler::new_track() {
    std::fill(delay_.begin(), delay_.end(), 0);
    delay_pos_ = 0;
    written_peak_ = leaving_peak_ = 0;
    limit_gain_ = 1.0f;
    hold_left_ = 0;
    fast_left_ = rate_ / 2;
}

float Leveler::target_gain(const BlockConstants& k) const {
    const float wanted = from_db(cfg_.target_db - in_db);
    return wanted < k.min_gain ? k.min_gain : std::min(wanted, k.max_gain);
}

// Frames of the next chunk: it ends before the frame that completes an input window (that
// frame already follows the new level, so it opens the next chunk), with an output window,
// when the medium time constant runs out, and where the delay line wraps, so that it reads
// only slots written before it. An output window that a lower rate has left longer than its
// new length ends with the next frame.
int Leveler::chunk_frames(int left) const {
    const int to_window = window_frames_ - in_count_;  // the frame that completes it: to_window - 1
    int n = std::min({left, kChunk, delay_len_ - static_cast<int>(delay_pos_),
                      to_window > 1 ? to_window - 1 : window_frames_,
                      std::max(1, window_frames_ - out_count_)});
    if (fast_left_ > 0) n = std::min(n, fast_left_);
    return n;
}

// The level-matching gain over the next `frames` frames. Within a chunk the goal and the time
// constant stay the same (the gain approaches its goal without crossing it), so the gain
// n frames on is goal + (gain - goal) × k^n: the same value as n steps of the recurrence up to
// the rounding of the last bits, and no chain of dependent steps.
sample_kernels::Glide Leveler::level_glide(const BlockConstants& k, int frames) {
    float goal = gain_;
    Speed speed = kHold;  // near silence the gain holds
    if (!cfg_.on) {
        goal = 1.0f;
        speed = 1.0f < gain_ ? kFast : kSlow;
    } else if (in_db > kSilenceDb) {
        goal = k.target;
        speed = k.target < gain_ ? kFast : kSlow;
    }
    if (fast_left_ > 0) {
        fast_left_ -= frames;
        speed = kMedium;
    }
    if (goal == gain_) return {0.0f, gain_, coef_pow_[kFast].data()};
    const float gap = gain_ - goal;
    const float* power = coef_pow_[speed].data();
    gain_ = gap * power[frames - 1] + goal;
    return {gap, goal, power};
}

// Turns the level-matching gains into the total gains, with the limiter and the volume.
//
// Limiter: instant attack on the incoming frame's peak; the release waits until that peak has
// left the delay line, so the look-ahead really lowers the gain before the peak is heard. The
// frame leaving now is checked as well: the level-matching gain may have risen since it came in.
// While no sample coming in or leaving comes near the ceiling, the limiter's course does not
// depend on the samples and the chunk is done as a whole, its release in closed form like the
// level-matching gain; with both gains at rest it is one gain for the whole chunk.
void Leveler::limit(const BlockConstants& k, const sample_kernels::Glide& level, const short* in,
                    const short* slot, Chunk& c, float volume) {
    const int n = c.frames;
    const float top = std::max(level.gap * level.power[0] + level.goal,
                               level.gap * level.power[n - 1] + level.goal);
    const bool quiet = c.in_peak * top <= k.ceiling && leaving_peak_ * top <= k.ceiling;
    const float* release = coef_pow_[kFast].data();
    float lg = limit_gain_;
    c.uniform = false;
    if (quiet) {
        // Held while the last peak is in the line, then released toward 1 in closed form.
        const int held = 1.0f <= lg ? n : std::min(hold_left_, n);
        const sample_kernels::Glide hold{0.0f, lg, release};
        if (held == n && level.gap == 0.0f) {
            c.uniform = true;
            c.gain[0] = level.goal * lg * volume;
        } else {
            sample_kernels::gains(c.gain, static_cast<size_t>(held), level, hold, volume);
            const sample_kernels::Glide rest{level.gap, level.goal, level.power + held};
            sample_kernels::gains(c.gain + held, static_cast<size_t>(n - held), rest,
                                  {lg - 1.0f, 1.0f, release}, volume);
        }
        if (held < n) lg = (lg - 1.0f) * release[n - held - 1] + 1.0f;
        hold_left_ = 1.0f <= lg ? delay_len_ : hold_left_ - held;
        limit_gain_ = lg;
        return;
    }
    sample_kernels::gains(c.gain, static_cast<size_t>(n), level, {0.0f, 1.0f, release}, 1.0f);
    for (int i = 0; i < n; ++i) {
        const float gain = c.gain[i];
        const float q = frame_peak(in + static_cast<size_t>(i) * channels_, channels_) * gain;
        const float target = q > k.ceiling ? k.ceiling / q : 1.0f;
        if (target <= lg) {
            lg = target;
            hold_left_ = delay_len_;
        } else if (hold_left_ > 0) {
            --hold_left_;
        } else {
            lg = (lg - target) * coef_[kFast] + target;
        }
        const float level_now = frame_peak(slot + static_cast<size_t>(i) * channels_, channels_) * gain;
        if (level_now * lg > k.ceiling) lg = k.ceiling / level_now;
        c.gain[i] = gain * lg * volume;
    }
    limit_gain_ = lg;
}

// Output window: chunks end with it, so a chunk's sum belongs to one window.
void Leveler::measure_out(double sum, int frames) {
    out_sum_ += sum / channels_;
    out_count_ += frames;
    if (out_count_ >= window_frames_) {
        out_db = window_db(out_sum_, out_count_);
        out_sum_ = 0;
        out_count_ = 0;
    }
}

float Leveler::process(short* pcm, int frames, float volume) {
    if (frames <= 0) return volume;
    BlockConstants k{from_db(cfg_.ceiling_db) * 32767.0f, from_db(cfg_.min_gain_db),
                     from_db(cfg_.max_gain_db), 0.0f};
    k.target = target_gain(k);
    int block_peak = 0;
    Chunk c;
    for (int done = 0; done < frames; done += c.frames) {
        c.frames = chunk_frames(frames - done);
        short* in = pcm + static_cast<size_t>(done) * channels_;
        short* slot = delay_.data() + delay_pos_ * channels_;
        // The frame that completes an input window is measured first: it already follows
        // the new level.
        int measured = 0;
        c.in_peak = 0;
        if (in_count_ == window_frames_ - 1) {
            const sample_kernels::Stats first = sample_kernels::measure(in, channels_);
            c.in_peak = first.peak;
            in_db =
                window_db(static_cast<double>(in_sum_ + first.sumsq) / channels_, window_frames_);
            in_sum_ = 0;
            in_count_ = 0;
            k.target = target_gain(k);
            measured = 1;
        }
        const sample_kernels::Stats rest =
            sample_kernels::measure(in + static_cast<size_t>(measured) * channels_,
                                    static_cast<size_t>(c.frames - measured) * channels_);
        c.in_peak = std::max(c.in_peak, rest.peak);
        in_sum_ += rest.sumsq;
        in_count_ += c.frames - measured;
        block_peak = std::max(block_peak, c.in_peak);

        limit(k, level_glide(k, c.frames), in, slot, c, volume);
        const size_t n = static_cast<size_t>(c.frames);
        measure_out(c.uniform ? sample_kernels::apply_uniform(slot, in, c.gain[0], n * channels_)
                              : sample_kernels::apply(slot, in, c.gain, n, channels_),
                    c.frames);
        written_peak_ = std::max(written_peak_, c.in_peak);
        delay_pos_ += static_cast<size_t>(c.frames);
        if (delay_pos_ == static_cast<size_t>(delay_len_)) {
            delay_pos_ = 0;
            leaving_peak_ = written_peak_;
            written_peak_ = 0;
        }
    }
    gain_db = to_db(gain_ * limit_gain_);
    peak_db = to_db(block_peak / 32768.0);
    return peak_db;
}
