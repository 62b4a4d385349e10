#include "gui/logo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "canvas.h"

namespace {

using testsupport::Canvas;
using GfxTest = testsupport::GfxTest;

constexpr uint32_t kTint = 0xFF000000, kBackground = 0xFF252C3B;

// The pixel on the dial of a logo at (0, 0), `deg` clockwise from twelve o'clock.
uint32_t on_dial(const Canvas& canvas, float size, double deg) {
    const double a = deg * M_PI / 180, r = 0.344 * size;
    return canvas.at(int(size / 2 + r * std::sin(a)), int(size / 2 - r * std::cos(a)));
}

TEST_F(GfxTest, LogoShowsTheDailyWindowInTheFormOfItsSize) {
    // Lit or not at 3, 9, 15 and 21 hours.
    struct {
        float from, to;
        const char* lit;
    } cases[] = {{6, 20, ".xx."}, {22, 6, ".xx."}, {-3, 30, "xxxx"},
                 {0, 6, "x..."},  {12, 18, "..x."}, {18, 24, "...x"}};
    for (const auto& c : cases) {
        Canvas canvas(200, 200);
        logo::draw_window(0, 0, 200, c.from, c.to, false, kTint);
        std::string lit;
        for (double deg : {45, 135, 225, 315}) lit += on_dial(canvas, 200, deg) == kTint ? 'x' : '.';
        EXPECT_EQ(lit, c.lit) << c.from << " to " << c.to;
        EXPECT_TRUE(canvas.at(2, 2) == 0xFFFFFFFF && canvas.at(100, 100) == kTint) << "tinted bar";
    }
    Canvas tiny(10, 10);
    logo::draw(0, 0, 3.99f, true, kTint);
    EXPECT_EQ(tiny.changed().count, 0);
    Canvas small(50, 50);
    logo::draw(0, 0, 39, true, kTint);
    EXPECT_TRUE(small.at(19, 19) == 0xFFE9C93C && small.at(14, 19) == 0xFF43D67F) << "3 bars";
    EXPECT_EQ(on_dial(small, 39, 330), kBackground) << "no ring where the arc is not";
    Canvas large(200, 200);
    logo::draw(0, 0, 200, true, kTint);
    const uint32_t bars[5] = {0xFF43D67F, 0xFF7BD95B, 0xFFE9C93C, 0xFFF2933B, 0xFFEE5D5D};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(large.at(int(100 + (i - 2) * 14.46f), 100), bars[i]);
    EXPECT_NE(on_dial(large, 200, 330), kBackground) << "the faint ring";
    EXPECT_EQ(on_dial(large, 200, 90), 0xFFCFF6FBu) << "dot at the arc's start";
}

}  // namespace
