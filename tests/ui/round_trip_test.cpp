// The settings between the text fields, the player and the settings file.
#include "playback/player.h"
#include "ui/main_panel.h"
#include "ui_session.h"

namespace {

using namespace keymap;
using ui::g_ui;
using ui::Ui;

struct RoundTrip : testsupport::UiSession {
    static void type_over(const gfx::Rect& r, const std::string& text) {
        click(r);
        key(LetterA, false, true);
        key(BackSpace);
        ui::on_text(text);
    }
    Player player;
};

std::string patterns(const FilterSet& f) { return f.patterns; }
std::string from(const FilterSet& f) { return std::to_string(f.window.from); }

TEST_F(RoundTrip, FieldsStoreTheirTextAndShowItAgainAfterReturn) {
    struct {
        gfx::Rect Ui::*region;
        const ui::Field* field;
        const char* typed;
        std::string (*stored)(const FilterSet&);
        const char *expected, *shown;
    } cases[] = {
        {&Ui::pattern, &ui::g_pattern, " Take* ", patterns, "Take*.mp3", "Take*"},
        {&Ui::pattern, &ui::g_pattern, "", patterns, "*.mp3", "*"},
        {&Ui::from, &ui::g_from, "7:30", from, "450", "07:30"},
        {&Ui::from, &ui::g_from, "", from, "-1", ""},
        {&Ui::from, &ui::g_from, "25:99", from, "360", "06:00"},
    };
    for (const auto& c : cases) {
        open(Settings{}, &player);
        type_over(g_ui.*c.region, c.typed);
        key(Return);
        EXPECT_EQ(c.stored(player.filters()), c.expected) << c.typed;
        EXPECT_EQ(c.field->text, c.shown) << c.typed;
    }
}

TEST_F(RoundTrip, AnInvalidTimeAppliedByAnotherControlStaysOnShowAsAnError) {
    open(Settings{}, &player);
    type_over(g_ui.from, "25:99");
    click(g_ui.recursive);
    EXPECT_FALSE(player.filters().recursive);
    EXPECT_EQ(player.filters().window.from, 360);
    testsupport::Canvas canvas(static_cast<int>(kWidth), static_cast<int>(kHeight));
    ui::draw(kWidth, kHeight);
    EXPECT_EQ(ui::g_from.text, "25:99");
    EXPECT_EQ(canvas.at(static_cast<int>(g_ui.from.x), static_cast<int>(g_ui.from.y + 15)),
              ui::colour(ui::role::kError));
}

TEST_F(RoundTrip, OnlyTheFirstStoredPatternIsShownAndKept) {
    struct {
        const char *stored, *shown, *kept;
    } cases[] = {{"a*.mp3;b*.mp3", "a*", "a*.mp3"}, {"Take*.MP3;x*.mp3", "Take*", "Take*.mp3"},
                 {"rec?.wav", "rec?.wav", "rec?.wav.mp3"}};
    for (const auto& c : cases) {
        Settings s;
        s.patterns = c.stored;
        open(s, &player);
        EXPECT_EQ(ui::g_pattern.text, c.shown);
        click(g_ui.recursive);
        EXPECT_EQ(player.filters().patterns, c.kept);
        EXPECT_EQ(loaded.patterns, c.stored) << "the caller's record is never written";
    }
}

TEST_F(RoundTrip, SavedOneAndAHalfSecondsAfterTheLastChangeOfABurst) {
    open(Settings{}, &player);
    const gfx::Rect& v = g_ui.volume;
    for (int i = 0; i < 4; ++i) {
        ui::on_wheel(v.x + v.w / 2, v.y, -1);
        tick_for(1000);
        ASSERT_FALSE(saved()) << i;
    }
    tick_for(400);
    EXPECT_FALSE(saved());
    tick_for(100);
    ASSERT_TRUE(saved());
    EXPECT_NEAR(settings::load().volume, 0.88, 1e-4);
}

}  // namespace
