// Lines that join translated words with numbers, signs, units, names and paths. In the
// right-to-left languages the numbers keep their order and stand where the reading puts them;
// English frames are pixel for pixel those in tests/ui/reference, drawn before right-to-left
// lines were looked after (QM_WRITE_REFERENCE=1 draws them anew).
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/gobject_ptr.h"
#include "gui/theme.h"
#include "support/poll.h"
#include "ui/about_panel.h"
#include "ui/main_panel.h"
#include "ui/settings_panel.h"
#include "ui/status_card.h"
#include "ui_session.h"

namespace {

using ui::g_ui;

constexpr const char* kReadout = "-20 → -18 dB (+4.3)";
constexpr const char* kRecordedAt = "03.05.2024  14:30:00";  // 1714739400 in Berlin
constexpr const char* kDevice = "3.5 mm Headphones";

std::string sans_family() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    gobj::Ref<PangoContext> context(pango_font_map_create_context(map));
    PangoFontDescription* asked = pango_font_description_from_string("Sans 13");
    gobj::Ref<PangoFont> font(pango_font_map_load_font(map, context.get(), asked));
    PangoFontDescription* got = pango_font_describe(font.get());
    std::string family = pango_font_description_get_family(got);
    pango_font_description_free(got);
    pango_font_description_free(asked);
    return family;
}

struct RightToLeft : testsupport::UiSession {
    void SetUp() override {
        UiSession::SetUp();
        theme::set_dark(false);
        Settings s;
        s.time_rules = true;
        s.window.from = 6 * 60;
        open(s, nullptr);
        ui::g_devices = {{"pulse:a", kDevice, true}, {"pulse:b", "USB Audio", false}};
    }
    static Player::Status playing() {
        Player::Status s;
        s.state = Player::Playing;
        s.name = "2026-05-03 08.15 Morgenandacht";
        s.time = 1714739400;
        s.position = 754;
        s.duration = 1800;
        s.pool_size = 1200000;
        s.in_db = -20.2f;
        s.out_db = -18;
        s.gain_db = 4.3f;
        s.message = "Folder not reachable: /tmp/Aufnahmen";
        s.device = kDevice;
        return s;
    }
    // Left edges of the characters of `line` from byte `from` to `to`, laid out as the panel
    // lays out its status and footer lines.
    std::vector<int> lefts(const std::string& line, size_t from, size_t to) const {
        gobj::Ref<PangoLayout> layout(pango_cairo_create_layout(canvas.cr()));
        PangoFontDescription* font = pango_font_description_from_string("Sans");
        pango_font_description_set_absolute_size(font, 13 * g_ui.scale * PANGO_SCALE);
        pango_layout_set_font_description(layout.get(), font);
        pango_font_description_free(font);
        pango_layout_set_text(layout.get(), line.data(), int(line.size()));
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
        std::vector<int> xs;
        for (size_t i = from; i < to; i = g_utf8_next_char(line.data() + i) - line.data()) {
            PangoRectangle r;
            pango_layout_index_to_pos(layout.get(), int(i), &r);
            xs.push_back(PANGO_PIXELS(std::min(r.x, r.x + r.width)));
        }
        return xs;
    }
    // `part`, found in `line`, drawn left to right character by character.
    void expect_in_order(const std::string& line, const std::string& part) const {
        const size_t at = line.find(part);
        ASSERT_NE(at, std::string::npos) << part << " in " << line;
        const std::vector<int> xs = lefts(line, at, at + part.size());
        for (size_t i = 1; i < xs.size(); ++i)
            EXPECT_LT(xs[i - 1], xs[i]) << i18n::effective_language() << ": " << part << " at "
                                        << i;
    }
    // The canvas inside `r` is the reference image `name`.
    void expect_as_before(const gfx::Rect& r, const std::string& name) const {
        const int x0 = int(r.x), y0 = int(r.y), w = int(r.x + r.w) - x0, h = int(r.y + r.h) - y0;
        const std::string path = std::string(QM_SOURCE_DIR) + "/tests/ui/reference/" + name;
        cairo_surface_t* crop = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(crop);
        cairo_set_source_surface(cr, cairo_get_target(canvas.cr()), -x0, -y0);
        cairo_paint(cr);
        cairo_destroy(cr);
        if (std::getenv("QM_WRITE_REFERENCE")) cairo_surface_write_to_png(crop, path.c_str());
        cairo_surface_t* ref = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(ref), CAIRO_STATUS_SUCCESS) << path;
        ASSERT_EQ(cairo_image_surface_get_width(ref), w) << name;
        ASSERT_EQ(cairo_image_surface_get_height(ref), h) << name;
        const uint32_t opaque =
            cairo_image_surface_get_format(ref) == CAIRO_FORMAT_RGB24 ? 0xFF000000 : 0;
        int differ = 0;
        for (int y = 0; y < h; ++y) {
            auto row = [y](cairo_surface_t* s) {
                return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                         y * cairo_image_surface_get_stride(s));
            };
            for (int x = 0; x < w; ++x) differ += row(crop)[x] != (row(ref)[x] | opaque);
        }
        EXPECT_EQ(differ, 0) << name << ": pixels that changed";
        cairo_surface_destroy(ref);
        cairo_surface_destroy(crop);
    }
    testsupport::Canvas canvas{int(kWidth), int(kHeight)};
};

TEST_F(RightToLeft, EnglishFramesAreDrawnAsBefore) {
    const std::string family = sans_family();
    if (family != "Noto Sans")
        GTEST_SKIP() << "the references were drawn in Noto Sans, not " << family;
    Player::Status s = playing();
    ui::draw_impl(kWidth, kHeight, s);
    expect_as_before({0, 0, kWidth, kHeight}, "playing_en.png");
    s.state = Player::Waiting;
    s.wait_seconds = 3725;
    ui::draw_impl(kWidth, kHeight, s);
    expect_as_before(g_ui.status_line, "waiting_en.png");
    s.state = Player::Scanning;
    s.progress.files = 12345;
    ui::draw_impl(kWidth, kHeight, s);
    expect_as_before(g_ui.status_line, "scanning_en.png");
    ui::g_about_open = true;
    ui::draw_impl(kWidth, kHeight, s);
    expect_as_before(g_ui.about_panel, "about_en.png");
    ui::g_settings_open = true;
    ui::draw_impl(kWidth, kHeight, s);
    expect_as_before(g_ui.settings_panel, "settings_en.png");
}

TEST_F(RightToLeft, NumbersKeepTheirOrderAndStandWhereTheReadingPutsThem) {
    Player::Status s = playing();
    s.message.clear();  // the footer starts with the device's caption
    for (const char* code : {"ar", "fa", "he", "ur", "en"}) {
        i18n::set_language(code);
        ui::draw_impl(kWidth, kHeight, s);
        const std::string pool = ui::pool_text(s);
        expect_in_order(pool, kReadout);
        expect_in_order(ui::recorded_text(s), kRecordedAt);
        expect_in_order(ui::footer_text(s), kDevice);
        // The readout comes after the words and the count before them: in a right-to-left
        // line the readout is their left neighbour and the count their right one.
        const size_t words = pool.find(i18n::T("pool")), readout = pool.find(kReadout);
        const std::vector<int> count = lefts(pool, 0, words), text = lefts(pool, words, readout),
                               levels = lefts(pool, readout, pool.size());
        const bool rtl = i18n::rtl();
        EXPECT_EQ(levels.back() < *std::min_element(text.begin(), text.end()), rtl) << code;
        EXPECT_EQ(count.front() > *std::max_element(text.begin(), text.end()), rtl) << code;
    }
}

TEST_F(RightToLeft, APathInThePlayersMessageKeepsItsOwnOrder) {
    i18n::set_language("he");
    Settings s;
    s.root = home / "Aufnahmen 2026";
    s.win_play = false;
    s.autostart = true;  // starts with the panel
    Player player;
    open(s, &player);
    ui::start_on_launch();
    ASSERT_TRUE(
        testsupport::poll_until([&] { return player.status().state == Player::Error; }, 10));
    expect_in_order(ui::state_text(player.status()), s.root);
}

}  // namespace
