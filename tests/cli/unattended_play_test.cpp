// Headless play left alone, as its users run it for weeks: a sound server that restarts, is
// missing at start or freezes, and a folder that goes away and comes back. The built program
// plays generated recordings through the test's own PulseAudio server; what comes back is
// recorded from the default sink's monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "playback/player.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/program_env.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

const int kRate = 48000;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Seconds from the start of a stereo recording to its first sound; the length when silent.
double seconds_to_sound(const std::vector<short>& rec) {
    size_t i = 0;
    while (i + 1 < rec.size() && std::abs(rec[i]) <= 256) i += 2;
    return static_cast<double>(i / 2) / kRate;
}

class Unattended : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.skip_reason().empty()) GTEST_SKIP() << server.skip_reason();
        ASSERT_TRUE(server.up());
        dir.make_dir("music");
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            ASSERT_NE(encode_mp3(sine(kRate, 2, 2.5, 440, -12), music() + "/" + name), "");
    }
    void TearDown() override { server.thaw(); }

    std::string music() const { return dir / "music"; }
    std::string log() const { return program_log(home); }
    bool logged(const std::string& text, double seconds) const {
        return poll_until([&] { return log().find(text) != std::string::npos; }, seconds);
    }
    // Starts headless play of the folder for `seconds`; the result arrives when it has ended.
    std::future<RunResult> play_for(int seconds) {
        EnvChanges env = server.env();
        env["QVML_LANG"] = "en";
        const std::vector<std::string> args{"--play", music(), "--no-window-files",
                                            "--no-window-play", "--seconds",
                                            std::to_string(seconds)};
        const std::string h = home.path();
        return std::async(std::launch::async, [args, h, env] { return run_quavermill(args, h, env); });
    }

    TempDir dir;
    TempDir home;
    PulseServer server;
};

// The server dies under a playing stream and is back once play has tried it three times; or it
// is not there at all when play starts. Either way play goes on by itself, tells the console
// once, and the restarted server hears the recordings again within 2 s. Each run starts its log
// afresh.
TEST_F(Unattended, ASoundServerThatIsGoneComesBackIntoUse) {
    for (const bool at_start : {false, true}) {
        SCOPED_TRACE(at_start ? "no server at start" : "server restarts");
        if (at_start) server.kill();
        std::future<RunResult> run = play_for(16);
        if (!at_start) {
            ASSERT_TRUE(logged("spielt: ", 10));
            server.kill();
        }
        // Play has met the missing server (the log of the run before ends with the decoder);
        // the server stays missing for two more tries.
        ASSERT_TRUE(poll_until([&] {
            const std::string l = log();
            return count(l, "Ausgabe: Ausgabegeraet: ") > 0 && count(l, "Dekoder beendet") == 0;
        }, 10));
        std::this_thread::sleep_for(2 * Player::kOutputRetry);
        ASSERT_TRUE(server.start());
        MonitorRecorder rec(server, "second");
        const RunResult r = run.get();
        const std::vector<short> heard = rec.stop();
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_GT(heard_seconds(heard), 4.0) << "no sound after the server came back";
        EXPECT_LT(seconds_to_sound(heard), 2.0) << "the output is tried again every second";
        const size_t told = count(r.out, "\rAusgabegeraet: ");
        EXPECT_GE(told, 1u) << r.out;
        EXPECT_LE(told, 2u) << "told every half second: " << r.out;
        EXPECT_LE(count(log(), "Ausgabe: Ausgabegeraet: "), 2u) << log();
        EXPECT_NE(log().find("Ausgabe wieder offen: "), std::string::npos) << log();
    }
}

// A frozen server accepts the connection and never answers, so a write blocks for good; the
// time limit still ends play on time.
TEST_F(Unattended, AFrozenServerDoesNotHoldUpTheTimeLimit) {
    const auto begin = std::chrono::steady_clock::now();
    std::future<RunResult> run = play_for(6);
    ASSERT_TRUE(logged("spielt: ", 10));
    server.freeze();
    const RunResult r = run.get();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_LT(took, 6 + 2 + 1.5) << "start-up and a stop that waits at most a second";
}

// The folder is moved away while a recording plays and put back later, once the next recording
// was found missing: play does not end, the console tells once that the folder is gone, and the
// next recording starts by itself within the scan thread's 15 s retry.
TEST_F(Unattended, AFolderThatGoesAwayIsPickedUpWhenItIsBack) {
    std::future<RunResult> run = play_for(32);
    ASSERT_TRUE(logged("spielt: ", 10));
    ASSERT_EQ(std::rename(music().c_str(), (dir / "away").c_str()), 0);
    ASSERT_TRUE(logged("Ordner nicht erreichbar: ", 12));
    ASSERT_TRUE(logged("nicht mehr da: ", 12));
    ASSERT_EQ(std::rename((dir / "away").c_str(), music().c_str()), 0);
    ASSERT_TRUE(logged("Ordner wieder erreichbar: ", 20));
    const size_t back = log().find("Ordner wieder erreichbar: ");
    EXPECT_TRUE(poll_until([&] { return log().find("spielt: ", back) != std::string::npos; }, 5))
        << log();
    const RunResult r = run.get();
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(count(r.out, "\rFolder not reachable: " + music() + "\n"), 1u) << r.out;
    EXPECT_EQ(count(log(), "nicht lesbar: "), 0u) << log();
}

}  // namespace
