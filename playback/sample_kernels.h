// Per-block loops over 16-bit PCM that the leveler and the output meter share, written so that
// the compiler vectorises them; where AVX2 pays, one binary picks it at run time.
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
// Largest |sample| only.
int peak(const short* pcm, size_t count);
// The two channels of `frames` stereo frames apart.
void measure_stereo(const short* pcm, size_t frames, Stats out[2]);

// Delay and apply for `frames` frames of `channels` samples: out = clip(slot × gain[frame]),
// then the input takes the slot's place. Clipping saturates to 16 bits and truncates toward
// zero. power[frame] receives the frame's mean square of the clipped output before truncation,
// in squared sample units. `slot` and `pcm` must not overlap.
void apply(short* slot, short* pcm, const float* gain, size_t frames, int channels, double* power);

}  // namespace sample_kernels
