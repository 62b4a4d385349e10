#include <glib.h>
#include <gtest/gtest.h>

#include <string>

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
