#include "gui/theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

double luminance(uint32_t argb) {
    auto channel = [argb](int shift) {
        double c = ((argb >> shift) & 0xFF) / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(16) + 0.7152 * channel(8) + 0.0722 * channel(0);
}

double contrast(uint32_t a, uint32_t b) {
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Restores the light palette, the state every run starts in.
struct ThemeTest : ::testing::Test {
    void TearDown() override { theme::set_dark(false); }
};

TEST_F(ThemeTest, StartsLightAndSwitches) {
    EXPECT_FALSE(theme::dark());
    EXPECT_EQ(theme::colors()[0], 0xFFF4F6F8u);
    EXPECT_EQ(theme::colors()[18], 0xFF2E7D32u);
    theme::set_dark(true);
    EXPECT_TRUE(theme::dark());
    EXPECT_EQ(theme::colors()[0], 0xFF14171Cu);
    EXPECT_EQ(theme::colors()[4], 0xFFDDE3EAu);
    EXPECT_EQ(theme::colors()[18], 0xFF56C271u);
    theme::set_dark(false);
    EXPECT_EQ(theme::colors()[4], 0xFF1B222Bu);
}

// A role that lands in the wrong row, or a palette entry taken from the other palette, shows
// up as text that cannot be read on its background.
TEST_F(ThemeTest, EveryPaletteKeepsItsTextReadable) {
    for (bool dark : {false, true}) {
        theme::set_dark(dark);
        const theme::Palette& c = theme::colors();
        for (uint32_t colour : c) EXPECT_EQ(colour >> 24, 0xFFu) << "all roles are opaque";
        for (int surface : {0, 1, 10}) {
            EXPECT_GE(contrast(c[4], c[surface]), 7.0) << "dark " << dark << " surface " << surface;
            EXPECT_GE(contrast(c[6], c[surface]), 12.0) << "dark " << dark << " surface " << surface;
            EXPECT_GE(contrast(c[5], c[surface]), 3.0) << "dark " << dark << " surface " << surface;
        }
        EXPECT_GE(contrast(c[9], c[7]), 3.0) << "text on the accent, dark " << dark;
        EXPECT_GE(contrast(c[4], c[13]), 4.5) << "selected text, dark " << dark;
    }
}

}  // namespace
