// The player's setters and its state rule, without its threads.
#include <gtest/gtest.h>

#include "playback/player.h"

// The state rule is the threads' own; tests reach it through the player's friend.
struct PlayerProbe {
    static void set_state(Player& p, Player::State s, const std::string& m) { p.set_state(s, m); }
    static void fail(Player& p, Player::Fault f, const std::string& m) { p.fail(f, m); }
};

namespace {

TEST(PlayerControl, VolumeIsKeptBetweenZeroAndOne) {
    Player p;
    EXPECT_FLOAT_EQ(p.volume(), 1.0f);
    p.set_volume(1.7f);
    EXPECT_FLOAT_EQ(p.volume(), 1.0f);
    p.set_volume(-0.2f);
    EXPECT_FLOAT_EQ(p.volume(), 0.0f);
    p.set_volume(0.35f);
    EXPECT_FLOAT_EQ(p.volume(), 0.35f);
}

TEST(PlayerControl, AnErrorKeepsItsReasonUntilReplacedOrLeft) {
    Player p;
    PlayerProbe::fail(p, Player::Fault::Folder, "Ordner weg");
    PlayerProbe::fail(p, Player::Fault::Output, "");
    EXPECT_EQ(p.status().state, Player::Error);
    EXPECT_EQ(p.status().fault, Player::Fault::Output);
    EXPECT_EQ(p.status().message, "Ordner weg");
    PlayerProbe::fail(p, Player::Fault::Output, "Ausgabe weg");
    EXPECT_EQ(p.status().message, "Ausgabe weg");
    PlayerProbe::set_state(p, Player::Playing, "");
    EXPECT_EQ(p.status().state, Player::Playing);
    EXPECT_EQ(p.status().fault, Player::Fault::None);
    EXPECT_EQ(p.status().message, "");
}

TEST(PlayerControl, StartsIdleWithDefaults) {
    Player p;
    Player::Status s = p.status();
    EXPECT_EQ(s.state, Player::Stopped);
    EXPECT_EQ(s.pool_size, 0u);
    EXPECT_EQ(s.last_scan, 0);
    EXPECT_EQ(p.rescan_minutes(), 15);
    EXPECT_FALSE(p.paused());
    EXPECT_EQ(p.filters().patterns, "*.mp3");
    EXPECT_FLOAT_EQ(p.leveler_config().target_db, -16.0f);
    Player::Levels l = p.take_levels();
    EXPECT_FALSE(l.fresh);
    EXPECT_EQ(l.peak[0], 0.0f);
    EXPECT_EQ(l.rms[1], 0.0f);
    p.stop();  // harmless when nothing runs
    EXPECT_EQ(p.status().state, Player::Stopped);
}

TEST(PlayerControl, SettingsAreCopiedUnderTheLock) {
    Player p;
    Leveler::Config level;
    level.on = false;
    level.target_db = -14;
    p.set_leveler(level);
    EXPECT_FALSE(p.leveler_config().on);
    EXPECT_FLOAT_EQ(p.leveler_config().target_db, -14.0f);

    FilterSet rules;
    rules.root = "/srv/aufnahmen";
    rules.window.from = 480;
    p.set_filters(rules);
    EXPECT_EQ(p.filters().root, "/srv/aufnahmen");
    EXPECT_EQ(p.filters().window.from, 480);

    p.set_device("pulse:zwei");
    EXPECT_EQ(p.device_id(), "pulse:zwei");
}

}  // namespace
