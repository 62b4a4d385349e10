// The scan thread with real folders. The files are not audio, so either the decode thread is kept
// waiting by a playback window that never opens, or it finds them unreadable, which lets a test
// follow which files the round hands out.
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "i18n/i18n.h"
#include "playback/player.h"
#include "support/log_count.h"
#include "support/poll.h"
#include "support/temp_dir.h"

using testsupport::log_count;
using testsupport::poll_until;
using testsupport::TempDir;

namespace {

// Files of any name are taken at any time; playback hours are switched off.
FilterSet playing_rules(const std::string& root) {
    FilterSet rules;
    rules.root = root;
    rules.win_files = false;
    rules.win_play = false;
    return rules;
}

// As above, but the playback window never opens, so the decode thread only waits.
FilterSet idle_rules(const std::string& root) {
    FilterSet rules = playing_rules(root);
    rules.win_play = true;
    rules.window.from = 1440;
    rules.window.to = 0;
    return rules;
}

class PlayerScan : public ::testing::Test {
protected:
    void SetUp() override {
        i18n::set_language("en");
        timing.minute = std::chrono::milliseconds(100);
        timing.folder_retry = std::chrono::milliseconds(300);
        timing.idle_look = std::chrono::milliseconds(50);
        player.set_timing(timing);
    }
    // Only scans see what changes in the folder.
    void without_watches() {
        timing.watch.init = [](int) {
            errno = EMFILE;
            return -1;
        };
        player.set_timing(timing);
    }
    std::string music() const { return dir / "music"; }
    void add_files(int from, int to) const {
        for (int i = from; i < to; ++i)
            dir.write_file("music/f" + std::to_string(i) + ".mp3", 2048);
    }
    // Empty recordings in `dirs` subfolders of `per_dir` each: a scan long enough to meet.
    FilterSet large_tree(int dirs, int per_dir) const {
        for (int d = 0; d < dirs; ++d)
            for (int f = 0; f < per_dir; ++f)
                dir.write_file("music/d" + std::to_string(d) + "/" + std::to_string(f) + ".mp3", 0);
        FilterSet rules = idle_rules(music());
        rules.min_bytes = 0;
        return rules;
    }
    // Progress is told after each folder of `per_dir` files: while this holds, the running scan
    // has at least one folder of its `total` files still to read.
    bool folders_left(int per_dir, int total) {
        return player.status().progress.files + 2 * per_dir <= total;
    }
    bool pool_is(size_t n) { return player.status().pool_size == n; }
    bool message_is(const std::string& text) { return player.status().message == text; }

    TempDir dir;
    Player::Timing timing;
    Player player;
};

TEST_F(PlayerScan, NoFolderAndEmptyFolderTellWhy) {
    player.set_rescan_minutes(0);
    player.set_filters(playing_rules(""));
    player.start();
    ASSERT_TRUE(poll_until([&] { return message_is("No folder given"); }, 3));
    std::this_thread::sleep_for(4 * timing.idle_look);  // the decode thread looks again
    EXPECT_EQ(player.status().state, Player::NoFiles);
    EXPECT_EQ(player.status().message, "No folder given");

    dir.make_dir("music");
    player.set_filters(playing_rules(music()));
    ASSERT_TRUE(poll_until([&] { return message_is("No matching file found"); }, 3));
    EXPECT_EQ(player.status().state, Player::NoFiles);
    EXPECT_GT(player.status().last_scan, 0);
}

// The reason stays on show while the pool is empty, although the decode thread looks at the
// empty pool again and again and the scan thread waits longer before it tries again.
TEST_F(PlayerScan, UnreachableFolderIsReportedAndTriedAgain) {
    Player::Timing slow_retry;
    slow_retry.folder_retry = std::chrono::seconds(10);
    slow_retry.idle_look = timing.idle_look;
    player.set_timing(slow_retry);
    player.set_filters(playing_rules(music()));
    player.start();
    const std::string why = std::string(i18n::T("err_no_dir")) + ": " + music();
    EXPECT_EQ(why, "Folder not reachable: " + music());
    ASSERT_TRUE(poll_until([&] { return message_is(why); }, 3));
    std::this_thread::sleep_for(4 * slow_retry.idle_look);
    EXPECT_EQ(player.status().state, Player::Error);
    EXPECT_EQ(player.status().message, why);

    dir.make_dir("music");
    player.rescan();  // a request ends the wait before the retry
    EXPECT_TRUE(poll_until([&] { return message_is("No matching file found"); }, 5));
}

TEST_F(PlayerScan, AFailedRescanKeepsThePool) {
    add_files(0, 3);
    player.set_filters(idle_rules(music()));
    player.start();
    ASSERT_TRUE(poll_until([&] { return pool_is(3); }, 3));

    ASSERT_EQ(std::rename(music().c_str(), (dir / "away").c_str()), 0);
    player.rescan();
    ASSERT_TRUE(poll_until([&] { return message_is("Folder not reachable: " + music()); }, 3));
    EXPECT_EQ(player.status().pool_size, 3u);

    ASSERT_EQ(std::rename((dir / "away").c_str(), music().c_str()), 0);
    add_files(3, 4);
    EXPECT_TRUE(poll_until([&] { return pool_is(4); }, 5)) << "folder not tried again by itself";
}

// The walk skips the subfolders it can no longer open, so a folder that goes away during a
// rescan leaves a fraction of the pool; that fraction must not replace the pool.
TEST_F(PlayerScan, AFolderThatGoesAwayDuringARescanKeepsThePool) {
    const int dirs = 50, per_dir = 200, total = dirs * per_dir;
    player.set_rescan_minutes(0);
    player.set_filters(large_tree(dirs, per_dir));
    player.start();
    ASSERT_TRUE(poll_until([&] { return pool_is(total); }, 30));

    player.rescan();
    ASSERT_TRUE(poll_until([&] {
        scanner::Progress p = player.status().progress;
        return p.dirs >= 2 && p.files < total;
    }, 10));
    ASSERT_EQ(std::rename(music().c_str(), (dir / "away").c_str()), 0);
    if (!folders_left(per_dir, total))
        GTEST_SKIP() << "the rescan ended before the folder went away";
    ASSERT_TRUE(poll_until([&] { return message_is("Folder not reachable: " + music()); }, 10));
    EXPECT_EQ(player.status().pool_size, static_cast<size_t>(total));
    EXPECT_EQ(player.status().state, Player::Error);
}

TEST_F(PlayerScan, RescansOnRequestAndEveryInterval) {
    without_watches();
    add_files(0, 2);
    player.set_rescan_minutes(1);  // a "minute" lasts 100 ms here
    player.set_filters(idle_rules(music()));
    player.start();
    ASSERT_TRUE(poll_until([&] { return pool_is(2); }, 3));
    add_files(2, 3);
    EXPECT_TRUE(poll_until([&] { return pool_is(3); }, 5)) << "no periodic rescan";

    player.set_rescan_minutes(0);
    std::this_thread::sleep_for(Player::kIntervalSeen);  // a scan begun before ends
    add_files(3, 4);
    std::this_thread::sleep_for(8 * timing.minute);
    EXPECT_EQ(player.status().pool_size, 3u) << "rescanned without interval or request";
    player.rescan();
    EXPECT_TRUE(poll_until([&] { return pool_is(4); }, 5));
}

TEST_F(PlayerScan, StartTwiceRescansWithoutSecondThreads) {
    add_files(0, 1);
    const size_t scanners = log_count("Sucher gestartet");
    const std::string done = "Durchlauf fertig: 1 Treffer in " + music();
    player.set_filters(idle_rules(music()));
    player.start();
    ASSERT_TRUE(poll_until([&] { return log_count(done) == 1; }, 5));
    player.start();
    EXPECT_TRUE(poll_until([&] { return log_count(done) == 2; }, 5));
    EXPECT_EQ(log_count("Sucher gestartet"), scanners + 1);
    player.stop();
    EXPECT_EQ(player.status().state, Player::Stopped);
    player.start();  // a stopped player starts again
    EXPECT_TRUE(poll_until([&] { return log_count(done) == 3; }, 5));
}

TEST_F(PlayerScan, StopDuringAScanWaitsForItAndDropsItsResult) {
    const int dirs = 50, per_dir = 200;
    player.set_filters(large_tree(dirs, per_dir));
    player.start();
    ASSERT_TRUE(poll_until([&] { return player.status().progress.dirs >= 2; }, 10));
    if (!folders_left(per_dir, dirs * per_dir))
        GTEST_SKIP() << "the scan ended before the test could stop it";
    player.stop();
    Player::Status s = player.status();
    EXPECT_EQ(s.progress.files, dirs * per_dir) << "stop returned before the scan ended";
    EXPECT_EQ(s.pool_size, 0u) << "the result of a stopped scan went into the pool";
    EXPECT_EQ(s.state, Player::Stopped);
    EXPECT_EQ(log_count("Treffer in " + music()), 0u);
}

// Unreadable files still take their turn in the round, so the log shows what was handed out.
TEST_F(PlayerScan, NewFilesJoinTheRoundWithoutRepeats) {
    add_files(0, 3);
    player.set_loop(false);
    player.set_shuffle(false);
    player.set_filters(playing_rules(music()));
    player.start();
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Finished; }, 5));
    EXPECT_EQ(log_count("nicht lesbar: " + music() + "/"), 3u);

    add_files(3, 4);
    player.rescan();
    const std::string newcomer = "nicht lesbar: " + music() + "/f3.mp3";
    ASSERT_TRUE(poll_until([&] { return log_count(newcomer) == 1; }, 5));
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Finished; }, 5));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(log_count("nicht lesbar: " + music() + "/f" + std::to_string(i) + ".mp3"), 1u);
    EXPECT_EQ(player.status().round_pos, 4u);
}

std::string g_watchable;  // the one folder watch_one lets be watched

int watch_one(int fd, const char* path, uint32_t mask) {
    if (g_watchable == path) return inotify_add_watch(fd, path, mask);
    errno = ENOSPC;
    return -1;
}

// Without inotify, or with the per-user watch limit reached, the log says so once and the
// periodic rescans find what the watches cannot.
TEST_F(PlayerScan, WhereWatchesCannotSeeRescansFindNewFiles) {
    struct Case {
        const char* line;
        watcher::Kernel kernel;
    };
    const Case cases[] = {
        {"Keine Ueberwachung des Ordners moeglich (", {[](int) { errno = EMFILE; return -1; }, nullptr}},
        {"Grenze der Ueberwachungen erreicht (fs.inotify.max_user_watches = ", {nullptr, watch_one}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir tree;
        tree.write_file("music/f0.mp3", 2048);
        tree.make_dir("music/sub");
        g_watchable = tree / "music";
        const size_t told = log_count(c.line);
        const size_t scans = log_count("Treffer in " + g_watchable);
        Player p;
        timing.minute = std::chrono::milliseconds(300);
        timing.watch = c.kernel;
        p.set_timing(timing);
        p.set_rescan_minutes(1);
        p.set_filters(idle_rules(g_watchable));
        p.start();
        ASSERT_TRUE(poll_until([&] { return p.status().pool_size == 1; }, 5));
        tree.write_file("music/sub/s.mp3", 2048);
        EXPECT_TRUE(poll_until([&] { return p.status().pool_size == 2; }, 5));
        ASSERT_TRUE(poll_until([&] { return log_count("Treffer in " + g_watchable) >= scans + 3; }, 5));
        EXPECT_EQ(log_count(c.line), told + 1);
    }
}

// Gone, the folder is tried again as before; back, it is watched again: with no rescans due, a
// new file joins.
TEST_F(PlayerScan, AFolderThatComesBackIsWatchedAgain) {
    add_files(0, 1);
    player.set_rescan_minutes(0);
    player.set_filters(idle_rules(music()));
    player.start();
    ASSERT_TRUE(poll_until([&] { return pool_is(1); }, 5));
    ASSERT_EQ(std::rename(music().c_str(), (dir / "away").c_str()), 0);
    ASSERT_TRUE(poll_until([&] { return message_is("Folder not reachable: " + music()); }, 5))
        << "the watch did not see the folder go";
    ASSERT_EQ(std::rename((dir / "away").c_str(), music().c_str()), 0);
    ASSERT_TRUE(poll_until([&] { return player.status().state != Player::Error; }, 5));
    add_files(1, 2);
    EXPECT_TRUE(poll_until([&] { return pool_is(2); }, 5));
}

}  // namespace
