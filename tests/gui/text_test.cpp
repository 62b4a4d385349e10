#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "canvas.h"
#include "gui/gfx.h"

namespace {

using testsupport::Canvas;
using GfxTest = testsupport::GfxTest;

TEST_F(GfxTest, AlignedTextStartsWhereItsWidthPutsIt) {
    const char* sample = "Wiedergabe";
    const float width = gfx::text_width(sample, 16, false);
    ASSERT_GT(width, 40);
    auto ink = [&](gfx::Rect r, gfx::Align align, bool vcenter) {
        Canvas canvas(300, 120);
        gfx::text(r, sample, 16, 0xFF000000, align, false, vcenter);
        return canvas.changed().box;
    };
    // The glyphs' own margin, measured at the left edge of a rectangle at 0.
    const int margin = ink({0, 0, 300, 40}, gfx::Align::Left, false)[0];
    struct {
        gfx::Rect r;
        gfx::Align align;
        float start;
    } cases[] = {{{37, 0, 200, 40}, gfx::Align::Left, 37},
                 {{0, 0, 200, 40}, gfx::Align::Center, (200 - width) / 2},
                 {{20, 0, 200, 40}, gfx::Align::Right, 20 + 200 - width}};
    for (const auto& c : cases)
        EXPECT_NEAR(ink(c.r, c.align, false)[0] - margin, c.start, 1.0) << int(c.align);
    EXPECT_NEAR(ink({0, 0, 300, 100}, gfx::Align::Left, true)[1] -
                    ink({0, 0, 300, 60}, gfx::Align::Left, true)[1],
                20, 1.0);
    const auto cut = ink({10, 0, 30, 40}, gfx::Align::Left, false);
    EXPECT_TRUE(cut[0] >= 10 && cut[2] == 40) << "too wide: cut at the rectangle's edge";
}

TEST_F(GfxTest, FitCharsCutsMultiByteTextOnlyBetweenCharacters) {
    for (const std::string text :
         {"Größenänderung übernehmen", "Воспроизведение", "音楽を再生します", "تشغيل الموسيقى"}) {
        const float full = gfx::text_width(text, 14, false);
        EXPECT_EQ(gfx::fit_chars(text, 14, full), text.size()) << text;
        EXPECT_EQ(gfx::fit_chars(text, 14, 0.5f), 0u) << text;
        for (float max = 1; max < full; max += 4) {
            const size_t n = gfx::fit_chars(text, 14, max);
            ASSERT_TRUE(n < text.size() && g_utf8_validate(text.data(), gssize(n), nullptr))
                << text << " cut at byte " << n;
            EXPECT_LE(gfx::text_width(text.substr(0, n), 14, false), max) << text;
            const size_t longer = g_utf8_next_char(text.data() + n) - text.data();
            EXPECT_GT(gfx::text_width(text.substr(0, longer), 14, false), max)
                << text << ": one more character would still fit in " << max;
        }
    }
    // Each ideograph a full em: drawn from a CJK font, not as a box of hex digits.
    EXPECT_NEAR(gfx::text_width("音楽再生", 20, false), 80, 3);
    const std::string broken = "Gr\xC3\xB6\xC3";  // ends in half a character
    EXPECT_GT(gfx::text_width(broken, 14, false), gfx::text_width("Grö", 14, false));
    EXPECT_EQ(gfx::fit_chars(broken, 14, 1000), broken.size());
}

TEST_F(GfxTest, IsolateMarksAreInvisibleAndSteerTheLinesDirection) {
    const std::string lri = "\u2066", fsi = "\u2068", pdi = "\u2069";
    const std::string hebrew = "ברירת מחדל";
    EXPECT_EQ(gfx::text_width("ab" + lri + "cd" + pdi, 14, false),
              gfx::text_width("abcd", 14, false));
    {
        Canvas canvas(100, 30);
        gfx::text({0, 0, 100, 30}, lri + fsi + pdi + pdi, 14, 0xFF000000, gfx::Align::Left, false,
                  false);
        EXPECT_EQ(canvas.changed().count, 0) << "drawn as boxes";
    }
    // A unit that does not fit is left out whole.
    const std::string line = "ab " + lri + "-20 dB" + pdi;
    EXPECT_EQ(gfx::fit_chars(line, 14, gfx::text_width("ab -20 d", 14, false)), 3u);
    // A line that begins with an isolated Latin name runs right to left when its first letter
    // outside the isolate is Hebrew: the Hebrew stands at its left end. Compared by the ink of
    // each column, as the line may put the word a fraction of a pixel off.
    auto ink_by_column = [&](const std::string& text) {
        Canvas canvas(400, 30);
        gfx::text({0, 0, 400, 30}, text, 14, 0xFF000000, gfx::Align::Left, false, false);
        std::vector<int> ink;
        for (int x = 0; x < int(gfx::text_width(hebrew, 14, false)); ++x) {
            ink.push_back(0);
            for (int y = 0; y < 30; ++y) ink.back() += canvas.at(x, y) != 0xFFFFFFFF;
        }
        return ink;
    };
    auto matches_hebrew = [&](const std::string& text) {
        const std::vector<int> want = ink_by_column(hebrew), got = ink_by_column(text);
        for (size_t x = 0; x < want.size(); ++x)
            if (std::abs(got[x] - want[x]) > 2) return false;
        return true;
    };
    EXPECT_TRUE(matches_hebrew(fsi + "Built-in Audio" + pdi + " · " + hebrew));
    EXPECT_FALSE(matches_hebrew("Built-in Audio · " + hebrew)) << "a plain line: left to right";
}

TEST_F(GfxTest, FontsAreKeptPerHundredthOfAPixelAndWeight) {
    EXPECT_EQ(gfx::cached_fonts(), 0u);
    const float a = gfx::text_width("Quavermill", 13.999f, false);
    EXPECT_EQ(gfx::text_width("Quavermill", 13.991f, false), a);
    EXPECT_EQ(gfx::cached_fonts(), 1u) << "13.999 and 13.991 share one font";
    gfx::text_width("Quavermill", 14.0f, false);
    gfx::text_width("Quavermill", 14.0f, true);
    Canvas canvas(200, 40);
    gfx::text({0, 0, 200, 40}, "Quavermill", 14.004f, 0xFF000000, gfx::Align::Left, true, false);
    EXPECT_EQ(gfx::cached_fonts(), 3u);
}

TEST(GfxLifecycle, NothingIsMeasuredBeforeInitOrAfterShutdown) {
    for (bool initialised : {false, true, false}) {
        if (initialised) ASSERT_TRUE(gfx::init(nullptr));
        else gfx::shutdown();
        EXPECT_EQ(gfx::text_width("abc", 14, false) > 0, initialised);
        EXPECT_EQ(gfx::fit_chars("abc", 14, 100), initialised ? 3u : 0u);
    }
    EXPECT_EQ(gfx::cached_fonts(), 0u);
}

}  // namespace
