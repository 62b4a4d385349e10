// The settings panel: the language list in three columns, the scrolled device list with its
// scroll bar, what is selected and hovered, and the panel's size.
#include "ui/settings_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "gui/canvas.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "ui/state.h"

namespace {

using ui::g_ui;

uint32_t role(int index) { return theme::colors()[index]; }

struct SettingsPanel : testsupport::GfxTest {
    void SetUp() override {
        GfxTest::SetUp();
        theme::set_dark(false);
        ui::g_settings = Settings{};
        ui::g_settings.audio_device = "pulse:sink1";
        ui::g_dev_scroll = 0;
        ui::g_hover = ui::kLanguageItems.at(1);
    }
    void devices(int n) {
        ui::g_devices.clear();
        for (int i = 0; i < n; ++i)
            ui::g_devices.push_back({"pulse:sink" + std::to_string(i), "Sink", i == 1});
    }
    // A list entry's background (right of its text) or a button's fill (left of its label).
    uint32_t fill(const gfx::Rect& r, bool entry = true) const {
        return canvas.at(static_cast<int>(entry ? r.x + r.w - 3 : r.x + 4),
                         static_cast<int>(r.y + r.h / 2));
    }
    testsupport::Canvas canvas{940, 744};
};

TEST_F(SettingsPanel, LanguagesInThreeColumnsWithSelectionAndHover) {
    devices(3);
    const size_t german = std::find_if(i18n::languages().begin(), i18n::languages().end(),
                                       [](const i18n::Language& l) { return l.code == "de"; }) -
                          i18n::languages().begin() + 1;
    for (const char* language : {"de", "auto"}) {
        i18n::set_language(language);
        ui::draw_settings(940, 744);
        const gfx::Rect& p = g_ui.settings_panel;
        EXPECT_TRUE(p.x == 130 && p.w == 680);
        ASSERT_EQ(g_ui.language_rects.size(), 45u);
        const float column = (p.w - 48) / 3, top = g_ui.language_rects[0].y;
        for (size_t i = 0; i < 45; ++i) {  // 15 rows, filled column by column
            const gfx::Rect& r = g_ui.language_rects[i];
            EXPECT_TRUE(r.x == p.x + 24 + (i / 15) * column && r.y == top + (i % 15) * 24) << i;
        }
        const bool automatic = std::string(language) == "auto";
        EXPECT_EQ(fill(g_ui.language_rects[german]), role(automatic ? 1 : 13));
        EXPECT_EQ(fill(g_ui.language_rects[0]), role(automatic ? 13 : 1));
        EXPECT_EQ(fill(g_ui.language_rects[1]), role(2)) << "hovered";
        EXPECT_EQ(fill(g_ui.device_rects[2]), role(13));
        EXPECT_EQ(fill(g_ui.device_rects[0]), role(1));
    }
    for (ui::Hit hover : {ui::Hit::None, ui::Hit::SettingsClose}) {  // also: pointer outside
        ui::g_hover = hover;
        ui::draw_settings(500, 744);
        EXPECT_EQ(g_ui.settings_panel.w, 460);
        EXPECT_EQ(fill(g_ui.settings_close, false), role(hover == ui::Hit::None ? 7 : 8));
    }
}

TEST_F(SettingsPanel, DeviceListShowsSixRowsAndClampsItsScroll) {
    const struct {
        int devices, scroll, clamped;
    } cases[] = {{8, 0, 0}, {8, 2, 2}, {8, 10, 3}, {8, -2, 0}, {3, 2, 0}, {0, 0, 0}};
    ui::g_settings.audio_device = "pulse:elsewhere";  // no entry selected
    for (const auto& c : cases) {
        devices(c.devices);
        ui::g_dev_scroll = c.scroll;
        gfx::clear(0xFFFFFFFF);
        ui::draw_settings(940, 744);
        EXPECT_EQ(ui::g_dev_scroll, c.clamped);
        const int entries = c.devices + 1, shown = std::min(entries, 6);
        const gfx::Rect& area = g_ui.device_area;
        EXPECT_EQ(area.h, shown * 24);
        ASSERT_EQ(g_ui.device_rects.size(), static_cast<size_t>(entries));
        for (int j = 0; j < entries; ++j) {
            const gfx::Rect& r = g_ui.device_rects[j];
            const bool visible = j >= c.clamped && j < c.clamped + shown;
            EXPECT_EQ(r.y, visible ? area.y + (j - c.clamped) * 24 : 0) << c.devices << " " << j;
            EXPECT_EQ(r.w, visible ? area.w : 0);
        }
        // The scroll bar lies over the last 4 pixels of the list's rows.
        EXPECT_EQ(canvas.at(static_cast<int>(area.x + area.w - 2),
                            static_cast<int>(area.y + area.h - 2)) != role(1),
                  entries > shown)
            << c.devices;
    }
}

}  // namespace
