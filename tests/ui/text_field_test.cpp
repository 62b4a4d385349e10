#include "ui/text_field.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "gui/canvas.h"
#include "ui/format.h"

namespace {

using ui::Accept;
using ui::Field;

// The clipboard the fields see, and how often something was put on it.
std::string g_clip;
int g_clip_sets = 0;
std::string clip_get() { return g_clip; }
void clip_set(const std::string& text) {
    g_clip = text;
    ++g_clip_sets;
}

struct TextField : testsupport::GfxTest {
    void SetUp() override {
        GfxTest::SetUp();
        ui::testing::set_clipboard(clip_get, clip_set);
        g_clip.clear();
        g_clip_sets = 0;
    }
    void TearDown() override {
        ui::testing::set_clipboard(nullptr, nullptr);
        GfxTest::TearDown();
    }
};

Field field(Accept accept, std::string text, size_t caret, size_t anchor) {
    return Field{std::move(text), caret, anchor, 0, accept};
}

float width(const std::string& s) { return gfx::text_width(s, 15, false); }

TEST(CharAllowed, EachClassRefusesItsOwnCharacters) {
    const auto ae = static_cast<unsigned char>("ä"[0]);
    struct {
        Accept accept;
        const char* allowed;
        const char* refused;
        bool lead_byte_ok;
    } cases[] = {{Accept::Path, "/:a. ", "<>\"|*?\t\x01\x7f", true},
                 {Accept::Pattern, "*?a. ", "\\|\"/:;<>\t\x7f", true},
                 {Accept::Time, "0123456789:", "a -.", false}};
    for (const auto& c : cases) {
        for (const char* ch = c.allowed; *ch; ++ch)
            EXPECT_TRUE(ui::char_allowed(c.accept, *ch, "")) << int(c.accept) << *ch;
        for (const char* ch = c.refused; *ch; ++ch)
            EXPECT_FALSE(ui::char_allowed(c.accept, *ch, "")) << int(c.accept) << int(*ch);
        EXPECT_EQ(ui::char_allowed(c.accept, ae, ""), c.lead_byte_ok);
        EXPECT_FALSE(ui::char_allowed(c.accept, 0, ""));
    }
    EXPECT_TRUE(ui::char_allowed(Accept::Time, '7', "12:3"));
    EXPECT_FALSE(ui::char_allowed(Accept::Time, '0', "12:30"));
}

TEST_F(TextField, PasteTakesOnlyWhatTheFieldTakes) {
    struct {
        Accept accept;
        const char* text;
        size_t caret, anchor;
        std::string clip;
        const char* result;
        size_t caret_after;
    } cases[] = {
        {Accept::Time, "", 0, 0, "12:30\n", "12:30", 5},
        {Accept::Time, "", 0, 0, "123456", "12345", 5},
        {Accept::Path, "", 0, 0, "a\tb", "ab", 2},
        {Accept::Path, "Musik", 5, 5, "/ä*?\r\n", "Musik/ä", 8},
        {Accept::Pattern, "Take", 4, 4, "*/x:y", "Take*xy", 7},
        {Accept::Path, "abcdef", 4, 1, "XY", "aXYef", 3},  // replaces the selection
        {Accept::Path, "abc", 10, 10, "d", "abcd", 4},     // caret beyond a replaced text
        {Accept::Path, "ä", 1, 1, "x", "xä", 1},           // caret inside a character
        {Accept::Path, "", 0, 0,
         "a\x01"
         "b\x1b[0mc\x7f"
         "d",
         "ab[0mcd", 7},
        // Stray continuation, cut sequences, a surrogate and an overlong "/" are dropped.
        {Accept::Path, "", 0, 0,
         "a\x80"
         "b\xC3"
         "c\xE2\x82"
         "d\xF0\x9F\x8E\xB5"
         "e\xED\xA0\x80"
         "f\xC0\xAF"
         "g",
         "abcd\xF0\x9F\x8E\xB5"
         "efg",
         11},
        {Accept::Path, "ab", 2, 2, "", "ab", 2},
    };
    for (const auto& c : cases) {
        Field f = field(c.accept, c.text, c.caret, c.anchor);
        g_clip = c.clip;
        ui::paste(f, {0, 0, 300, 30});
        EXPECT_EQ(f.text, c.result) << c.clip;
        EXPECT_TRUE(f.caret == c.caret_after && f.anchor == c.caret_after) << c.clip;
    }
}

TEST_F(TextField, AMegabyteClipboardFillsTheFieldToItsLimit) {
    for (const std::string piece : {"ä", "x", "\xE2\x82\xAC"}) {
        Field f = field(Accept::Path, "", 0, 0);
        g_clip.clear();
        while (g_clip.size() < (1u << 20)) g_clip += piece;
        const gfx::Rect r = {0, 0, 300, 30};
        ui::paste(f, r);
        EXPECT_LE(f.text.size(), ui::kMaxFieldBytes);
        EXPECT_GT(f.text.size(), ui::kMaxFieldBytes - piece.size());
        EXPECT_TRUE(g_utf8_validate(f.text.data(), gssize(f.text.size()), nullptr));
        EXPECT_EQ(f.caret, f.text.size());
        EXPECT_FLOAT_EQ(f.scroll, width(f.text) - (300 - 16) + 4) << "the end in view";
    }
}

TEST_F(TextField, SelectionOffsetsAreReadAsBoundariesInsideTheText) {
    struct {
        const char* text;
        size_t caret, anchor;
        const char* selected;  // also what erasing removes
        const char* left;
        size_t caret_after;
    } cases[] = {
        {"aäb", 3, 1, "ä", "ab", 1},  // Backspace after "ä": both bytes
        {"abc", 1, 99, "bc", "a", 1},
        {"abc", 99, 50, "", "abc", 3},  // both beyond: nothing to remove
        {"aäb", 2, 3, "ä", "ab", 1},    // caret inside "ä": its start
        {"abc", 2, 2, "", "abc", 2},
        {"", 3, 7, "", "", 0},
    };
    for (const auto& c : cases) {
        Field f = field(Accept::Path, c.text, c.caret, c.anchor);
        g_clip = "untouched";
        ui::copy_clipboard(f);
        EXPECT_EQ(g_clip, *c.selected ? c.selected : "untouched") << c.text;
        ui::erase_selection(f);
        EXPECT_EQ(f.text, c.left) << c.text;
        if (c.caret != c.anchor) {
            EXPECT_TRUE(f.caret == c.caret_after && f.anchor == c.caret_after) << c.text;
        }
    }
    EXPECT_EQ(g_clip_sets, 3) << "an empty selection leaves the clipboard alone";
}

TEST_F(TextField, CaretGoesToTheNearestBoundaryTheEarlierOnATie) {
    // The inner area starts at 0 and nothing is scrolled, so x is the width before the caret.
    const gfx::Rect r = {-8, 0, 400, 30};
    Field digits = field(Accept::Path, "000", 0, 0);
    const float one = width("0"), two = width("00");
    EXPECT_EQ(ui::caret_from_x(digits, r, (one + two) / 2), 1u);
    EXPECT_EQ(ui::caret_from_x(digits, r, (one + two) / 2 + 0.5f), 2u);
    EXPECT_EQ(ui::caret_from_x(digits, r, -50), 0u);
    EXPECT_EQ(ui::caret_from_x(digits, r, 1e6f), 3u);
    EXPECT_EQ(ui::caret_from_x(digits, r, std::nanf("")), 0u) << "no distance is smaller";

    // Against the plain rule, every boundary measured, on mixed scripts and a scrolled field.
    Field f = field(Accept::Path, "Größe/音楽/Воспр/é\xCC\x81/x", 0, 0);
    f.scroll = 13;
    for (float x = 0; x < 260; x += 1.5f) {
        size_t best = 0;
        float best_d = 1e9f;
        for (size_t p = 0; p <= f.text.size(); ++p) {
            const float d = std::fabs(width(f.text.substr(0, p)) - (x - 28 + f.scroll));
            const bool boundary = p == f.text.size() || (f.text[p] & 0xC0) != 0x80;
            if (boundary && d < best_d) best = p, best_d = d;
        }
        EXPECT_EQ(ui::caret_from_x(f, {20, 0, 120, 30}, x), best) << x;
    }
}

TEST_F(TextField, ScrollingBackShows20PixelsBeforeTheCaret) {
    const std::string text = "/home/musik/Aufnahmen/2024/Konzerte/Sommer";
    const float end = width(text) - (200 - 16) + 4, to_k = width(text.substr(0, 10));
    ASSERT_TRUE(end > 40 && to_k > 20);
    // From the end scrolled into view: to the start, to the 10th byte, and a short text.
    for (auto [t, caret, want] : {std::tuple{text, size_t(0), 0.0f},
                                  {text, size_t(10), to_k - 20},
                                  {std::string("kurz"), size_t(4), 0.0f}}) {
        Field f = field(Accept::Path, t, caret, caret);
        f.scroll = end;
        ui::ensure_caret_visible(f, {50, 0, 200, 30});
        EXPECT_FLOAT_EQ(f.scroll, want) << t << " caret " << caret;
    }
}

TEST(Format, ThousandsAndPlayTimes) {
    EXPECT_EQ(ui::with_thousands(0), "0");
    EXPECT_EQ(ui::with_thousands(999), "999");
    EXPECT_EQ(ui::with_thousands(1000), "1.000");
    EXPECT_EQ(ui::with_thousands(1200000), "1.200.000");
    EXPECT_EQ(ui::with_thousands(UINT64_MAX), "18.446.744.073.709.551.615");
    const std::pair<double, const char*> times[] = {
        {59.9, "0:59"},        {61, "1:01"},       {3600, "1:00:00"}, {3725, "1:02:05"},
        {360000, "100:00:00"}, {360000.5, "0:00"}, {-1, "0:00"},      {std::nan(""), "0:00"}};
    for (const auto& [seconds, text] : times) EXPECT_EQ(ui::hhmmss(seconds), text) << seconds;
}

}  // namespace
