#include "playback/sample_kernels.h"

#include <algorithm>

// Two forms of each loop. The plain loops below are written so that the compiler vectorises
// them for any target (this file is built with -O3): they do the whole work where AVX2 is
// missing, and the last few samples after the AVX2 runs. On x86-64 with AVX2, whole runs of
// 16 samples go through the intrinsics further down, chosen once at run time, so one binary
// runs everywhere. Neither form contracts to fused multiply-adds: both give the same samples
// and gains, and differ only in how the output's power sum is rounded.
#define QM_INLINE inline __attribute__((always_inline))

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QM_AVX2 1
#endif

namespace sample_kernels {
namespace {

bool g_plain = false;  // set by tests only

QM_INLINE int abs_peak(int lo, int hi) { return std::max(hi, -lo); }

// Samples [from, count) into `s`.
QM_INLINE void measure_loop(const short* pcm, size_t from, size_t count, Stats& s) {
    short lo = 0, hi = 0;
    int64_t sum = 0;
    for (size_t i = from; i < count; ++i) {
        const short v = pcm[i];
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v * v;
    }
    s.peak = std::max(s.peak, abs_peak(lo, hi));
    s.sumsq += sum;
}

// Stereo frames [from, frames) into out[0] and out[1].
QM_INLINE void measure_stereo_loop(const short* pcm, size_t from, size_t frames, Stats out[2]) {
    short lo0 = 0, hi0 = 0, lo1 = 0, hi1 = 0;
    int64_t sum0 = 0, sum1 = 0;
    for (size_t f = from; f < frames; ++f) {
        const short l = pcm[2 * f], r = pcm[2 * f + 1];
        lo0 = std::min(lo0, l);
        hi0 = std::max(hi0, l);
        lo1 = std::min(lo1, r);
        hi1 = std::max(hi1, r);
        sum0 += l * l;
        sum1 += r * r;
    }
    out[0].peak = std::max(out[0].peak, abs_peak(lo0, hi0));
    out[1].peak = std::max(out[1].peak, abs_peak(lo1, hi1));
    out[0].sumsq += sum0;
    out[1].sumsq += sum1;
}

QM_INLINE void gains_loop(float* __restrict out, size_t frames, const Glide& a, const Glide& b,
                          float volume) {
    const Glide x = a, y = b;
    for (size_t i = 0; i < frames; ++i)
        out[i] = (x.gap * x.power[i] + x.goal) * (y.gap * y.power[i] + y.goal) * volume;
}

// Samples [from, count), sample i with gain[i / per] (gain[0] for all when per is 0): the
// slot's sample out, saturated so that its power and its truncation agree, and the input into
// the slot. Inlined, a constant `per` makes the division a shift.
QM_INLINE double apply_loop(short* slot, short* pcm, const float* gain, size_t per, size_t from,
                            size_t count) {
    double sum = 0;
    for (size_t i = from; i < count; ++i) {
        const float g = gain[per == 0 ? 0 : i / per];
        const float y = std::min(std::max(slot[i] * g, -32768.0f), 32767.0f);
        sum += static_cast<double>(y) * y;
        slot[i] = pcm[i];
        pcm[i] = static_cast<short>(y);
    }
    return sum;
}

#ifdef QM_AVX2
bool has_avx2() {
    static const bool yes = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return yes && !g_plain;
}

#pragma GCC push_options
#pragma GCC target("avx2")

// The largest |sample| of the lanes that `keep` selects, from running minima and maxima that
// started at 0. |lo| is read unsigned, so that -32768 counts 32768; the largest of eight is
// found as the smallest of their complements.
QM_INLINE int lane_peak(__m256i lo, __m256i hi, __m256i keep) {
    const __m256i m = _mm256_and_si256(_mm256_max_epu16(_mm256_abs_epi16(lo), hi), keep);
    const __m128i h = _mm_max_epu16(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    return 0xFFFF - _mm_extract_epi16(_mm_minpos_epu16(_mm_xor_si128(h, _mm_set1_epi32(-1))), 0);
}

QM_INLINE int64_t lane_sum(__m256i sums) {
    const __m128i h = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return _mm_cvtsi128_si64(h) + _mm_extract_epi64(h, 1);
}

// Eight samples zero-extended to sixteen, for the last run: zeros change no extreme and no sum.
QM_INLINE __m256i load8(const short* p) {
    return _mm256_zextsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

QM_INLINE __m256i load16(const short* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Runs of 16 samples, then one of 8. vpmaddwd sums the squares of two neighbours into 32 bits:
// at most 2^31, so read unsigned and widened to 64 bits before it is added. Stereo is first
// sorted within each 128-bit half into four left samples and four right ones, so that the
// 32-bit sums come out as left, left, right, right and the 64-bit ones as left or right.
// Returns the samples taken.
template <bool kStereo>
size_t measure_runs(const short* pcm, size_t count, Stats out[2]) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i split = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15,
                                           0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    __m256i lo = zero, hi = zero, first = zero, second = zero;
    auto take = [&](__m256i v) {
        if (kStereo) v = _mm256_shuffle_epi8(v, split);
        lo = _mm256_min_epi16(lo, v);
        hi = _mm256_max_epi16(hi, v);
        const __m256i sq = _mm256_madd_epi16(v, v);
        first = _mm256_add_epi64(first, _mm256_unpacklo_epi32(sq, zero));
        second = _mm256_add_epi64(second, _mm256_unpackhi_epi32(sq, zero));
    };
    size_t i = 0;
    for (; i + 16 <= count; i += 16) take(load16(pcm + i));
    if (i + 8 <= count) {
        take(load8(pcm + i));
        i += 8;
    }
    if (kStereo) {
        const __m256i left = _mm256_setr_epi64x(-1, 0, -1, 0);
        out[0].peak = std::max(out[0].peak, lane_peak(lo, hi, left));
        out[1].peak = std::max(out[1].peak, lane_peak(lo, hi, _mm256_xor_si256(left, _mm256_set1_epi32(-1))));
        out[0].sumsq += lane_sum(first);
        out[1].sumsq += lane_sum(second);
    } else {
        out[0].peak = std::max(out[0].peak, lane_peak(lo, hi, _mm256_set1_epi32(-1)));
        out[0].sumsq += lane_sum(first) + lane_sum(second);
    }
    return i;
}

void gains_avx2(float* out, size_t frames, const Glide& a, const Glide& b, float volume) {
    gains_loop(out, frames, a, b, volume);
}

QM_INLINE __m256 clip8(__m256 y) {
    return _mm256_min_ps(_mm256_max_ps(y, _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f));
}

QM_INLINE __m256 floats8(const short* p) {
    return _mm256_cvtepi32_ps(
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}

// 16 samples through their gains (g0 for the first eight, g1 for the rest): the slot's sample
// out, the input into the slot.
QM_INLINE void put16(short* slot, short* pcm, __m256 g0, __m256 g1, __m256& power) {
    const __m256 y0 = clip8(_mm256_mul_ps(floats8(slot), g0));
    const __m256 y1 = clip8(_mm256_mul_ps(floats8(slot + 8), g1));
    power = _mm256_add_ps(power, _mm256_add_ps(_mm256_mul_ps(y0, y0), _mm256_mul_ps(y1, y1)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(slot), load16(pcm));
    // Packing works per 128-bit half; the permute puts the quarters back in order.
    const __m256i packed = _mm256_packs_epi32(_mm256_cvttps_epi32(y0), _mm256_cvttps_epi32(y1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm), _mm256_permute4x64_epi64(packed, 0xD8));
}

// The same for 8 samples.
QM_INLINE void put8(short* slot, short* pcm, __m256 g, __m256& power) {
    const __m256 y = clip8(_mm256_mul_ps(floats8(slot), g));
    power = _mm256_add_ps(power, _mm256_mul_ps(y, y));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(slot),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(pcm)));
    const __m256i t = _mm256_cvttps_epi32(y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm),
                     _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1)));
}

enum GainLayout { kUniform, kMono, kStereo };

// Runs of 16 samples, then one of 8, with one gain for all (`gain` points at it), one per
// sample or one per stereo frame. Returns the samples taken; their power is added to `sum`.
template <GainLayout kLayout>
size_t apply_runs(short* slot, short* pcm, const float* gain, size_t count, double& sum) {
    const __m256i pairs = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256 all = _mm256_set1_ps(*gain);
    auto gains8 = [&](size_t i) {  // the gains of samples i .. i + 7
        if constexpr (kLayout == kUniform) return all;
        if constexpr (kLayout == kMono) return _mm256_loadu_ps(gain + i);
        return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(gain + i / 2)), pairs);
    };
    __m256 power = _mm256_setzero_ps();
    size_t i = 0;
    for (; i + 16 <= count; i += 16) put16(slot + i, pcm + i, gains8(i), gains8(i + 8), power);
    if (i + 8 <= count) {
        put8(slot + i, pcm + i, gains8(i), power);
        i += 8;
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, power);
    for (float lane : lanes) sum += lane;
    return i;
}

#pragma GCC pop_options
#else
bool has_avx2() { return false; }
template <bool kStereo>
size_t measure_runs(const short*, size_t, Stats*) { return 0; }
void gains_avx2(float*, size_t, const Glide&, const Glide&, float) {}
enum GainLayout { kUniform, kMono, kStereo };
template <GainLayout kLayout>
size_t apply_runs(short*, short*, const float*, size_t, double&) { return 0; }
#endif

}  // namespace

void plain_loops_only(bool on) { g_plain = on; }

Stats measure(const short* pcm, size_t count) {
    Stats s[1];
    const size_t done = has_avx2() ? measure_runs<false>(pcm, count, s) : 0;
    measure_loop(pcm, done, count, s[0]);
    return s[0];
}

void measure_stereo(const short* pcm, size_t frames, Stats out[2]) {
    out[0] = out[1] = Stats{};
    const size_t done = has_avx2() ? measure_runs<true>(pcm, frames * 2, out) : 0;
    measure_stereo_loop(pcm, done / 2, frames, out);
}

void gains(float* out, size_t frames, const Glide& a, const Glide& b, float volume) {
    if (has_avx2())
        gains_avx2(out, frames, a, b, volume);
    else
        gains_loop(out, frames, a, b, volume);
}

double apply(short* slot, short* pcm, const float* gain, size_t frames, int channels) {
    const size_t c = static_cast<size_t>(channels), count = frames * c;
    double sum = 0;
    const bool avx2 = has_avx2();
    switch (channels) {
    case 1: {
        const size_t done = avx2 ? apply_runs<kMono>(slot, pcm, gain, count, sum) : 0;
        return sum + apply_loop(slot, pcm, gain, 1, done, count);
    }
    case 2: {
        const size_t done = avx2 ? apply_runs<kStereo>(slot, pcm, gain, count, sum) : 0;
        return sum + apply_loop(slot, pcm, gain, 2, done, count);
    }
    default: return apply_loop(slot, pcm, gain, c, 0, count);
    }
}

double apply_uniform(short* slot, short* pcm, float gain, size_t count) {
    double sum = 0;
    const size_t done = has_avx2() ? apply_runs<kUniform>(slot, pcm, &gain, count, sum) : 0;
    return sum + apply_loop(slot, pcm, &gain, 0, done, count);
}

}  // namespace sample_kernels
