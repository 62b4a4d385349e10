// Brings every recording toward one target level under a peak ceiling.
// No lock of its own: the player calls every member with its mutex held, `process` from the
// decode thread. `process` allocates nothing; the delay line is sized by `prepare`.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/level_config.h"
#include "playback/sample_kernels.h"

class Leveler {
public:
    using Config = LevelConfig;

    Leveler();

    // A change of anything but min_gain_db lets the gain follow faster for a quarter second.
    void configure(const Config& config);
    Config config() const { return cfg_; }
    // Sets up for a stream format; restarts the input window only.
    void prepare(int rate, int channels);
    // Clears the look-ahead (the first delay_len() frames out are silence) and lets the gain
    // follow faster for half a second. After prepare for every track and after every seek.
    void new_track();
    // Levels `frames` interleaved frames in place, applies `volume` (0..1) and clips to 16 bits.
    // Returns the block's input peak in dBFS; with no frames, returns `volume` unchanged.
    float process(short* pcm, int frames, float volume);
    int delay_len() const { return delay_len_; }

    // Read-outs, dBFS (gain_db in dB): RMS of the last complete input and output windows,
    // the last block's input peak, the total gain after it (level matching × limiter).
    float in_db = -60.0f;
    float out_db = -60.0f;
    float peak_db = -60.0f;
    float gain_db = 0.0f;

    // Frames handled as one piece: the gain follows a closed form within it, and the limiter
    // works on it as a whole while no peak comes near the ceiling.
    static constexpr int kChunk = 256;

private:
    struct BlockConstants;
    struct Chunk;
    float target_gain(const BlockConstants& k) const;
    int chunk_frames(int left) const;
    sample_kernels::Glide level_glide(const BlockConstants& k, int frames);
    void limit(const BlockConstants& k, const sample_kernels::Glide& level, const short* in,
               const short* slot, Chunk& c, float volume);
    void measure_out(double sum, int frames);

    Config cfg_;
    int rate_ = 48000;
    int channels_ = 2;
    int window_frames_ = 0;
    // Running measures, carried across blocks; power in squared sample units.
    int64_t in_sum_ = 0;
    int in_count_ = 0;
    double out_sum_ = 0;
    int out_count_ = 0;
    float gain_ = 1.0f;   // smoothed level-matching gain, linear
    int fast_left_ = 0;   // frames that still follow with the medium time constant
    // Look-ahead limiter: the output is the input of delay_len_ frames ago.
    std::vector<short> delay_;
    size_t delay_pos_ = 0;
    int delay_len_ = 0;
    float limit_gain_ = 1.0f;
    int hold_left_ = 0;   // frames before the limiter may release: until the peak has left the line
    // Largest input sample written into the line in this pass over it, and in the pass before:
    // every slot read in this pass was written in the one before, so that bounds what leaves.
    int written_peak_ = 0;
    int leaving_peak_ = 0;
    // Smoothing coefficients for rate_ (fast, slow, medium) and their powers k^1 .. k^kChunk,
    // so that the gain n frames on is one product away.
    int coef_rate_ = 0;
    std::array<float, 3> coef_{};
    std::array<std::array<float, kChunk>, 3> coef_pow_{};
};
