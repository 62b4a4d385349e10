#include "ui/layout.h"

#include <gtest/gtest.h>

#include "gui/canvas.h"
#include "i18n/i18n.h"
#include "ui/ui.h"

namespace {

using ui::g_ui;
using ui::Hit;
using ui::Ui;

struct Layout : testsupport::GfxTest {
    void SetUp() override {
        GfxTest::SetUp();
        ui::g_settings = Settings{};
        ui::g_settings_open = ui::g_about_open = false;
        g_ui = Ui{};
        i18n::set_language("en");
        ui::layout(940, 744);
    }
};

Hit hit_middle(const gfx::Rect& r) { return ui::hit_test(r.x + r.w / 2, r.y + r.h / 2); }
bool same(const gfx::Rect& a, const gfx::Rect& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

TEST_F(Layout, GermanLabelsMoveTheControlColumnRight) {
    const Ui en = g_ui;
    EXPECT_EQ(en.label_width, 132) << "no English label is wider than 110 pixels";
    EXPECT_TRUE(same(en.folder, {148, 50, 924 - 138 - 148, 30}));
    EXPECT_TRUE(same(en.meter, {148 + 356, 470, 924 - 148 - 356, 114}));
    EXPECT_TRUE(same(en.footer, {16, 744 - 38, 908, 22}));
    EXPECT_TRUE(en.shuffle.x == en.loop.x + en.loop.w && en.shuffle.x + en.shuffle.w == 924);

    i18n::set_language("de");
    ui::layout(940, 744);
    const float shift = g_ui.label_width - en.label_width;
    EXPECT_EQ(g_ui.label_width, 22 + gfx::text_width(i18n::T("time_source"), 15, false));
    ASSERT_GT(shift, 0);
    for (auto column : {&Ui::folder, &Ui::pattern, &Ui::recursive, &Ui::from, &Ui::to,
                        &Ui::win_play, &Ui::src_off, &Ui::volume, &Ui::ceiling, &Ui::meter})
        EXPECT_EQ((g_ui.*column).x, (en.*column).x + shift);
    EXPECT_EQ(g_ui.days[6].x, en.days[6].x + shift);
    EXPECT_EQ(g_ui.folder.w, en.folder.w - shift) << "its right end stays";
    for (auto fixed : {&Ui::browse, &Ui::theme, &Ui::start, &Ui::level_match, &Ui::track})
        EXPECT_EQ((g_ui.*fixed).x, (en.*fixed).x);
}

TEST_F(Layout, MeterOnlyWhereMoreThan220PixelsAreLeft) {
    const float meter_x = g_ui.meter.x;
    for (float room : {221.0f, 220.0f, 100.0f}) {
        ui::layout(meter_x + room + 16, 744);
        EXPECT_TRUE(same(g_ui.meter,
                         room > 220 ? gfx::Rect{meter_x, 470, room, 114} : gfx::Rect{0, 0, 0, 0}))
            << room;
    }
}

TEST_F(Layout, EdgesToTheRightAndBelowAreOutside) {
    const gfx::Rect b = g_ui.start;  // nothing reacts right of it or below it
    EXPECT_EQ(ui::hit_test(b.x, b.y), Hit::StartButton);
    EXPECT_EQ(ui::hit_test(b.x + b.w - 0.01f, b.y + b.h - 0.01f), Hit::StartButton);
    EXPECT_EQ(ui::hit_test(b.x + b.w, b.y + 5), Hit::None);
    EXPECT_EQ(ui::hit_test(b.x + 5, b.y + b.h), Hit::None);
    EXPECT_EQ(ui::hit_test(b.x - 0.01f, b.y + 5), Hit::None);
}

TEST_F(Layout, BarsAreGrabbedTenPixelsAboveAndBelow) {
    for (auto [region, hit] : {std::pair{&Ui::progress, Hit::ProgressBar},
                               {&Ui::volume, Hit::VolumeSlider},
                               {&Ui::target, Hit::TargetSlider}}) {
        const gfx::Rect r = g_ui.*region;
        const float x = r.x + r.w - 20;  // clear of the match-levels box below the volume
        EXPECT_EQ(ui::hit_test(x, r.y - 9), hit);
        EXPECT_NE(ui::hit_test(x, r.y - 11), hit);
        EXPECT_EQ(ui::hit_test(x, r.y + r.h + 9), hit);
        EXPECT_NE(ui::hit_test(x, r.y + r.h + 11), hit);
    }
    // The grab areas of target and ceiling overlap; the one tested first wins.
    EXPECT_EQ(ui::hit_test(g_ui.ceiling.x + 5, g_ui.ceiling.y - 9), Hit::TargetSlider);
}

TEST_F(Layout, TimeRuleControlsReactOnlyWhileTheRulesAreOn) {
    ui::g_settings.time_rules = false;
    for (const gfx::Rect& r : {g_ui.from, g_ui.to, g_ui.win_files, g_ui.win_play, g_ui.src_name,
                               g_ui.src_created, g_ui.src_modified, g_ui.src_off, g_ui.days[0]})
        EXPECT_EQ(hit_middle(r), Hit::None) << r.x << "," << r.y;
    EXPECT_EQ(hit_middle(g_ui.time_rules), Hit::TimeRulesCheck) << "the switch itself reacts";
    ui::g_settings.time_rules = true;
    EXPECT_EQ(hit_middle(g_ui.from), Hit::FromField);
}

TEST_F(Layout, AnOpenOverlayTakesEveryPointAndSetsTheCursor) {
    g_ui.settings_panel = {100, 100, 400, 300};
    g_ui.settings_close = {240, 350, 120, 34};
    g_ui.language_rects = {{124, 180, 100, 24}, {124, 204, 100, 24}};
    g_ui.device_rects = {{124, 280, 300, 24}, {0, 0, 0, 0}, {124, 304, 300, 24}};
    g_ui.about_panel = {200, 50, 300, 500};
    g_ui.about_close = {290, 500, 120, 34};
    g_ui.about_web = {300, 380, 100, 20};
    g_ui.about_mail = {300, 430, 100, 20};
    const float bx = g_ui.browse.x + 5, by = g_ui.browse.y + 5;
    constexpr auto kDefault = shell::Cursor::Default, kText = shell::Cursor::Text,
                   kPointer = shell::Cursor::Pointer;
    struct {
        bool settings, about;
        float x, y;
        Hit hit;
        shell::Cursor cursor;
    } cases[] = {
        {true, false, 130, 210, ui::kLanguageItems.at(1), kDefault},
        {true, false, 130, 310, ui::kDeviceItems.at(2), kDefault},
        {true, false, 0, 0, Hit::SettingsClose, kDefault},  // the zero rectangle of entry 1 is never hit
        {true, false, 250, 360, Hit::SettingsClose, kDefault},
        {true, false, 480, 380, Hit::None, kDefault},
        {true, false, bx, by, Hit::SettingsClose, kDefault},
        {true, true, 320, 390, Hit::None, kDefault},  // both open: the settings panel answers
        {false, true, 320, 390, Hit::AboutWebLink, kPointer},
        {false, true, 300, 440, Hit::AboutMailLink, kPointer},
        {false, true, 300, 510, Hit::AboutClose, kDefault},
        {false, true, 210, 60, Hit::None, kDefault},
        {false, true, bx, by, Hit::AboutClose, kDefault},
        {false, false, bx, by, Hit::BrowseButton, kDefault},
        {false, false, g_ui.pattern.x + 5, g_ui.pattern.y + 5, Hit::PatternField, kText},
        {false, false, g_ui.volume.x + 5, g_ui.volume.y - 5, Hit::VolumeSlider, kPointer},
    };
    for (const auto& c : cases) {
        ui::g_settings_open = c.settings;
        ui::g_about_open = c.about;
        EXPECT_EQ(ui::hit_test(c.x, c.y), c.hit) << c.x << "," << c.y;
        EXPECT_EQ(ui::cursor_at(c.x, c.y), c.cursor) << c.x << "," << c.y;
    }
}

}  // namespace
