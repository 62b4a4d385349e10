// The panel driving a real player through a private PulseAudio server: the playback keys and the
// progress bar, stopped and playing, and the device list of the settings panel.
#include "playback/player.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "ui_session.h"

namespace {

using namespace keymap;
using testsupport::poll_until;
using ui::g_ui;

struct PanelPlayback : testsupport::UiSession {
    void SetUp() override {
        UiSession::SetUp();
        ASSERT_TRUE(server.up());
        server.export_env();
        for (const char* name : {"a.mp3", "b.mp3"})
            ASSERT_FALSE(
                testsupport::encode_mp3(testsupport::sine(48000, 2, 30, 440, -12), music / name).empty());
        Settings s;
        s.root = music.path();
        s.time_rules = false;
        s.shuffle = false;
        open(s, &player);
    }
    void wheel_on_progress(int step) {
        const gfx::Rect& p = g_ui.progress;
        ui::on_wheel(p.x + p.w / 2, p.y + p.h / 2, step);
    }

    testsupport::PulseServer server;
    testsupport::TempDir music;
    Player player;
};

TEST_F(PanelPlayback, PlaybackKeysSeekPauseAndSkipOnlyWhilePlaying) {
    auto playing = [&](const char* name, double from_s, double below_s) {
        return poll_until([&] {
            const Player::Status s = player.status();
            return s.state == Player::Playing && s.name == name && s.position >= from_s &&
                   s.position < below_s;
        }, 10);
    };
    // Stopped: nothing may be left pending for the next start either.
    key(Left, true);
    for (keymap::Code code : {Space, LetterN, Right}) key(code);
    wheel_on_progress(-1);
    EXPECT_EQ(player.status().state, Player::Stopped);
    EXPECT_FALSE(player.paused());
    click(g_ui.start);
    ASSERT_TRUE(playing("a.mp3", 0.5, 5));

    key(Right);
    EXPECT_TRUE(playing("a.mp3", 15, 25));
    key(Left, true);
    EXPECT_TRUE(playing("a.mp3", 0, 5));
    wheel_on_progress(-1);
    EXPECT_TRUE(playing("a.mp3", 14, 25));
    key(Space);
    EXPECT_TRUE(poll_until([&] { return player.status().state == Player::Paused; }, 5));
    key(Space);
    key(LetterN);
    EXPECT_TRUE(playing("b.mp3", 0, 25));

    // A track stays on show after a stop; its progress bar must not seek the next start.
    click(g_ui.start);
    drag(g_ui.progress, 0.9f, 0.9f);
    click(g_ui.start);
    EXPECT_TRUE(poll_until([&] { return player.status().state == Player::Playing; }, 10));
    EXPECT_LT(player.status().position, 5);
}

TEST_F(PanelPlayback, TheDeviceListShowsTheSinksAndAChoiceMovesPlayback) {
    click(g_ui.start);
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Playing; }, 10));
    ASSERT_NE(player.status().device, "Erste Senke");

    click(g_ui.settings_button);
    frame();
    const auto& devices = ui::g_devices;
    ASSERT_EQ(devices.size(), 2u);
    ASSERT_EQ(g_ui.device_rects.size(), 3u) << "the default device and the two sinks";
    const size_t first = devices[0].id == "pulse:first" ? 0 : 1;
    EXPECT_EQ(devices[first].name, "Erste Senke");
    EXPECT_EQ(devices[1 - first].id, "pulse:second");

    click(g_ui.device_rects[first + 1]);
    EXPECT_EQ(ui::g_settings.audio_device, "pulse:first");
    EXPECT_TRUE(poll_until([&] { return player.status().device == "Erste Senke"; }, 10));
    EXPECT_TRUE(ui::g_settings_open) << "a choice acts at once and leaves the panel open";

    click(g_ui.device_rects[0]);
    EXPECT_EQ(player.device_id(), "");
}

}  // namespace
