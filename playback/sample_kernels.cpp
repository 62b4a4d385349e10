#include "playback/sample_kernels.h"

#include <algorithm>

// Each loop is a plain pass over arrays with no early exit and no carried floating-point sum,
// so the compiler vectorises it (this file is built with -O3). On x86-64 an AVX2 copy of each
// entry point is chosen at load time where the processor has it; the default is SSE2. Under
// ThreadSanitizer, whose runtime is not ready when the loader picks the copy, only the default.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define QM_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define QM_KERNEL
#endif
#define QM_INLINE inline __attribute__((always_inline))

namespace sample_kernels {
namespace {

QM_INLINE int abs_peak(short lo, short hi) { return std::max<int>(hi, -static_cast<int>(lo)); }

}  // namespace

QM_KERNEL Stats measure(const short* pcm, size_t count) {
    short lo = 0, hi = 0;
    int64_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const short v = pcm[i];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v * v;
    }
    return Stats{abs_peak(lo, hi), sum};
}

QM_KERNEL int peak(const short* pcm, size_t count) {
    short lo = 0, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        lo = std::min(lo, pcm[i]);
        hi = std::max(hi, pcm[i]);
    }
    return abs_peak(lo, hi);
}

QM_KERNEL void measure_stereo(const short* pcm, size_t frames, Stats out[2]) {
    short lo0 = 0, hi0 = 0, lo1 = 0, hi1 = 0;
    int64_t sum0 = 0, sum1 = 0;
    for (size_t f = 0; f < frames; ++f) {
        const short l = pcm[2 * f], r = pcm[2 * f + 1];
        lo0 = std::min(lo0, l);
        hi0 = std::max(hi0, l);
        lo1 = std::min(lo1, r);
        hi1 = std::max(hi1, r);
        sum0 += l * l;
        sum1 += r * r;
    }
    out[0] = Stats{abs_peak(lo0, hi0), sum0};
    out[1] = Stats{abs_peak(lo1, hi1), sum1};
}

namespace {

// One sample through the gain: saturated, so that its power and its truncation agree.
QM_INLINE float gained(short sample, float gain) {
    return std::min(std::max(sample * gain, -32768.0f), 32767.0f);
}

// Any channel count, frame by frame.
QM_INLINE void apply_frames(short* slot, short* pcm, const float* gain, size_t frames,
                            size_t channels, double* power) {
    for (size_t f = 0; f < frames; ++f) {
        double sum = 0;
        for (size_t c = 0; c < channels; ++c) {
            const size_t i = f * channels + c;
            const float y = gained(slot[i], gain[f]);
            sum += static_cast<double>(y) * y;
            slot[i] = pcm[i];
            pcm[i] = static_cast<short>(y);
        }
        power[f] = sum / static_cast<double>(channels);
    }
}

// One or two channels, in runs of three passes that each vectorise: gain, then delay and
// truncation, then power. The sums come out as in apply_frames, bit for bit.
template <size_t C>
QM_INLINE void apply_runs(short* slot, short* pcm, const float* gain, size_t frames,
                          double* power) {
    constexpr size_t kRun = 64;
    float y[kRun * C];
    for (size_t first = 0; first < frames; first += kRun) {
        const size_t m = std::min(kRun, frames - first);
        short* s = slot + first * C;
        short* p = pcm + first * C;
        for (size_t f = 0; f < m; ++f)
            for (size_t c = 0; c < C; ++c) y[f * C + c] = gained(s[f * C + c], gain[first + f]);
        for (size_t i = 0; i < m * C; ++i) {
            s[i] = p[i];
            p[i] = static_cast<short>(y[i]);
        }
        for (size_t f = 0; f < m; ++f) {
            double sum = 0;
            for (size_t c = 0; c < C; ++c) sum += static_cast<double>(y[f * C + c]) * y[f * C + c];
            power[first + f] = sum / static_cast<double>(C);
        }
    }
}

}  // namespace

QM_KERNEL void apply(short* slot, short* pcm, const float* gain, size_t frames, int channels,
                     double* power) {
    switch (channels) {
    case 1: apply_runs<1>(slot, pcm, gain, frames, power); break;
    case 2: apply_runs<2>(slot, pcm, gain, frames, power); break;
    default: apply_frames(slot, pcm, gain, frames, static_cast<size_t>(channels), power); break;
    }
}

}  // namespace sample_kernels
