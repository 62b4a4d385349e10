#include "playback/sample_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// Every length up to 70 samples (vector bodies and their tails), with the extremes planted:
// -32768 must count 32768, and runs of it must not overflow the sums.
TEST(SampleKernels, MeasuresMatchTheirDefinition) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (int fill : {0, -32768, 32767, 1}) {
        for (size_t n = 0; n <= 70; ++n) {
            SCOPED_TRACE(testing::Message() << "fill " << fill << ", " << n << " samples");
            std::vector<short> pcm(n);
            for (short& s : pcm) s = static_cast<short>(fill == 1 ? any(gen) : fill);
            sample_kernels::Stats want[3];  // all, even, odd samples
            for (size_t i = 0; i < n; ++i)
                for (int w : {0, 1 + static_cast<int>(i % 2)}) {
                    want[w].peak = std::max(want[w].peak, std::abs(static_cast<int>(pcm[i])));
                    want[w].sumsq += static_cast<int64_t>(pcm[i]) * pcm[i];
                }
            const sample_kernels::Stats all = sample_kernels::measure(pcm.data(), n);
            EXPECT_EQ(want[0].peak, all.peak);
            EXPECT_EQ(want[0].sumsq, all.sumsq);
            EXPECT_EQ(want[0].peak, sample_kernels::peak(pcm.data(), n));
            sample_kernels::Stats lr[2];
            sample_kernels::measure_stereo(pcm.data(), n / 2, lr);
            if (n % 2 == 0)
                for (int c = 0; c < 2; ++c) {
                    EXPECT_EQ(want[1 + c].peak, lr[c].peak) << c;
                    EXPECT_EQ(want[1 + c].sumsq, lr[c].sumsq) << c;
                }
        }
    }
}

// The delay swap, saturation with truncation toward zero, and the frame's mean square of the
// saturated value, for every channel count the leveler takes a separate path for.
TEST(SampleKernels, ApplySwapsSaturatesAndMeasures) {
    const std::vector<short> in_values = {0, 1, -1, 1000, -1000, 32767, -32768, 20000, -20000};
    const float gains[] = {0.5f, 1.0f, 1.7f, 3.0f};
    for (int channels : {1, 2, 3, 6}) {
        SCOPED_TRACE(channels);
        const size_t frames = 67;
        std::vector<short> slot(frames * channels), pcm(frames * channels);
        std::vector<float> gain(frames);
        for (size_t i = 0; i < slot.size(); ++i) {
            slot[i] = in_values[i % in_values.size()];
            pcm[i] = static_cast<short>(i);
        }
        for (size_t f = 0; f < frames; ++f) gain[f] = gains[f % 4];
        const std::vector<short> old_slot = slot, old_pcm = pcm;
        std::vector<double> power(frames);
        sample_kernels::apply(slot.data(), pcm.data(), gain.data(), frames, channels, power.data());
        EXPECT_EQ(old_pcm, slot);
        for (size_t f = 0; f < frames; ++f) {
            double sum = 0;
            for (int c = 0; c < channels; ++c) {
                const size_t i = f * channels + c;
                const float y = std::min(std::max(old_slot[i] * gain[f], -32768.0f), 32767.0f);
                ASSERT_EQ(static_cast<short>(y), pcm[i]) << "sample " << i;
                sum += static_cast<double>(y) * y;
            }
            ASSERT_DOUBLE_EQ(sum / channels, power[f]) << "frame " << f;
        }
    }
}

}  // namespace
