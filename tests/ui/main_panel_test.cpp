// The main panel drawn into an image and read by pixel: the player buttons and the error colour
// with a real player, the weekday row, the progress bar, settings out of every range, and long
// texts of every language kept inside the window's margins and inside the overlay panels.
#include "ui/main_panel.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "gui/theme.h"
#include "support/poll.h"
#include "ui/about_panel.h"
#include "ui/settings_panel.h"
#include "ui/status_card.h"
#include "ui_session.h"

namespace {

using ui::g_ui;

uint32_t role(int index) { return theme::colors()[index]; }
// `top` at `alpha` over the opaque `below`.
uint32_t blend(uint32_t top, int alpha, uint32_t below) {
    uint32_t out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((top >> shift & 0xFF) * alpha + (below >> shift & 0xFF) * (255 - alpha) + 127) / 255
               << shift;
    return out;
}

struct MainPanel : testsupport::UiSession {
    void SetUp() override {
        UiSession::SetUp();
        theme::set_dark(false);
        open(Settings{}, nullptr);
    }
    void paint(double position, double duration) {
        Player::Status s;
        s.state = Player::Playing;
        s.name = std::string(300, 'W');
        s.message = s.device = std::string(200, 'M');
        s.time = 1714739400;
        s.position = position;
        s.duration = duration;
        ui::layout(kWidth, kHeight);
        ui::draw_impl(kWidth, kHeight, s);
    }
    uint32_t at(float x, float y) const { return canvas.at(int(x), int(y)); }
    // Pixels of `r` (on the canvas) for which `hit` holds.
    template <typename Pred>
    int count(const gfx::Rect& r, Pred hit) const {
        int n = 0;
        for (int y = int(std::floor(r.y)); y < std::ceil(r.y + r.h); ++y)
            for (int x = int(std::floor(r.x)); x < std::ceil(r.x + r.w); ++x) n += hit(at(x, y));
        return n;
    }
    int not_colour(const gfx::Rect& r, uint32_t c) const {
        return count(r, [c](uint32_t p) { return !testsupport::close_to(p, c, 1); });
    }
    // Text in the error colour: far more red than blue, which no grey or accent pixel is.
    int red(const gfx::Rect& r) const {
        return count(r, [](uint32_t p) { return int(p >> 16 & 0xFF) - int(p & 0xFF) > 60; });
    }
    testsupport::Canvas canvas{int(kWidth), int(kHeight)};
};

TEST_F(MainPanel, RealPlayerButtonsBeforeAndAfterStartAndItsError) {
    Settings s;
    s.root = home / "no such folder";
    s.win_play = false;  // no waiting for the daily window instead of showing the error
    s.autostart = true;
    Player player;
    open(s, &player);
    for (bool started : {false, true}) {
        if (started) {
            ui::start_on_launch();
            ASSERT_TRUE(testsupport::poll_until(
                [&] { return player.status().state == Player::Error; }, 10));
        }
        frame();
        EXPECT_EQ(at(g_ui.start.x + 4, g_ui.start.y + 9), role(started ? 1 : 7)) << "primary?";
        for (const gfx::Rect* r : {&g_ui.pause, &g_ui.next, &g_ui.rescan})
            EXPECT_EQ(at(r->x + 4, r->y + 9), role(started ? 1 : 2)) << "enabled?";
        EXPECT_EQ(red(g_ui.status_line) > 20 && red(g_ui.footer) > 20, started);
    }
}

TEST_F(MainPanel, WeekdayRowProgressBarAndRecordedLine) {
    const struct {
        bool rules;
        uint8_t mask, ticked;
        double position, duration;
        int bar_start, bar_quarter;  // roles at the bar's left end (knob?) and a quarter in
    } cases[] = {{true, 0, 0x7F, 0, 0, 14, 14},
                 {true, 0x80, 0x7F, 900, 0, 14, 14},
                 {true, 1, 1, 0, 1800, 7, 14},
                 {true, 0x41, 0x41, 900, 1800, 15, 15},
                 {false, 0x41, 0x41, 900, 1800, 15, 15}};
    for (const auto& c : cases) {
        ui::g_settings.time_rules = c.rules;
        ui::g_settings.window.days = c.mask;
        paint(c.position, c.duration);
        for (int d = 0; d < 7; ++d) {  // inside the box, clear of its tick
            const uint32_t ticked = role(c.ticked >> d & 1 ? 7 : 10);
            const uint32_t want = c.rules ? ticked : blend(ticked, 0x59, role(0));
            EXPECT_PRED3(testsupport::close_to, at(g_ui.days[d].x + 9, g_ui.days[d].y + 8), want, 1)
                << int(c.mask) << " day " << d;
        }
        const gfx::Rect& sunday = g_ui.days[6];
        const float hint = sunday.x + sunday.w;
        EXPECT_EQ(not_colour({hint, sunday.y, kWidth - hint, sunday.h}, role(0)) > 0,
                  (c.mask & 0x7F) == 0);
        EXPECT_EQ(not_colour(g_ui.recorded, role(1)) > 0, c.rules);
        const gfx::Rect& bar = g_ui.progress;
        EXPECT_EQ(at(bar.x + 3, bar.y + 6), role(c.bar_start)) << c.duration;
        EXPECT_EQ(at(bar.x + bar.w / 4, bar.y + 6), role(c.bar_quarter)) << c.duration;
    }
}

// A tick repaints the bar only where its filled part and knob can have moved, and the state line.
TEST_F(MainPanel, AMovingProgressBarChangesOnlyWhereItIsRepainted) {
    const double duration = 1800;
    for (const auto& [from, to] : {std::pair{900.0, 903.5}, {903.5, 900.0}, {0.0, 41.0}}) {
        paint(from, duration);
        const std::vector<uint32_t> before = canvas.pixels();
        paint(to, duration);
        const std::vector<uint32_t> after = canvas.pixels();
        const int was = int(from / duration * g_ui.progress.w);
        const int is = int(to / duration * g_ui.progress.w);
        const gfx::Rect area = ui::progress_area(std::min(was, is), std::max(was, is) + 1);
        EXPECT_LT(area.w, g_ui.progress.w / 4);
        int outside = 0;
        for (int y = 0; y < int(kHeight); ++y)
            for (int x = 0; x < int(kWidth); ++x) {
                if (before[y * int(kWidth) + x] == after[y * int(kWidth) + x]) continue;
                auto in = [x, y](const gfx::Rect& r) {
                    return x >= std::floor(r.x) && x < std::ceil(r.x + r.w) &&
                           y >= std::floor(r.y) && y < std::ceil(r.y + r.h);
                };
                outside += !in(area) && !in(g_ui.status_line);
            }
        EXPECT_EQ(outside, 0) << from << " to " << to;
    }
}

TEST_F(MainPanel, SettingsOutOfEveryRangeDrawWithoutNaN) {
    Settings s;
    s.root = "/\xff\xfe/Aufnahmen";
    s.volume = 7;
    s.leveler = {true, -300, std::numeric_limits<float>::quiet_NaN()};
    s.window = {-5, 5000, 255};
    s.time_source = static_cast<TimeSource>(9);
    s.language = "xx";
    s.audio_device = "pulse:gone";
    open(s, nullptr);
    ui::g_devices = {{"pulse:here", "Here", true}};
    ui::g_dev_scroll = 99;
    ui::g_about_open = ui::g_settings_open = true;
    paint(std::nan(""), 1e300);
    EXPECT_EQ(cairo_status(canvas.cr()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(ui::g_dev_scroll, 0);
    std::vector<gfx::Rect> rects = g_ui.device_rects;
    rects.insert(rects.end(), {g_ui.about_panel, g_ui.about_web, g_ui.about_mail,
                               g_ui.settings_panel, g_ui.settings_close, g_ui.device_area});
    for (const gfx::Rect& r : rects) EXPECT_TRUE(std::isfinite(r.x + r.y + r.w + r.h));
}

TEST_F(MainPanel, LongTextsOfEveryLanguageStayInsideTheirPlaces) {
    ui::g_settings.window.days = 0;  // with the hint beside Sunday
    ui::g_devices = {{"pulse:long", std::string(300, 'S'), true}};
    const struct {
        void (*draw)(float, float);
        const gfx::Rect* panel;
    } overlays[] = {{ui::draw_about, &g_ui.about_panel}, {ui::draw_settings, &g_ui.settings_panel}};
    const float m = 16;
    for (const i18n::Language& language : i18n::languages()) {
        i18n::set_language(language.code);
        paint(754, 1800);
        // The meter's last scale number is centred on a tick 2.5 pixels inside its right edge,
        // so a wide digit may reach into the margin: the meter's rows are left out there.
        const gfx::Rect& meter = g_ui.meter;
        const float below = meter.y + meter.h;
        const gfx::Rect margins[] = {{0, 0, m, kHeight},
                                     {0, kHeight - m, kWidth, m},
                                     {kWidth - m, 0, m, meter.y},
                                     {kWidth - m, below, m, kHeight - below}};
        for (const gfx::Rect& r : margins)
            EXPECT_EQ(not_colour(r, role(0)), 0) << language.code << " at x " << r.x;
        for (const auto& o : overlays) {  // in a narrow window, where they wrap and cut the most
            gfx::clear(role(0));
            o.draw(500, kHeight);
            const gfx::Rect& p = *o.panel;  // 10 pixels around it, a pixel off its edge: shaded
            const gfx::Rect ring[] = {{p.x - 11, p.y - 11, p.w + 22, 10},
                                      {p.x - 11, p.y + p.h + 1, p.w + 22, 10},
                                      {p.x - 11, p.y, 10, p.h},
                                      {p.x + p.w + 1, p.y, 10, p.h}};
            for (const gfx::Rect& r : ring)
                EXPECT_EQ(not_colour(r, blend(0, 0xB4, role(0))), 0) << language.code;
        }
    }
}

}  // namespace
