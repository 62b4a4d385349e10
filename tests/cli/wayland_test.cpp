// The window on a Wayland desktop: the built program under a private headless Weston, with no
// X11 display to fall back to, playing to the test's own sound server. That compositor has no
// input devices, so the toolkit meets a display without any seat.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "support/child.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "support/sink_level.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/weston.h"
#include "system/settings.h"

using namespace testsupport;

namespace {

// Whether half a second of the default sink holds sound.
bool audible(const PulseServer& server) {
    for (short v : record(server, 0.5))
        if (std::abs(v) > 1000) return true;
    return false;
}

// Opens, draws its first frame, plays the saved folder because the settings say to start with
// the window, keeps the stored place it cannot use here, and closes cleanly when the session
// asks it to; the toolkit says nothing on the way.
TEST(Wayland, OpensPlaysAndClosesWithoutAWordFromTheToolkit) {
    Weston weston;
    if (!weston.up()) GTEST_SKIP() << "weston could not start here: " << weston.failure();
    PulseServer server;
    ASSERT_TRUE(server.up());
    TempDir home, dir;
    ScopedEnv env{{"HOME", "XDG_CONFIG_HOME"}};
    env.set("HOME", home.path());
    env.set("XDG_CONFIG_HOME", home / ".config");
    dir.make_dir("music");
    ASSERT_NE(encode_mp3(sine(48000, 2, 20, 440, -12), dir / "music/a.mp3"), "");
    Settings s;
    s.root = dir / "music";
    s.autostart = true;
    s.win_files = false;
    s.win_play = false;
    s.win_x = 100;
    s.win_y = 120;
    ASSERT_TRUE(settings::save(s));

    EnvChanges e = server.env();
    for (const auto& [k, v] : weston.env()) e[k] = v;
    e["HOME"] = home.path();
    e["XDG_CONFIG_HOME"] = home / ".config";
    e["XDG_RUNTIME_DIR"] = home.path();
    e["QVML_LANG"] = "en";
    // Leaks are suppressed by library, so a sanitizer build needs whole stacks.
    const char* asan = std::getenv("ASAN_OPTIONS");
    e["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":fast_unwind_on_malloc=0";
    const pid_t pid = spawn({QM_BINARY}, e, home / "out.txt", home / "err.txt", {"DISPLAY"});
    ASSERT_GT(pid, 0);
    const std::string log = home / ".config/Quavermill/Quavermill.log";
    const bool drawn = poll_until([&] { return read_file(log).find("Erstes Bild nach ") != std::string::npos; }, 20);
    const bool playing = poll_until([&] { return read_file(log).find("spielt: ") != std::string::npos; }, 20);
    const bool heard = playing && poll_until([&] { return audible(server); }, 15);
    ::kill(pid, SIGTERM);
    int status = 0;
    const bool ended = poll_until([&] { return exited(pid, &status); }, 15);
    if (!ended) end_child(pid, SIGKILL, std::chrono::milliseconds(1000));
    const std::string err = read_file(home / "err.txt");

    EXPECT_TRUE(drawn) << read_file(log) << err;
    EXPECT_TRUE(playing) << read_file(log);
    EXPECT_TRUE(heard) << "nothing reached the sound server";
    ASSERT_TRUE(ended) << "SIGTERM did not close the window";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << err;
    EXPECT_EQ(err.find("CRITICAL **"), std::string::npos) << err;
    EXPECT_EQ(err.find("WARNING **"), std::string::npos) << err;
    const Settings kept = settings::load();
    EXPECT_EQ(kept.win_x, 100) << "Wayland tells no position, so the stored one stays";
    EXPECT_EQ(kept.win_y, 120);
    EXPECT_EQ(kept.win_w, 940) << "the close saved the window";
}

}  // namespace
