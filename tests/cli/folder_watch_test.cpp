// Headless play while recordings come and go in its folder: the built program plays generated
// recordings through the test's own PulseAudio server; what it sees shows in the pool count of
// its status line and in the log's "spielt: " lines. The periodic rescan is 15 minutes away,
// so whatever joins here was seen by the folder's watches.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/child.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

// Changes show within 2 s (the benchmark measures that); the bound leaves room for a loaded
// machine and the half-second status poll.
const double kSeen = 5.0;
const double kNextTrack = 12.0;  // the current recording ends first

class FolderWatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.up());
        dir.make_dir("music");
        for (const int seconds : {2, 4})
            ASSERT_NE(encode_mp3(sine(48000, 2, seconds, 440, -12), tone(seconds)), "");
    }
    void TearDown() override {
        if (pid > 0) end_child(pid, SIGTERM, std::chrono::seconds(3));
    }

    std::string tone(int seconds) const { return dir / ("tone" + std::to_string(seconds) + ".mp3"); }
    std::string music() const { return dir / "music"; }
    std::string out() const { return read_file(home / "out.txt"); }
    std::string log() const { return read_file(home / ".config/Quavermill/Quavermill.log"); }

    // Writes the recording into the folder as a copy would: opened, written, closed.
    void copy_in(int seconds, const std::string& rel) const {
        std::ofstream(dir / ("music/" + rel), std::ios::binary) << read_file(tone(seconds));
    }
    void play(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> argv{QM_BINARY, "--play", music(), "--no-window-files",
                                      "--no-window-play", "--seconds", "90"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        EnvChanges env = server.env();
        env["HOME"] = home.path();
        env["XDG_CONFIG_HOME"] = home / ".config";
        pid = spawn(argv, env, home / "out.txt", home / "err.txt");
        ASSERT_GT(pid, 0);
    }
    // The status line shows a pool of `n` after `from` bytes of output.
    bool pool_shown(size_t n, size_t from) const {
        const std::string line = "dB   " + std::to_string(n) + " im Vorrat";
        return poll_until([&] { return out().find(line, from) != std::string::npos; }, kSeen);
    }
    bool played(const std::string& name, size_t from, double seconds) const {
        return poll_until([&] { return log().find("spielt: " + name, from) != std::string::npos; },
                          seconds);
    }

    TempDir dir;
    TempDir home;
    PulseServer server;
    pid_t pid = -1;
};

// Each newcomer is the only recording of the round not played yet, so it plays next.
TEST_F(FolderWatch, RecordingsThatComeJoinAndThoseThatGoLeave) {
    copy_in(4, "a.mp3");
    play();
    ASSERT_TRUE(played("a.mp3", 0, 15));
    struct Step {
        const char* what;
        std::function<void()> change;
        size_t pool;
        const char* plays;  // next, or null
    };
    const Step steps[] = {
        {"written", [&] { copy_in(4, "b.mp3"); }, 2, "b.mp3"},
        {"linked", [&] { ASSERT_EQ(symlink(tone(4).c_str(), (music() + "/c.mp3").c_str()), 0); }, 3,
         "c.mp3"},
        {"in a new subfolder", [&] { dir.make_dir("music/sub"); copy_in(4, "sub/d.mp3"); }, 4,
         "d.mp3"},
        {"deleted", [&] { ASSERT_EQ(std::remove((music() + "/a.mp3").c_str()), 0); }, 3, nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const size_t shown = out().size(), logged = log().size();
        s.change();
        EXPECT_TRUE(pool_shown(s.pool, shown)) << out().substr(shown);
        if (s.plays) {
            EXPECT_TRUE(played(s.plays, logged, kNextTrack)) << log();
        }
    }
}

// Without subfolders, a file in a new subfolder stays out; one written after it into the folder
// itself joins, so by then the first would have joined too.
TEST_F(FolderWatch, ASubfolderStaysOutWithoutSubfolders) {
    copy_in(4, "a.mp3");
    play({"--no-recursive"});
    ASSERT_TRUE(played("a.mp3", 0, 15));
    const size_t shown = out().size();
    dir.make_dir("music/sub");
    copy_in(4, "sub/d.mp3");
    copy_in(4, "e.mp3");
    EXPECT_TRUE(pool_shown(2, shown)) << out().substr(shown);
    EXPECT_EQ(out().find("dB   3 im Vorrat", shown), std::string::npos);
}

// A recording written a little every 100 ms for 5 s is held back while the two-second one plays
// again, and plays once it is closed.
TEST_F(FolderWatch, AFileBeingWrittenWaitsUntilItIsClosed) {
    copy_in(2, "a.mp3");
    play();
    ASSERT_TRUE(played("a.mp3", 0, 15));
    const size_t before = log().size();
    const std::string bytes = read_file(tone(4));
    const size_t chunks = 50;
    {
        std::ofstream slow(music() + "/slow.mp3", std::ios::binary);
        for (size_t i = 0; i < chunks; ++i) {
            const size_t from = bytes.size() * i / chunks, to = bytes.size() * (i + 1) / chunks;
            slow.write(bytes.data() + from, static_cast<std::streamsize>(to - from)).flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writer's pace
        }
        const std::string so_far = log();
        ASSERT_EQ(so_far.find("spielt: slow.mp3"), std::string::npos) << so_far;
        EXPECT_NE(so_far.find("spielt: a.mp3", before), std::string::npos)
            << "no change of track while the file was written";
        EXPECT_EQ(out().find("dB   2 im Vorrat"), std::string::npos);
    }
    const size_t logged = log().size();
    EXPECT_TRUE(played("slow.mp3", logged, kNextTrack)) << log();
}

}  // namespace
