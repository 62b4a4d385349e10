#include "gui/meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "canvas.h"
#include "gui/theme.h"

namespace {

using testsupport::Canvas;
using GfxTest = testsupport::GfxTest;

// One measurement, the same on both channels, given `times` times.
struct Step {
    float peak, rms;
    bool fresh;
    float dt;
    int times;
};

TEST(Meter, Ballistics) {
    const Step loud = {1, 1, true, 0.1f, 1};           // 0 dB, which also clips
    const Step quiet = {0.1f, 0.01f, true, 0.25f, 1};  // peak -20 dB, rms -40 dB
    auto silence = [](float dt, int times) { return Step{0, 0, true, dt, times}; };
    struct {
        const char* what;
        std::vector<Step> steps;
        float level, hold, hold_time, clip_time, last_peak;
    } cases[] = {
        {"rises at once", {loud}, 0, 0, 1.2f, 1.9f, 0},
        {"level falls 26 dB/s", {quiet, silence(0.25f, 2)}, -53, -20, 0.7f, 0, -60},
        {"to the floor, hold kept", {quiet, silence(0.25f, 5)}, -60, -20, -0.05f, 0, -60},
        {"then hold falls 14 dB/s", {quiet, silence(0.25f, 6)}, -60, -23.5f, -0.05f, 0, -60},
        {"hold stops at the peak", {quiet, {0.05f, 0, true, 0.5f, 10}}, -60, -26.02f, 1.2f, 0,
         -26.02f},
        {"dt of 3 s counts as 0.5 s", {loud, silence(3, 1)}, -13, 0, 0.7f, 1.4f, -60},
        {"negative dt counts as 0", {loud, silence(-1, 1)}, 0, 0, 1.2f, 1.9f, -60},
        {"0.993 does not clip", {{0.993f, 0.5f, true, 0.1f, 1}}, -6.02f, -0.06f, 1.2f, 0, -0.06f},
        {"0.994 clips for 2 s", {{0.994f, 0.5f, true, 0.1f, 1}}, -6.02f, -0.05f, 1.2f, 1.9f, -0.05f},
        {"clip over after 2 s", {loud, silence(0.5f, 4)}, -52, -7, -0.3f, -0.1f, -60},
        {"2.0 is limited to +6 dB", {{2, 2, true, 0.1f, 1}}, 6, 6, 1.2f, 1.9f, 6},
        {"not fresh is silence", {loud, {1, 1, false, 0.1f, 1}}, -2.6f, 0, 1.1f, 1.8f, -60},
    };
    for (const auto& c : cases) {
        meter::State s;
        for (const Step& step : c.steps) {
            const float peak[2] = {step.peak, step.peak}, rms[2] = {step.rms, step.rms};
            for (int i = 0; i < step.times; ++i) meter::update(s, peak, rms, step.fresh, step.dt);
        }
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_NEAR(s.level[ch], c.level, 0.01) << c.what;
            EXPECT_NEAR(s.hold[ch], c.hold, 0.01) << c.what;
            EXPECT_NEAR(s.hold_time[ch], c.hold_time, 1e-4) << c.what;
            EXPECT_NEAR(s.last_peak[ch], c.last_peak, 0.01) << c.what;
        }
        EXPECT_NEAR(s.clip_time, c.clip_time, 1e-4) << c.what;
    }
    meter::State s;  // channels apart
    const float peak[2] = {1, 0}, rms[2] = {0.5f, 0};
    meter::update(s, peak, rms, true, 0.1f);
    EXPECT_TRUE(std::abs(s.level[0] + 6.02f) < 0.01f && s.level[1] == -60 && s.hold[1] == -60);
}

// The left bar of a meter at (10, 10), 100 × scale high: its row and segment i's centre.
struct Geometry {
    float w, scale;
    int n;
    int row_y() const { return int(10 + 22 * scale + (100 * scale - 41 * scale) / 4); }
    int centre(int i) const {
        return int(10 + 14 * scale + i * (w - 19 * scale) / (n - 1) + 2.5f * scale);
    }
};

TEST_F(GfxTest, MeterHasOneSegmentPer7PixelsAndAtLeast8) {
    for (const Geometry g : {Geometry{200, 1, 26}, {100, 1, 12}, {61, 1, 8}, {400, 2, 26}}) {
        Canvas canvas(int(g.w) + 20, int(100 * g.scale) + 20);
        meter::draw({10, 10, g.w, 100 * g.scale}, meter::State{}, g.scale, "Pegel");
        int runs = 0;
        for (int x = int(10 + 14 * g.scale), in = 0; x < 10 + g.w; ++x) {
            const int segment = canvas.at(x, g.row_y()) != theme::colors()[14];
            runs += segment && !in;
            in = segment;
        }
        EXPECT_EQ(runs, g.n) << "width " << g.w << " scale " << g.scale;
    }
}

TEST_F(GfxTest, MeterLightsSegmentsUpToTheLevelAndMarksTheHold) {
    const theme::Palette& c = theme::colors();
    const Geometry g{200, 1, 26};
    auto pixel = [&](const meter::State& s, int x, int y) {
        Canvas canvas(220, 120, c[0]);
        meter::draw({10, 10, 200, 100}, s, 1, "Pegel");
        return canvas.at(x, y);
    };
    auto segment = [&](const meter::State& s, int i) { return pixel(s, g.centre(i), g.row_y()); };
    auto faint = [&](uint32_t colour) {  // at alpha 0x1E over the track
        uint32_t out = 0xFF000000;
        for (int sh = 0; sh < 24; sh += 8)
            out |= (((colour >> sh & 0xFF) * 0x1E + (c[14] >> sh & 0xFF) * 0xE1 + 127) / 255) << sh;
        return out;
    };
    meter::State s;
    s.level[0] = -6;  // lit up to segment 22 of 0 to 25
    EXPECT_EQ(segment(s, 0), c[18]) << "green below -12 dB";
    EXPECT_EQ(segment(s, 21), c[16]) << "amber from -12 dB";
    EXPECT_TRUE(testsupport::close_to(segment(s, 23), faint(c[16]), 2)) << "amber, unlit";
    EXPECT_TRUE(testsupport::close_to(segment(s, 25), faint(c[17]), 2)) << "red, unlit";
    s.hold[0] = -30;  // halfway: segment 12.5, rounded up
    EXPECT_TRUE(segment(s, 13) == c[6] && segment(s, 12) == c[18]);
    s.hold[0] = 0;
    EXPECT_EQ(segment(s, 25), c[6]);
    s.clip_time = 1;
    EXPECT_EQ(pixel(s, 174, 19), c[17]) << "lit clip badge";
}

// A tick repaints only the parts said to change: every pixel that differs between the two
// frames lies in one of them, and a small step names far less than the whole meter.
TEST_F(GfxTest, MeterNamesEveryPartThatChanges) {
    const gfx::Rect r = {10.5f, 10.25f, 300, 100};
    auto frame = [&](const meter::State& s) {
        Canvas canvas(330, 130);
        meter::draw(r, s, 1, "Pegel");
        return canvas.pixels();
    };
    meter::State quiet;
    quiet.level[0] = quiet.level[1] = -30;
    quiet.hold[0] = quiet.hold[1] = -20;
    quiet.last_peak[0] = quiet.last_peak[1] = -20;
    auto with = [&](auto change) {
        meter::State s = quiet;
        change(s);
        return s;
    };
    struct {
        const char* what;
        meter::State after;
        bool small;
    } cases[] = {
        {"nothing", quiet, true},
        {"hold time only", with([](meter::State& s) { s.hold_time[0] = 1; }), true},
        {"left level up", with([](meter::State& s) { s.level[0] = -25; }), true},
        {"right hold down", with([](meter::State& s) { s.hold[1] = -23; }), true},
        {"readout", with([](meter::State& s) { s.last_peak[1] = -2; }), true},
        {"clip", with([](meter::State& s) { s.clip_time = 1; }), true},
        {"all at once", with([](meter::State& s) { s = {{0, -60}, {0, 6}, {}, 1, {0, 6}}; }),
         false},
    };
    const std::vector<uint32_t> before = frame(quiet);
    for (const auto& c : cases) {
        const std::vector<gfx::Rect> parts = meter::changed_parts(r, quiet, c.after, 1);
        const std::vector<uint32_t> after = frame(c.after);
        int missed = 0;
        for (int y = 0; y < 130; ++y)
            for (int x = 0; x < 330; ++x) {
                if (before[y * 330 + x] == after[y * 330 + x]) continue;
                bool named = false;
                for (const gfx::Rect& p : parts)
                    named |= x >= std::floor(p.x) && x < std::ceil(p.x + p.w) &&
                             y >= std::floor(p.y) && y < std::ceil(p.y + p.h);
                missed += !named;
            }
        EXPECT_EQ(missed, 0) << c.what;
        float area = 0;
        for (const gfx::Rect& p : parts) area += p.w * p.h;
        EXPECT_TRUE(!c.small || area < r.w * r.h / 4) << c.what << ": " << area;
        EXPECT_TRUE(before != after || parts.empty()) << c.what;
    }
}

}  // namespace
