#include "playback/sample_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// Each test runs twice: with the loops the processor's best form picks, and with the plain
// loops that serve where AVX2 is missing.
class SampleKernels : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { sample_kernels::plain_loops_only(GetParam()); }
    void TearDown() override { sample_kernels::plain_loops_only(false); }
};

INSTANTIATE_TEST_SUITE_P(BothForms, SampleKernels, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "Plain" : "Best");
                         });

// Every length up to 70 samples (vector bodies and their tails), with the extremes planted:
// -32768 must count 32768, and runs of it must not overflow the sums.
TEST_P(SampleKernels, MeasuresMatchTheirDefinition) {
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

// The delay swap, saturation with truncation toward zero, and the sum of squares of the
// saturated values, for every channel count the leveler takes a separate path for, with one
// gain per frame and with one for all.
TEST_P(SampleKernels, ApplySwapsSaturatesAndMeasures) {
    const std::vector<short> in_values = {0, 1, -1, 1000, -1000, 32767, -32768, 20000, -20000};
    const float gains[] = {0.5f, 1.0f, 1.7f, 3.0f};
    for (int channels : {1, 2, 3, 6}) {
        for (bool uniform : {false, true}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, uniform " << uniform);
            const size_t frames = 67;
            std::vector<short> slot(frames * channels), pcm(frames * channels);
            std::vector<float> gain(frames);
            for (size_t i = 0; i < slot.size(); ++i) {
                slot[i] = in_values[i % in_values.size()];
                pcm[i] = static_cast<short>(i);
            }
            for (size_t f = 0; f < frames; ++f) gain[f] = uniform ? 1.7f : gains[f % 4];
            const std::vector<short> old_slot = slot, old_pcm = pcm;
            const double got =
                uniform ? sample_kernels::apply_uniform(slot.data(), pcm.data(), 1.7f, slot.size())
                        : sample_kernels::apply(slot.data(), pcm.data(), gain.data(), frames,
                                                channels);
            EXPECT_EQ(old_pcm, slot);
            double sum = 0;
            for (size_t i = 0; i < slot.size(); ++i) {
                const float y =
                    std::min(std::max(old_slot[i] * gain[i / channels], -32768.0f), 32767.0f);
                ASSERT_EQ(static_cast<short>(y), pcm[i]) << "sample " << i;
                sum += static_cast<double>(y) * y;
            }
            EXPECT_NEAR(sum, got, sum * 1e-6);
        }
    }
}

// Two glides and the volume, frame by frame, against the formula; a gap of 0 holds exactly.
TEST_P(SampleKernels, GainsFollowBothGlides) {
    std::vector<float> power(70);
    for (size_t i = 0; i < power.size(); ++i) power[i] = 1.0f / static_cast<float>(i + 2);
    const sample_kernels::Glide cases[][2] = {
        {{0.0f, 0.8f, power.data()}, {0.0f, 0.5f, power.data()}},
        {{-0.3f, 1.2f, power.data()}, {0.0f, 1.0f, power.data()}},
        {{0.4f, 0.9f, power.data() + 3}, {-0.25f, 1.0f, power.data()}},
    };
    for (const auto& c : cases)
        for (size_t n : {size_t{1}, size_t{8}, size_t{67}}) {
            std::vector<float> out(n);
            sample_kernels::gains(out.data(), n, c[0], c[1], 0.7f);
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ((c[0].gap * c[0].power[i] + c[0].goal) *
                              (c[1].gap * c[1].power[i] + c[1].goal) * 0.7f,
                          out[i])
                    << i;
            }
            if (c[0].gap == 0.0f && c[1].gap == 0.0f) {
                EXPECT_EQ(c[0].goal * c[1].goal * 0.7f, out[n - 1]);
            }
        }
}

}  // namespace
