// The window as a user meets it: the built program on a private virtual display, driven with
// xdotool, looked at in screenshots, playing generated recordings to the test's own sound server.
// A failed check leaves its screenshot under /tmp/quavermill-window-failures.
#include <gtest/gtest.h>

#include <cairo.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "i18n/i18n.h"
#include "support/child.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/program_env.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/scoped_env.h"
#include "support/session_bus.h"
#include "support/sink_level.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"
#include "system/settings.h"
#include "ui/state.h"
#include "ui/ui.h"

using namespace testsupport;

namespace {

const int kRate = 48000;
const char kFailures[] = "/tmp/quavermill-window-failures";

struct Point {
    int x, y;
};

Point centre(const gfx::Rect& r) {
    return {static_cast<int>(r.x + r.w / 2), static_cast<int>(r.y + r.h / 2)};
}

// The colour of one pixel of a PNG file as 0xRRGGBB; 0xFF000000 when unreadable.
uint32_t pixel(const std::string& png, Point p) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
    uint32_t c = 0xFF000000;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && p.x >= 0 && p.y >= 0 &&
        p.x < cairo_image_surface_get_width(s) && p.y < cairo_image_surface_get_height(s)) {
        cairo_surface_flush(s);
        const unsigned char* row =
            cairo_image_surface_get_data(s) + p.y * cairo_image_surface_get_stride(s);
        c = reinterpret_cast<const uint32_t*>(row)[p.x] & 0xFFFFFF;
    }
    cairo_surface_destroy(s);
    return c;
}

// Xvfb, the sound server and a home of its own for every test; the program runs in it.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.up()) << "no virtual display";
        ASSERT_TRUE(server.up());
        env.set("HOME", home.path());
        env.set("XDG_CONFIG_HOME", home / ".config");
        i18n::set_language("en");
        ui::layout(940, 744);  // where the controls are, as the program lays them out
    }
    void TearDown() override {
        if (::testing::Test::HasFailure() && !window.empty()) {
            mkdir(kFailures, 0755);
            const std::string shot = std::string(kFailures) + "/" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
            if (x.screenshot(shot)) std::fprintf(stderr, "screenshot: %s\n", shot.c_str());
        }
        if (::testing::Test::HasFailure()) {
            const std::string err = read_file(home / "err.txt");
            std::fprintf(stderr, "program's stderr:\n%s\n", err.substr(err.size() > 4000 ? err.size() - 4000 : 0).c_str());
        }
        if (pid > 0) end_child(pid, SIGKILL, std::chrono::milliseconds(2000));
    }

    EnvChanges program_env() const {
        EnvChanges e = window_env(server, home, x.env());
        e["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
        // The toolkit's own leaks are suppressed by library; a sanitizer build of the program
        // needs whole stacks to see which library an allocation came from.
        const char* asan = std::getenv("ASAN_OPTIONS");
        e["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":fast_unwind_on_malloc=0";
        return e;
    }
    // Starts the window and waits for it; false when it did not appear.
    bool launch(const std::vector<std::string>& args = {}) {
        std::vector<std::string> argv{QM_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        pid = spawn(argv, program_env(), home / "out.txt", home / "err.txt");
        window = x.wait_window("Quavermill", 20);
        return pid > 0 && !window.empty();
    }
    // Closes the window as its close button does; the program's exit status, -1 on a signal.
    int close() {
        EXPECT_TRUE(x.close_window(window));
        int status = 0;
        const bool ended = poll_until([&] { return exited(pid, &status); }, 15);
        pid = -1;
        window.clear();
        if (!ended) return -2;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void click(Point p) {
        x.xdotool({"mousemove", "--window", window, std::to_string(p.x), std::to_string(p.y)});
        x.xdotool({"click", "1"});
    }
    void keys(const std::vector<std::string>& names) {
        x.xdotool({"windowfocus", "--sync", window});
        std::vector<std::string> args{"key", "--delay", "40"};
        args.insert(args.end(), names.begin(), names.end());
        x.xdotool(args);
    }
    std::string log() const { return program_log(home); }
    size_t logged(const std::string& text) const {
        const std::string l = log();
        size_t n = 0;
        for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++n;
        return n;
    }
    // The window's position and size as xdotool reports them.
    std::string geometry() const { return x.xdotool({"getwindowgeometry", window}).out; }
    uint32_t pixel_at(Point p) {
        const std::string shot = home / "shot.png";
        return x.screenshot(shot, window) ? pixel(shot, p) : 0xFF000000;
    }
    std::string music() {
        dir.make_dir("music");
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            encode_mp3(sine(kRate, 2, 20, 440, -12), dir / ("music/" + std::string(name)));
        return dir / "music";
    }

    Xvfb x;
    PulseServer server;
    SessionBus bus;
    TempDir home, dir;
    ScopedEnv env{{"HOME", "XDG_CONFIG_HOME"}};
    pid_t pid = -1;
    std::string window;
};

TEST_F(Window, OpensFixedSizedAndKeepsItsPlaceAndSettings) {
    ASSERT_TRUE(launch());
    EXPECT_NE(geometry().find("Geometry: 940x744"), std::string::npos) << geometry();
    const std::string hints = run({"xprop", "-id", window, "WM_NORMAL_HINTS"}, x.env()).out;
    EXPECT_NE(hints.find("minimum size: 940 by 744"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 940 by 744"), std::string::npos) << hints;
    // The class that ties the window to its menu entry quavermill.desktop.
    const std::string wm_class = run({"xprop", "-id", window, "WM_CLASS"}, x.env()).out;
    EXPECT_EQ(wm_class, "WM_CLASS(STRING) = \"quavermill\", \"quavermill\"\n");

    click(centre(ui::g_ui.folder));
    keys({"ctrl+a"});
    x.xdotool({"type", "--delay", "20", "/data/rec"});
    keys({"Return"});
    EXPECT_TRUE(poll_until([] { return settings::load().root == "/data/rec"; }, 8))
        << "the folder was not saved after the change";

    x.xdotool({"windowmove", window, "100", "120"});
    ASSERT_TRUE(poll_until([&] { return geometry().find("Position: 100,120") != std::string::npos; }, 5));
    EXPECT_EQ(close(), 0);
    Settings s = settings::load();
    EXPECT_EQ(s.win_x, 100);
    EXPECT_EQ(s.win_y, 120);
    EXPECT_EQ(s.win_w, 940);
    EXPECT_EQ(s.win_h, 744);

    ASSERT_TRUE(launch());
    EXPECT_NE(geometry().find("Position: 100,120"), std::string::npos) << geometry();
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(settings::load().root, "/data/rec");
}

TEST_F(Window, StartPauseNextAndStopAreHeard) {
    const std::string folder = music();
    Settings s;
    s.root = folder;
    s.autostart = false;
    s.win_files = false;
    s.win_play = false;
    ASSERT_TRUE(settings::save(s));
    ASSERT_TRUE(launch());
    const Point start = centre(ui::g_ui.start);
    EXPECT_TRUE(poll_until([&] { return pixel_at(start) == 0x2F80EDu; }, 10))
        << "Start is the accent-coloured button before playback";
    EXPECT_LT(level_over(server, 1.0), -60);

    click(start);
    ASSERT_TRUE(poll_until([&] { return logged("spielt: ") == 1; }, 10)) << log();
    EXPECT_TRUE(turns_audible(server)) << "a click on Start is not heard";
    EXPECT_NE(pixel_at(start), 0x2F80EDu) << "Stop is a secondary button";

    keys({"space"});
    EXPECT_TRUE(turns_silent(server)) << "Space does not pause";
    keys({"space"});
    EXPECT_TRUE(turns_audible(server)) << "Space does not resume";
    keys({"n"});
    EXPECT_TRUE(poll_until([&] { return logged("spielt: ") == 2; }, 10)) << "N did not skip";

    click(start);
    EXPECT_TRUE(turns_silent(server)) << "a second click on Start does not stop the sound";
    EXPECT_EQ(close(), 0);
}

// The desktop's media controls act as the buttons and the slider do: the button turns, the sound
// follows, the volume is saved; a seek from the keyboard is announced.
TEST_F(Window, MediaControlsActLikeTheButtons) {
    ASSERT_TRUE(bus.up());
    Settings s;
    s.root = music();
    s.autostart = false;
    s.win_files = false;
    s.win_play = false;
    ASSERT_TRUE(settings::save(s));
    BusMonitor signals(bus);
    ASSERT_TRUE(launch());
    const auto ctl = [&](const std::string& command) {
        return bus.client({"playerctl", "-p", "quavermill", command}).out;
    };
    ASSERT_TRUE(poll_until([&] { return ctl("status") == "Stopped\n"; }, 10));
    const std::string root = bus.client({"gdbus", "call", "--session", "-d",
                                         "org.mpris.MediaPlayer2.quavermill", "-o",
                                         "/org/mpris/MediaPlayer2", "-m",
                                         "org.freedesktop.DBus.Properties.Get",
                                         "org.mpris.MediaPlayer2", "CanRaise"}).out;
    EXPECT_EQ(root, "(<true>,)\n");

    const Point start = centre(ui::g_ui.start);
    ctl("play-pause");
    EXPECT_TRUE(poll_until([&] { return pixel_at(start) != 0x2F80EDu; }, 10))
        << "Start does not turn into Stop";
    EXPECT_TRUE(turns_audible(server)) << "play-pause does not start playback";
    EXPECT_EQ(ctl("status"), "Playing\n");
    ctl("play-pause");
    EXPECT_TRUE(turns_silent(server)) << "play-pause does not pause";
    ctl("play-pause");
    EXPECT_TRUE(turns_audible(server)) << "play-pause does not resume";

    keys({"Right"});
    EXPECT_TRUE(poll_until([&] { return signals.count("member=Seeked") == 1; }, 10))
        << "a seek from the keyboard is not announced";

    bus.client({"playerctl", "-p", "quavermill", "volume", "0.3"});
    EXPECT_TRUE(poll_until([] { return settings::load().volume == 0.3f; }, 8))
        << "the volume set through the bus is not saved";
    ctl("stop");
    EXPECT_TRUE(poll_until([&] { return pixel_at(start) == 0x2F80EDu; }, 10))
        << "Stop does not turn back into Start";
    EXPECT_TRUE(turns_silent(server));
    EXPECT_EQ(close(), 0);
}

// One window per user: a second start without a command leaves the first alone. A lock file
// that cannot be opened at all (here a configuration "folder" that is a file) does not keep the
// window from opening.
TEST_F(Window, ASecondStartLeavesTheFirstWindow) {
    ASSERT_TRUE(launch());
    const RunResult second = run_quavermill({}, home.path(), program_env());
    EXPECT_EQ(second.exit_code, 0);
    EXPECT_EQ(second.out, "Quavermill laeuft bereits.\n");
    EXPECT_EQ(x.wait_window("Quavermill", 1), window) << "the first window went away";
    EXPECT_EQ(close(), 0);

    TempDir other;
    other.write_text(".config/Quavermill", "not a folder");
    env.set("XDG_CONFIG_HOME", other / ".config");
    EnvChanges e = program_env();
    e["XDG_CONFIG_HOME"] = other / ".config";
    pid = spawn({QM_BINARY}, e, other / "out.txt", other / "err.txt");
    window = x.wait_window("Quavermill", 20);
    EXPECT_FALSE(window.empty()) << "no window without a usable configuration folder";
    if (!window.empty()) {
        EXPECT_EQ(close(), 0);
    }
}

TEST_F(Window, FolderOptionsOverrideTheSavedRulesOnlyWithAFolder) {
    Settings saved;
    saved.window.from = 600;
    saved.window.to = 660;
    saved.window.days = 0x05;
    saved.patterns = "x*.mp3";
    ASSERT_TRUE(settings::save(saved));

    ASSERT_TRUE(launch({"--pattern", "y*.mp3", "--from", "07:00"}));
    EXPECT_EQ(close(), 0);
    Settings s = settings::load();
    EXPECT_EQ(s.patterns, "x*.mp3");
    EXPECT_EQ(s.window.from, 600);

    ASSERT_TRUE(launch({"--folder", dir.path() + "/", "--from", "08:00"}));
    EXPECT_EQ(close(), 0);
    s = settings::load();
    EXPECT_EQ(s.root, dir.path());
    EXPECT_EQ(s.window.from, 480);
    EXPECT_EQ(s.window.to, 1200);
    EXPECT_EQ(s.window.days & 0x7F, FilterSet().window.days & 0x7F) << "every day";
    EXPECT_EQ(s.patterns, "x*.mp3");
}

TEST_F(Window, AFatalSignalLeavesTheCrashReport) {
    ASSERT_TRUE(launch());
    ::kill(pid, SIGSEGV);
    int status = 0;
    ASSERT_TRUE(poll_until([&] { return exited(pid, &status); }, 10));
    pid = -1;
    window.clear();
    EXPECT_TRUE(WIFSIGNALED(status));
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    }
    const std::string report = read_file(home / "Quavermill_crash.txt");
    EXPECT_NE(report.find("Quavermill.log"), std::string::npos) << report;
}

TEST(WindowWithoutDisplay, SaysSoAndEndsWithOne) {
    TempDir home;
    EnvChanges e{{"DISPLAY", ":79"}, {"WAYLAND_DISPLAY", ""}};
    const RunResult r = run_quavermill({}, home.path(), e);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.err.find("Keine Anzeige erreichbar (WAYLAND_DISPLAY und DISPLAY"), std::string::npos)
        << r.err;
    EXPECT_NE(read_file(home / ".config/Quavermill/Quavermill.log").find("Keine Anzeige"),
              std::string::npos);
}

}  // namespace
