// Presses, drags, wheel steps and keys on the laid-out panel, checked in the (stopped) player
// they reach and in the fields.
#include "ui/input.h"

#include <algorithm>
#include <initializer_list>

#include "playback/player.h"
#include "ui_session.h"

namespace {

using namespace keymap;
using ui::g_ui;
using ui::Hit;
using ui::Ui;

struct Input : testsupport::UiSession {
    Player player;
};

float volume(const Player& p) { return p.volume(); }
float target(const Player& p) { return p.leveler_config().target_db; }
float ceiling(const Player& p) { return p.leveler_config().ceiling_db; }
float days(const Player& p) { return p.filters().window.days; }

TEST_F(Input, PressesDragsAndWheelStepsReachThePlayer) {
    struct {
        uint8_t mask;
        float volume;
        gfx::Rect Ui::*region;
        float from, to;
        std::initializer_list<int> wheel;
        float (*read)(const Player&);
        float expected;
    } cases[] = {
        {127, 0.8f, nullptr, 0, 0, {}, days, 126},  // Monday's toggle
        {1, 0.8f, nullptr, 0, 0, {}, days, 0},
        {0, 0.8f, nullptr, 0, 0, {}, days, 1},
        {127, 0.8f, &Ui::target, 0.5f, 0.5f, {}, target, -20},
        {127, 0.8f, &Ui::ceiling, 0.5f, 0.5f, {}, ceiling, -6},
        {127, 0.8f, &Ui::volume, 0.5f, -0.7f, {}, volume, 0},
        {127, 0.8f, nullptr, 0, 0, {-1, -1, -1}, volume, 0.86f},
        {127, 0.99f, nullptr, 0, 0, {-1}, volume, 1},
    };
    for (const auto& c : cases) {
        Settings s;
        s.window.days = c.mask;
        s.volume = c.volume;
        open(s, &player);
        if (c.region) drag(g_ui.*c.region, c.from, c.to);
        else if (!c.wheel.size()) click(g_ui.days[0]);
        for (int step : c.wheel) ui::on_wheel(g_ui.volume.x + 10, g_ui.volume.y - 9, step);
        EXPECT_NEAR(c.read(player), c.expected, 1e-5) << &c - cases;
    }
}

TEST_F(Input, EditingKeysInAField) {
    struct Key {
        keymap::Code code;
        bool shift = false, ctrl = false;
    };
    struct {
        const char* text;
        size_t caret, anchor;
        std::initializer_list<Key> keys;
        const char* after;
        size_t caret_after, anchor_after;
    } cases[] = {
        {"a\xC3\xA4", 3, 3, {{BackSpace}}, "a", 1, 1},
        {"\xC3\xA4" "b", 0, 0, {{Delete}}, "b", 0, 0},
        {"abc", 3, 3, {{Left, true}, {Left, true}}, "abc", 1, 3},
        {"abc", 1, 1, {{LetterA, 0, 1}, {BackSpace}}, "", 0, 0},
        {"", 0, 0, {{Space}, {LetterA, true}, {LetterN}, {LetterN, 0, 1}, {Space, 0, 1}}, " An", 3, 3},
    };
    for (const auto& c : cases) {
        open(Settings{}, &player);
        click(g_ui.folder);
        ui::g_folder = {c.text, c.caret, c.anchor, 0, ui::Accept::Path};
        for (const Key& k : c.keys) key(k.code, k.shift, k.ctrl);
        EXPECT_EQ(ui::g_folder.text, c.after) << c.text;
        EXPECT_EQ(ui::g_folder.caret, c.caret_after) << c.text;
        EXPECT_EQ(ui::g_folder.anchor, c.anchor_after) << c.text;
    }
}

TEST_F(Input, TabCyclesTheFieldsSelectingAllAndEscapeDropsEveryEdit) {
    Settings s;
    s.root = "/data";
    open(s, &player);
    click(g_ui.folder);
    ui::on_text("/rec");
    for (Hit next : {Hit::PatternField, Hit::FromField, Hit::ToField, Hit::FolderField}) {
        key(Tab);
        ASSERT_EQ(ui::g_focus, next);
        const ui::Field& f = *ui::field_of(next);
        EXPECT_TRUE(f.anchor == 0 && f.caret == f.text.size() && !f.text.empty());
    }
    EXPECT_EQ(player.filters().root, "/data/rec") << "Tab applies the field it leaves";
    key(Tab, true);
    EXPECT_EQ(ui::g_focus, Hit::ToField);

    for (const gfx::Rect& r : {g_ui.folder, g_ui.pattern, g_ui.from, g_ui.to}) {
        click(r);
        key(LetterA, false, true);
        ui::on_text("9");
    }
    key(Escape);
    EXPECT_EQ(ui::g_focus, Hit::None);
    for (const ui::Field* f : {&ui::g_folder, &ui::g_pattern, &ui::g_from, &ui::g_to})
        EXPECT_NE(f->text, "9");
    EXPECT_EQ(ui::g_folder.text + ui::g_pattern.text + ui::g_from.text, "/data/rec*06:00");
}

TEST_F(Input, OverlaysTakeEveryKeyAndF1OpensTheAboutPanel) {
    struct {
        bool about, settings;
        keymap::Code code;
        bool about_after, settings_after;
    } cases[] = {{1, 0, Escape, 0, 0}, {1, 0, F1, 0, 0}, {1, 0, Return, 0, 0}, {1, 0, Space, 0, 0},
                 {1, 0, Tab, 1, 0},    {0, 1, Return, 0, 0}, {0, 1, F1, 0, 1},     {0, 0, F1, 1, 0}};
    for (const auto& c : cases) {
        open(Settings{}, &player);
        click(g_ui.folder);  // the focus stays under an overlay, which takes typed text too
        ui::g_about_open = c.about;
        ui::g_settings_open = c.settings;
        key(c.code);
        ui::on_text("x");
        EXPECT_EQ(ui::g_about_open, c.about_after) << &c - cases;
        EXPECT_EQ(ui::g_settings_open, c.settings_after) << &c - cases;
        EXPECT_EQ(ui::g_folder.text, c.about_after || c.settings_after ? "" : "x") << &c - cases;
    }
}

TEST_F(Input, ALanguageChosenInTheSettingsPanelRelaysTheWindowOut) {
    open(Settings{}, &player);
    const float english = g_ui.label_width;
    click(g_ui.settings_button);
    frame();
    const auto& all = i18n::languages();
    const auto de = std::find_if(all.begin(), all.end(), [](auto& l) { return l.code == "de"; });
    ASSERT_EQ(g_ui.language_rects.size(), all.size() + 1);
    click(g_ui.language_rects[de - all.begin() + 1]);
    frame();
    EXPECT_GT(g_ui.label_width, english);
    tick_for(1500);
    EXPECT_EQ(settings::load().language, "de");
    click(g_ui.language_rects[0]);
    EXPECT_EQ(ui::g_settings.language, "auto");
}

}  // namespace
