// What a user's machine may hold where the program expects a plain file or a plain number: named
// pipes at the settings and log paths and in the pool, levels that are not finite. The built
// program must end by itself as usual; each run has a generous bound instead of hanging forever.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <future>
#include <string>

#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/version_text.h"

using namespace testsupport;

namespace {

void make_fifo(const std::string& path) { ASSERT_EQ(0, mkfifo(path.c_str(), 0600)) << path; }

TEST(HostileFiles, APipeAtTheSettingsOrLogPathDoesNotHoldUpAStart) {
    for (const char* name : {"settings.dat", "Quavermill.log"}) {
        SCOPED_TRACE(name);
        TempDir home;
        make_fifo(home.make_dir(".config/Quavermill") + "/" + name);
        RunResult r = run_quavermill({"--version"}, home.path());
        EXPECT_EQ(r.exit_code, 0) << "killed at the bound: " << r.signal;
        EXPECT_EQ(r.out, "Quavermill " + version_text() + "\n");
    }
}

// A track replaced by a pipe after the scan fails like an unreadable file; before, the decode
// thread waited for a writer for good and the time limit was never honoured. The folder watch
// may take the pipe out of the pool before the decode thread reaches it; either way it must
// never be waited on.
TEST(HostileFiles, APipeInThePoolFailsToOpenAndTheTimeLimitHolds) {
    PulseServer server;
    ASSERT_TRUE(server.up());
    TempDir home, dir;
    const std::string music = dir.make_dir("music");
    ASSERT_FALSE(encode_mp3(sine(48000, 2, 1.0, 440, -20), music + "/a.mp3").empty());
    const std::string log = home / ".config/Quavermill/Quavermill.log";

    auto run = std::async(std::launch::async, [&] {
        return run_quavermill({"--play", music, "--seconds", "5", "--no-window-files",
                               "--no-window-play"}, home.path(), server.env());
    });
    const bool started = poll_until([&] {
        return read_file(log).find("spielt: a.mp3") != std::string::npos;
    }, 30);
    make_fifo(dir / "pipe");
    ASSERT_EQ(0, std::rename((dir / "pipe").c_str(), (music + "/a.mp3").c_str()));
    RunResult r = run.get();
    ASSERT_TRUE(started) << r.out;
    EXPECT_EQ(r.signal, 0) << "killed at the bound";
    const std::string text = read_file(log);
    EXPECT_TRUE(text.find("nicht lesbar: " + music + "/a.mp3") != std::string::npos ||
                text.find("Aenderungen im Ordner: 0 neu oder geaendert, 1 weg") != std::string::npos)
        << text;
}

TEST(HostileFiles, LevelsThatAreNotFiniteReadLikeNoNumber) {
    TempDir home, dir;
    const std::string empty = dir.make_dir("empty");
    for (auto [target, ceiling] : {std::pair{"nan", "-1e999"}, {"inf", "1e39"}}) {
        SCOPED_TRACE(target);
        RunResult r = run_quavermill({"--play", empty, "--target", target, "--ceiling", ceiling,
                                      "--seconds", "1"}, home.path());
        EXPECT_EQ(r.out.rfind("Angleichung: an  Ziel 0.0 dB  Deckel 0.0 dB\n", 0), 0u) << r.out;
    }
}

}  // namespace
