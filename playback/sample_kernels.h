// Per-block loops over 16-bit PCM that the leveler and the output meter share, written on
// vectors of 8 and 16 lanes; where AVX2 pays, one binary picks it at run time.
// Pure functions of their arguments, callable from any thread; they allocate nothing.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sample_kernels {

// Largest |sample| (-32768 counts 32768) and exact sum of squares of `count` samples.
struct Stats {
    int peak = 0;
    int64_t sumsq = 0;
};
Stats measure(const short* pcm, size_t count);
// The two channels of `frames` stereo frames apart.
void measure_stereo(const short* pcm, size_t frames, Stats out[2]);

// A gain that moves toward `goal`: gap × power[i] + goal at frame i. A gap of 0 holds the goal
// exactly; `power` must still point at `frames` values.
struct Glide {
    float gap;
    float goal;
    const float* power;
};
// out[i] = a(i) × b(i) × volume for `frames` frames.
void gains(float* out, size_t frames, const Glide& a, const Glide& b, float volume);

// Delay and apply for `frames` frames of `channels` samples: out = clip(slot × gain), then the
// input takes the slot's place. Clipping saturates to 16 bits and truncates toward zero.
// Returns the sum of the squared clipped outputs before truncation, in squared sample units
// (rounded as a float sum). `slot` and `pcm` must not overlap.
double apply(short* slot, short* pcm, const float* gain, size_t frames, int channels);
// The same with one gain for every sample of `count` samples.
double apply_uniform(short* slot, short* pcm, float gain, size_t count);

// For tests: true runs the plain loops even where the processor has AVX2. Not while another
// thread uses the kernels.
void plain_loops_only(bool on);

}  // namespace sample_kernels
