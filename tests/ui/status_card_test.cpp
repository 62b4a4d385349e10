// The texts of the status card and the footer as a user reads them, in English.
#include "ui/status_card.h"

#include <gtest/gtest.h>

#include <cmath>

#include "i18n/i18n.h"
#include "ui/state.h"

namespace {

Player::Status status(Player::State state, const char* message = "", const char* device = "") {
    Player::Status s;
    s.state = state;
    s.message = message;
    s.device = device;
    return s;
}

TEST(StatusTexts, StateLineAndFooterOfEveryState) {
    i18n::set_language("en");
    ui::g_settings = Settings{};
    Player::Status scanning = status(Player::Scanning), waiting = status(Player::Waiting, "N", "S");
    scanning.progress.files = 12345;
    waiting.wait_seconds = 3725;
    const std::string kWaiting = "Paused — outside playback hours";
    const struct {
        Player::Status s;
        std::string state, footer;
    } cases[] = {
        {status(Player::Stopped, "", "S"), "", "Output device: S"},
        {scanning, "scanning … 12.345", ""},
        {status(Player::NoFiles), "No matching file found", ""},
        {status(Player::Paused), "Pause", ""},
        {waiting, kWaiting + "  ·  resumes at 06:00 by itself  (1:02:05)",
         "N  ·  Output device: S"},
        {status(Player::Error, "No output", "S"), "No output", "No output"},  // no device
        {status(Player::Finished), "Pool played through", ""},
        {status(static_cast<Player::State>(42)), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ui::state_text(c.s), c.state) << c.s.state;
        EXPECT_EQ(ui::footer_text(c.s), c.footer) << c.s.state;
    }
    ui::g_settings.window.from = -1;  // open from midnight
    EXPECT_EQ(ui::state_text(waiting), kWaiting + "  ·  resumes at 00:00 by itself  (1:02:05)");
}

TEST(StatusTexts, PositionPoolAndLevels) {
    i18n::set_language("en");
    Player::Status s = status(Player::Paused);
    s.pool_size = 1200000;
    s.in_db = -23.4f;
    s.out_db = -16.1f;
    s.gain_db = 7.3f;
    EXPECT_EQ(ui::pool_text(s), "1.200.000 tracks in pool");
    s.state = Player::Playing;
    EXPECT_EQ(ui::pool_text(s), "1.200.000 tracks in pool  ·  -23 → -16 dB (+7.3)");
    const struct {
        double position, duration;
        const char* text;
        float fraction;
    } cases[] = {{900, 0, "", 0},
                 {754, 1800, "12:34 / 30:00", 754.0f / 1800},
                 {5000, 3725, "1:23:20 / 1:02:05", 1},
                 {NAN, 100, "0:00 / 1:40", 0}};
    for (const auto& c : cases) {
        s.position = c.position;
        s.duration = c.duration;
        EXPECT_EQ(ui::position_text(s), c.text) << c.duration;
        EXPECT_FLOAT_EQ(ui::progress_fraction(s), c.fraction) << c.position << " of " << c.duration;
    }
}

}  // namespace
