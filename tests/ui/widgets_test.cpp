#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "gui/canvas.h"
#include "gui/theme.h"
#include "ui/text_field.h"

namespace {

using testsupport::Canvas;
using testsupport::close_to;

constexpr uint32_t kGrey = 0xFF808080;  // a background none of the roles uses

uint32_t role(int index) { return theme::colors()[index]; }
// What the roles, each dimmed to alpha 0x59 and painted over the one before, look like on the
// grey background.
uint32_t dimmed(std::initializer_list<int> layers) {
    Canvas reference(4, 4, kGrey);
    for (int index : layers) gfx::fill_rect({0, 0, 4, 4}, gfx::with_alpha(role(index), 0x59));
    return reference.at(1, 1);
}

struct Widgets : testsupport::GfxTest {
    void SetUp() override {
        GfxTest::SetUp();
        theme::set_dark(false);
        ui::g_caret_on = true;
    }
};

TEST_F(Widgets, ButtonFillAndOutlineFollowItsState) {
    struct {
        bool primary, hover, enabled;
        int fill, edge;
    } cases[] = {
        {true, false, false, 2, 2},  // disabled primary: no outline
        {false, false, false, 2, 3}, {true, false, true, 7, 7},
        {true, true, true, 8, 8},    {false, false, true, 1, 3},
        {false, true, true, 2, 3},   {false, true, false, 2, 3},  // disabled: hover shows nothing
    };
    for (const auto& c : cases) {
        Canvas canvas(140, 60, kGrey);
        ui::draw_button({10, 10, 120, 34}, "OK", c.primary, c.hover, c.enabled);
        EXPECT_EQ(canvas.at(14, 27), role(c.fill)) << c.primary << c.hover << c.enabled;
        EXPECT_EQ(canvas.at(10, 27), role(c.edge)) << c.primary << c.hover << c.enabled;
    }
}

TEST_F(Widgets, CheckBoxAndRadioButtonByStateAndDimming) {
    // Both at (10, 10), 200 × 30. The box is 18 pixels square at (10, 16); the radio's centre is
    // (19, 25), with the dot over it, the disc to radius 9 and the ring from 7.5.
    struct Point {
        int x, y, tolerance;
    };
    const Point box[] = {{19, 18, 3}, {20, 25, 3}, {10, 25, 3}};   // inside, tick, edge
    const Point disc[] = {{19, 25, 3}, {25, 25, 3}, {27, 25, 8}};  // centre, disc, ring (its
                                                                   // outer edge antialiased)
    struct {
        bool radio, on, hover, enabled;
        uint32_t want[3];
    } cases[] = {
        {false, true, true, true, {role(7), role(9), role(7)}},  // hover leaves a ticked box
        {false, false, true, true, {role(10), role(10), role(12)}},
        {false, false, false, true, {role(10), role(10), role(11)}},
        {false, false, true, false, {dimmed({10}), dimmed({10}), dimmed({10, 11})}},
        {false, true, false, false, {dimmed({7}), dimmed({7, 9}), dimmed({7, 7})}},
        {true, true, false, true, {role(9), role(7), role(7)}},
        {true, true, false, false, {dimmed({7, 9}), dimmed({7}), dimmed({7})}},
        {true, false, true, true, {role(10), role(10), role(12)}},
        {true, false, true, false, {dimmed({11, 10}), dimmed({11, 10}), dimmed({11})}},
    };
    for (const auto& c : cases) {
        Canvas canvas(220, 50, kGrey);
        (c.radio ? ui::draw_radio : ui::draw_check)({10, 10, 200, 30}, c.on, "", c.hover,
                                                    c.enabled);
        for (int i = 0; i < 3; ++i) {
            const Point p = (c.radio ? disc : box)[i];
            EXPECT_TRUE(close_to(canvas.at(p.x, p.y), c.want[i], p.tolerance))
                << c.radio << c.on << c.hover << c.enabled << " at " << p.x << "," << p.y << ": "
                << std::hex << canvas.at(p.x, p.y) << " instead of " << c.want[i];
        }
    }
}

// A field at (20, 10), 200 × 30: the inner area runs from x 28 to 212.
constexpr gfx::Rect kField = {20, 10, 200, 30};
constexpr int kInnerLeft = 28, kInnerRight = 212;

TEST_F(Widgets, ScrolledFieldShowsItsTextOnlyInTheInnerArea) {
    ui::Field f{"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"};
    f.scroll = 50;
    f.anchor = 2;
    f.caret = f.text.size();  // selected from the third W, which lies left of the inner area
    {
        Canvas canvas(240, 50, kGrey);
        ui::draw_field(kField, f, false, "", false);
        for (int y = 17; y < 33; ++y)  // clear of the rounded corners
            for (int x = 21; x < 219; ++x)
                if (x < kInnerLeft || x >= kInnerRight) {
                    ASSERT_EQ(canvas.at(x, y), role(10))
                        << "outside the inner area: " << x << "," << y;
                }
        // Row 15 lies inside the highlight and above the letters.
        EXPECT_EQ(canvas.at(kInnerLeft, 15), role(13));
        EXPECT_EQ(canvas.at(kInnerRight - 1, 15), role(13));
    }
    // Unselected, the inner area holds exactly the text drawn 50 pixels further left, the W cut
    // by the inner edge included.
    f.anchor = f.caret;
    Canvas field(240, 50, kGrey), reference(240, 50, role(10));
    gfx::text({kInnerLeft - 50.0f, 10, 1000, 30}, f.text, 15, role(4), gfx::Align::Left, false,
              true);
    gfx::set_context(field.cr());
    ui::draw_field(kField, f, false, "", false);
    int differ = 0, ink = 0;
    for (int y = 12; y < 38; ++y)
        for (int x = kInnerLeft; x < kInnerRight; ++x) {
            differ += !close_to(field.at(x, y), reference.at(x, y), 8);
            ink += x < kInnerLeft + 4 && field.at(x, y) != role(10);
        }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, 0) << "the W cut by the edge is shown";
}

TEST_F(Widgets, CaretStandsAtTheEndFourPixelsInside) {
    struct {
        const char* text;
        int column;
    } cases[] = {{"/home/musik/Aufnahmen/2024/Konzerte/Sommer/Abend", kInnerRight - 4},
                 {"", kInnerLeft},
                 {"ab", kInnerLeft + int(gfx::text_width("ab", 15, false))}};
    for (const auto& c : cases) {
        ui::Field f{c.text};
        f.caret = f.anchor = f.text.size();
        ui::ensure_caret_visible(f, kField);
        Canvas on(240, 50, kGrey), off(240, 50, kGrey);
        gfx::set_context(on.cr());
        ui::g_caret_on = true;
        ui::draw_field(kField, f, true, "placeholder", false);
        gfx::set_context(off.cr());
        ui::g_caret_on = false;
        ui::draw_field(kField, f, true, "placeholder", false);
        gfx::set_context(nullptr);
        int x0 = 240, x1 = -1, rows = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 240; ++x)
                if (on.at(x, y) != off.at(x, y)) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                    rows += x == c.column;
                }
        EXPECT_TRUE(x0 == c.column && x1 == c.column) << c.text << ": " << x0 << "-" << x1;
        EXPECT_EQ(rows, 30 - 10) << c.text;
    }
}

}  // namespace
