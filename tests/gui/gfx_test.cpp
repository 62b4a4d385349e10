#include "gui/gfx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "canvas.h"

namespace {

using testsupport::Canvas;
using testsupport::close_to;
using GfxTest = testsupport::GfxTest;
using Box = std::array<int, 4>;

constexpr uint32_t kWhite = 0xFFFFFFFF, kInk = 0xFF000000;

void draw_everything(gfx::Color c) {
    gfx::fill_rect({0, 0, 100, 100}, c);
    gfx::fill_round_rect({10, 10, 50, 50}, 8, c);
    gfx::stroke_round_rect({10, 10, 50, 50}, 8, c, 3);
    gfx::fill_circle(50, 50, 20, c);
    gfx::stroke_circle(50, 50, 20, c, 3);
    gfx::line(0, 0, 100, 100, c, 5);
    gfx::fill_triangle(0, 0, 100, 0, 50, 80, c);
    gfx::stroke_arc(50, 50, 30, 0, 200, c, 4);
    gfx::text({0, 0, 100, 30}, "Wiedergabe", 16, c, gfx::Align::Left, true, false);
}

TEST_F(GfxTest, ColoursAreAlphaRedGreenBlue) {
    struct {
        uint32_t background, colour, seen;
    } cases[] = {{kWhite, 0xFF000000, 0xFF000000}, {kInk, 0x80FFFFFF, 0xFF808080},
                 {kInk, 0xFF123456, 0xFF123456}};
    for (const auto& c : cases) {
        Canvas canvas(4, 4, c.background);
        gfx::fill_rect({0, 0, 4, 4}, c.colour);
        EXPECT_TRUE(close_to(canvas.at(2, 2), c.seen, 1)) << std::hex << c.colour;
    }
    Canvas canvas(100, 100, 0xFF336699);
    gfx::clear(0x80FFFFFF);
    EXPECT_EQ(canvas.at(0, 0), 0x80808080u) << "clear writes alpha instead of blending";
    gfx::clear(0xFF336699);
    draw_everything(0x00FFFFFF);  // no alpha byte: invisible
    EXPECT_EQ(canvas.changed().count, 0);
    gfx::set_context(nullptr);
    draw_everything(kInk);
    gfx::clear(kInk);
    EXPECT_EQ(canvas.changed().count, 0) << "drawn without a context";
}

TEST_F(GfxTest, RoundedRectangle20HighWithRadius50IsAPill) {
    auto draw = [](float radius) {
        Canvas canvas(120, 40);
        gfx::fill_round_rect({10, 10, 100, 20}, radius, kInk);
        return canvas.pixels();
    };
    EXPECT_EQ(draw(50), draw(10)) << "the radius is limited to half the height";
    EXPECT_NE(draw(50), draw(9));
    Canvas pill(120, 40);
    gfx::fill_round_rect({10, 10, 100, 20}, 50, kInk);
    for (auto [x, y] : {std::pair{10, 10}, {109, 10}, {10, 29}, {109, 29}, {11, 11}})
        EXPECT_EQ(pill.at(x, y), kWhite) << "corner " << x << "," << y;
    for (auto [x, y] : {std::pair{20, 10}, {60, 29}, {11, 19}, {108, 20}})
        EXPECT_TRUE(close_to(pill.at(x, y), kInk, 40)) << "inside " << x << "," << y;
    Canvas sharp(120, 40);
    gfx::fill_round_rect({10, 10, 100, 20}, 0, kInk);
    EXPECT_EQ(sharp.at(10, 10), kInk);
    EXPECT_EQ(sharp.changed().box, (Box{10, 10, 110, 30}));
}

TEST_F(GfxTest, StrokeLiesInsideItsRectangle) {
    for (float radius : {0.0f, 6.0f, 50.0f}) {
        Canvas canvas(130, 70);
        gfx::stroke_round_rect({10, 10, 100, 40}, radius, kInk, 2);
        EXPECT_EQ(canvas.changed().box, (Box{10, 10, 110, 50})) << "radius " << radius;
        // Two pixels of line (at a pill's round end very nearly), nothing further in.
        EXPECT_TRUE(close_to(canvas.at(10, 30), kInk, 8)) << radius;
        EXPECT_TRUE(close_to(canvas.at(11, 30), kInk, 8)) << radius;
        EXPECT_TRUE(close_to(canvas.at(12, 30), kWhite, 8)) << radius;
        EXPECT_EQ(canvas.at(60, 11), kInk) << radius;
        EXPECT_EQ(canvas.at(60, 12), kWhite) << radius;
    }
    Canvas thick(130, 70);
    gfx::stroke_round_rect({10, 10, 100, 40}, 0, kInk, 50);
    EXPECT_EQ(thick.changed().box, (Box{10, 10, 110, 50}));
    EXPECT_EQ(thick.at(60, 30), kInk);
}

TEST_F(GfxTest, ArcsStartAtTwelveAndRunClockwise) {
    // Probes on the circle every 45 degrees clockwise from twelve o'clock: lit or not.
    struct {
        float from, to;
        const char* lit;
    } cases[] = {{0, 90, "xxx....."},   {90, 90, "........"},  {0, 400, "xxxxxxxx"},
                 {180, 270, "....xxx."}, {-90, 45, "xx....xx"}, {300, 360, "x......x"}};
    for (const auto& c : cases) {
        Canvas canvas(100, 100);
        gfx::stroke_arc(50, 50, 30, c.from, c.to, kInk, 4);
        std::string lit;
        for (int i = 0; i < 8; ++i)
            lit += canvas.at(int(50 + 30 * std::sin(i * M_PI / 4)),
                             int(50 - 30 * std::cos(i * M_PI / 4))) != kWhite ? 'x' : '.';
        EXPECT_EQ(lit, c.lit) << c.from << " to " << c.to;
        // Of the quarter, nothing but the round ends leaves the quadrant.
        const Box box = canvas.changed().box;
        EXPECT_TRUE(c.from != 0 || c.to != 90 || (box[0] >= 47 && box[3] <= 53));
    }
}

// A repaint of a few parts paints in them what a repaint of the whole canvas paints, also where
// a shape reaches in only by its stroke, its round cap or the fringe of its antialiasing.
TEST_F(GfxTest, ARepaintOfPartsPaintsThereWhatTheWholeDoes) {
    const gfx::Rect apart[] = {{62, 70, 5, 20}, {69.5f, 70, 5, 20}, {77.25f, 70, 5, 20}};
    auto draw = [&] {
        draw_everything(0x60204080);
        gfx::fill_round_rects(apart, 3, 1.5f, 0xFF00AA00);
    };
    std::vector<uint32_t> whole;
    {
        Canvas canvas(100, 100);
        draw();
        whole = canvas.pixels();
    }
    const std::vector<Box> cases[] = {
        {{0, 0, 100, 2}, {0, 98, 100, 2}},  // round caps of the diagonal, the triangle's top
        {{71, 49, 1, 2}, {81, 48, 2, 4}},   // outer edges of the circle's and the arc's strokes
        {{59, 30, 2, 2}, {9, 59, 2, 2}},    // the rounded square's stroke
        {{67, 75, 2, 2}, {74, 75, 3, 2}},   // between the segments
        {{0, 0, 100, 100}},
        {},
    };
    for (const std::vector<Box>& parts : cases) {
        Canvas canvas(100, 100);
        for (const Box& b : parts) cairo_rectangle(canvas.cr(), b[0], b[1], b[2], b[3]);
        cairo_clip(canvas.cr());
        gfx::set_context(canvas.cr());
        draw();
        int wrong = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                bool inside = false;
                for (const Box& b : parts)
                    inside |= x >= b[0] && x < b[0] + b[2] && y >= b[1] && y < b[1] + b[3];
                wrong += canvas.at(x, y) != (inside ? whole[y * 100 + x] : kWhite);
            }
        EXPECT_EQ(wrong, 0) << parts.size() << " parts from " << (parts.empty() ? -1 : parts[0][0]);
    }
}

// Shapes apart look as they do filled one by one; where they overlap, the overlap is painted once.
TEST_F(GfxTest, RoundedRectanglesFilledTogether) {
    const gfx::Rect apart[] = {{10, 10, 5, 20}, {17.5f, 10, 5, 20}, {25.25f, 10, 5, 20}};
    auto together = [&](const gfx::Rect* rects, size_t n) {
        Canvas canvas(40, 40);
        gfx::fill_round_rects(rects, n, 1.5f, 0x80204080);
        return canvas.pixels();
    };
    Canvas one_by_one(40, 40);
    for (const gfx::Rect& r : apart) gfx::fill_round_rect(r, 1.5f, 0x80204080);
    EXPECT_EQ(together(apart, 3), one_by_one.pixels());
    const gfx::Rect overlapping[] = {{10, 10, 20, 20}, {20, 10, 20, 20}};
    const std::vector<uint32_t> both = together(overlapping, 2);
    EXPECT_EQ(both[15 * 40 + 25], both[15 * 40 + 15]);
    EXPECT_NE(both[15 * 40 + 25], kWhite);
}

// Each call with bad input leaves the context usable and draws only where a shape is left.
TEST_F(GfxTest, BadInputNeitherCrashesNorBreaksTheContext) {
    const float nan = std::nanf("");
    auto text = [](std::string_view s, float size, float w = 100) {
        gfx::text({0, 0, w, 30}, s, size, kInk, gfx::Align::Left, false, false);
    };
    struct {
        const char* what;
        std::function<void()> draw;
        bool draws;
    } cases[] = {
        {"rectangle of zero width", [] { gfx::fill_rect({10, 10, 0, 20}, kInk); }, false},
        {"negative rectangle", [] { gfx::fill_round_rect({50, 50, -20, -20}, 4, kInk); }, false},
        {"negative radius", [] { gfx::fill_round_rect({10, 10, 20, 20}, -5, kInk); }, true},
        {"stroke width 0", [] { gfx::stroke_round_rect({10, 10, 20, 20}, 3, kInk, 0); }, false},
        {"stroke, no height", [] { gfx::stroke_round_rect({10, 10, 20, 0}, 3, kInk, 2); }, false},
        {"circle of radius 0", [] { gfx::fill_circle(50, 50, 0, kInk); }, false},
        {"circle of radius NaN", [&] { gfx::stroke_circle(50, 50, nan, kInk, 2); }, false},
        {"arc backwards", [] { gfx::stroke_arc(50, 50, 20, 90, 10, kInk, 3); }, false},
        {"arc of radius -20", [] { gfx::stroke_arc(50, 50, -20, 0, 90, kInk, 3); }, false},
        {"line of width -2", [] { gfx::line(0, 0, 90, 90, kInk, -2); }, false},
        {"flat triangle", [] { gfx::fill_triangle(0, 0, 50, 50, 100, 100, kInk); }, false},
        {"empty text", [&] { text("", 14); }, false},
        {"text of size 0", [&] { text("abc", 0); }, false},
        {"text of size -12", [&] { text("abc", -12); }, false},
        {"text of size NaN", [&] { text("abc", nan); }, false},
        {"text in no width", [&] { text("abc", 14, 0); }, false},
        {"text not UTF-8", [&] { text("a\xFF\xC3(b\xE2\x82", 14); }, true},
        {"text with NUL", [&] { text(std::string_view("a\0b", 3), 14); }, true},
    };
    for (const auto& c : cases) {
        Canvas canvas(100, 100);
        c.draw();
        EXPECT_EQ(cairo_status(canvas.cr()), CAIRO_STATUS_SUCCESS) << c.what;
        EXPECT_EQ(canvas.changed().count > 0, c.draws) << c.what;
    }
}

}  // namespace
