// Line wrapping of the about panel's long texts, and the panel's size in a small window.
#include "ui/about_panel.h"

#include <gtest/gtest.h>

#include "gui/canvas.h"
#include "i18n/i18n.h"
#include "ui/state.h"

namespace {

using AboutPanel = testsupport::GfxTest;

TEST_F(AboutPanel, WrapsAtSpacesElseWhereTheTextStopsFitting) {
    i18n::set_language("en");
    std::string words;
    for (int i = 0; i < 60; ++i) words += "word ";
    const struct {
        std::string text;
        float width;
        size_t min_lines, max_lines;
        const char* joint;  // what a break took out
    } cases[] = {{"Plays recordings", 414, 1, 1, " "},
                 {"", 414, 0, 0, ""},
                 {i18n::T("about_tagline"), 414, 2, 4, " "},
                 {std::string(200, 'x'), 400, 2, 11, ""},
                 {"漢字仮名", 1, 4, 4, ""},  // not even one fits: a whole character a line
                 {words, 100, 12, 12, " "}};
    for (const auto& c : cases) {
        const std::vector<std::string> lines = ui::wrap_lines(c.text, 13, c.width);
        EXPECT_TRUE(lines.size() >= c.min_lines && lines.size() <= c.max_lines) << lines.size();
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            joined += (i ? c.joint : "") + lines[i];
            EXPECT_TRUE(c.width <= 1 || gfx::text_width(lines[i], 13, false) <= c.width)
                << lines[i];
        }
        EXPECT_TRUE(lines.size() == 12 ? c.text.rfind(joined, 0) == 0 : joined == c.text) << joined;
    }
    const std::vector<std::string> cut = ui::wrap_lines(std::string(200, 'x'), 13, 400);
    EXPECT_GT(gfx::text_width(cut[0] + "x", 13, false), 400) << "cut only where it stops fitting";
}

TEST_F(AboutPanel, NarrowAndLowWindows) {
    testsupport::Canvas canvas(400, 300);
    ui::draw_about(400, 300);
    const gfx::Rect& p = ui::g_ui.about_panel;
    EXPECT_TRUE(p.x == 20 && p.w == 360 && p.y == 12 && p.h == 276);
    for (const gfx::Rect* link : {&ui::g_ui.about_web, &ui::g_ui.about_mail})
        EXPECT_TRUE(link->x + link->w / 2 == 200 && link->w <= 304 + 12);
    EXPECT_EQ(ui::g_ui.about_mail.y - ui::g_ui.about_web.y, 22);
    const gfx::Rect& close = ui::g_ui.about_close;
    EXPECT_TRUE(close.x == 140 && close.y + close.h == 12 + 276 - 18);
}

}  // namespace
