// The window as a screen reader meets it: the built program on a private virtual display, session
// bus and accessibility bus, read and driven by a pyatspi client (tests/tools/at_client.py) the
// way Orca reads it, playing generated recordings to the test's own sound server.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>
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

const std::string kClient = std::string(QM_SOURCE_DIR) + "/tests/tools/at_client.py";

// The line of the tree that describes the node `role` named `name`; "" when there is none.
std::string line_of(const std::string& tree, const std::string& role, const std::string& name) {
    const std::string key = "\"role\": \"" + role + "\", \"name\": \"" + name + "\"";
    const size_t at = tree.find(key);
    if (at == std::string::npos) return "";
    const size_t start = tree.rfind('\n', at) + 1;  // npos + 1 is 0
    return tree.substr(start, tree.find('\n', at) - start);
}

bool has_state(const std::string& line, const std::string& state) {
    return line.find("\"" + state + "\"") != std::string::npos;
}

class A11yWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.up());
        ASSERT_TRUE(server.up());
        ASSERT_TRUE(bus.up()) << "no private session and accessibility bus";
        env.set("HOME", home.path());
        env.set("XDG_CONFIG_HOME", home / ".config");
        i18n::set_language("en");
        ui::layout(940, 744);
    }
    void TearDown() override {
        if (HasFailure()) std::fprintf(stderr, "program's log:\n%s\n", log().c_str());
        if (pid > 0) end_child(pid, SIGKILL, std::chrono::milliseconds(2000));
    }
    EnvChanges client_env() const {
        EnvChanges e = bus.env();
        for (const auto& [k, v] : x.env()) e[k] = v;
        return e;
    }
    bool launch() {
        EnvChanges e = bus.env();
        for (const auto& [k, v] : window_env(server, home, x.env())) e[k] = v;
        e["NO_AT_BRIDGE"] = "0";
        pid = spawn({QM_BINARY}, e, home / "out.txt", home / "err.txt");
        window = x.wait_window("Quavermill", 20);
        return pid > 0 && !window.empty() &&
               poll_until([&] { return log().find("Erstes Bild") != std::string::npos; }, 20);
    }
    RunResult client(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"/usr/bin/python3", kClient};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv, client_env(), {}, 60);
    }
    std::string tree() const {
        const RunResult r = client({"tree"});
        if (r.exit_code != 0) std::fprintf(stderr, "client: %s\n", r.err.c_str());
        return r.out;
    }
    // Waits for the tree to show the node with (or, when `on` is false, without) `state`.
    bool tree_shows(const std::string& role, const std::string& name, const std::string& state,
                    bool on = true) const {
        return poll_until([&] {
            const std::string line = line_of(tree(), role, name);
            return !line.empty() && has_state(line, state) == on;
        }, 15);
    }
    std::string log() const { return program_log(home); }

    Xvfb x;
    PulseServer server;
    SessionBus bus{true, x.display()};
    TempDir home, dir;
    ScopedEnv env{{"HOME", "XDG_CONFIG_HOME"}};
    pid_t pid = -1;
    std::string window;
};

TEST_F(A11yWindow, ListsEveryControlInReadingOrderInEnglishThenInGerman) {
    ASSERT_TRUE(launch());
    EXPECT_EQ(log().find("Bildschirmleser"), std::string::npos) << "built before anyone asked";

    const std::string t = tree();
    struct Expect {
        const char* role;
        const char* name;
        const char* state;  // one it must have
    };
    const Expect kOrder[] = {
        {"push button", "Settings", "enabled"},      {"push button", "Quavermill", "enabled"},
        {"entry", "Folder", "focusable"},            {"push button", "Browse …", "showing"},
        {"entry", "Pattern", "editable"},            {"check box", "Include subfolders", "checkable"},
        {"check box", "Time range", "checkable"},    {"entry", "– Time range", "single line"},
        {"check box", "applies to playback", "showing"}, {"check box", "Sun", "showing"},
        {"radio button", "From file name", "checked"}, {"radio button", "Disabled", "showing"},
        {"label", "no track", "showing"},            {"slider", "no track", "showing"},
        {"push button", "Start", "enabled"},         {"push button", "Rescan", "showing"},
        {"check box", "Random", "checkable"},        {"slider", "Volume", "enabled"},
        {"slider", "Max. level", "enabled"},         {"check box", "Start at login (and desktop shortcut)", "enabled"},
        {"level bar", "Output level R", "showing"},
    };
    size_t next = 0;  // where the next one may begin at the earliest
    for (const Expect& e : kOrder) {
        const std::string line = line_of(t, e.role, e.name);
        ASSERT_FALSE(line.empty()) << e.role << " " << e.name << " missing from\n" << t;
        EXPECT_GE(t.find(line), next) << e.name << " out of reading order";
        next = t.find(line) + 1;
        EXPECT_TRUE(has_state(line, e.state)) << line;
    }
    EXPECT_FALSE(has_state(line_of(t, "push button", "Pause"), "enabled")) << "before playback";
    EXPECT_NE(line_of(t, "push button", "Start").find("118, 34]"), std::string::npos)
        << "its extents are those drawn";
    EXPECT_NE(log().find("Bildschirmleser"), std::string::npos);

    // The settings overlay: a dialog with the 45 language entries and the server's sinks, and
    // the main panel not showing behind it.
    ASSERT_EQ(client({"act", "Settings"}).exit_code, 0);
    ASSERT_TRUE(tree_shows("dialog", "Settings", "showing"));
    const std::string open = tree();
    const std::smatch list = [&] {
        std::smatch m;
        std::regex_search(open, m, std::regex(R"("path": \[(\d+), (\d+)\], "role": "list", "name": "Language")"));
        return m;
    }();
    ASSERT_FALSE(list.empty()) << open;
    const std::string prefix = "\"path\": [" + list[1].str() + ", " + list[2].str() + ", ";
    size_t entries = 0;
    for (size_t at = open.find(prefix); at != std::string::npos; at = open.find(prefix, at + 1)) ++entries;
    EXPECT_EQ(entries, 45u);
    EXPECT_FALSE(line_of(open, "list item", "Erste Senke").empty()) << open;
    EXPECT_FALSE(has_state(line_of(open, "push button", "Start"), "showing"));
    // A click at the Start button's place would close the overlay, and the language after it
    // would then be refused: the action behind the overlay must be refused itself.
    client({"act", "Start"});
    ASSERT_EQ(client({"act", "Deutsch", "list item"}).exit_code, 0);
    ASSERT_TRUE(tree_shows("list item", "Deutsch", "selected"));
    EXPECT_FALSE(line_of(tree(), "dialog", "Einstellungen").empty());
    EXPECT_FALSE(line_of(tree(), "push button", "Start").empty()) << "not started";
    ASSERT_EQ(client({"act", "Schließen"}).exit_code, 0);
    ASSERT_TRUE(tree_shows("push button", "Einstellungen", "showing"));
    const std::string de = tree();
    for (const char* name : {"Ordner", "Durchsuchen …", "Lautstärke", "Ausgangspegel L"})
        EXPECT_NE(de.find("\"name\": \"" + std::string(name) + "\""), std::string::npos) << name;
    EXPECT_TRUE(line_of(de, "dialog", "Einstellungen").empty());
}

TEST_F(A11yWindow, ActionsValuesAndTextsTakeTheWindowsOwnPaths) {
    dir.make_dir("music");
    encode_mp3(sine(48000, 2, 20, 440, -12), dir / "music/a.mp3");
    Settings s;  // the recording is new: the daily window must not depend on the hour of the run
    s.win_files = false;
    s.win_play = false;
    ASSERT_TRUE(settings::save(s));
    ASSERT_TRUE(launch());

    const bool loop = settings::load().loop;
    ASSERT_EQ(client({"act", "Endless"}).exit_code, 0);
    EXPECT_TRUE(poll_until([&] { return settings::load().loop != loop; }, 10));

    ASSERT_EQ(client({"value", "Volume", "0.5"}).exit_code, 0);
    EXPECT_TRUE(poll_until([] { return settings::load().volume == 0.5f; }, 10));
    client({"value", "Volume", "nan"});
    client({"value", "Volume", "1e300"});
    EXPECT_TRUE(poll_until([] { return settings::load().volume == 1.0f; }, 10)) << "clamped";

    ASSERT_EQ(client({"text", "Folder", dir / "music"}).exit_code, 0);
    EXPECT_TRUE(poll_until([&] { return settings::load().root == dir / "music"; }, 10));

    ASSERT_EQ(client({"type", "Time range", "25:00"}).exit_code, 0);
    EXPECT_TRUE(tree_shows("entry", "Time range", "invalid entry"));

    MonitorRecorder keeps_time(server, "second");  // a null sink nobody records starts late
    ASSERT_EQ(client({"act", "Start"}).exit_code, 0);
    EXPECT_TRUE(tree_shows("push button", "Stop", "enabled"));
    // Heard at the sink: a recording of half a second well above silence.
    EXPECT_TRUE(poll_until([&] {
        const std::vector<short> pcm = record(server, 0.5);
        double sum = 0;
        for (short v : pcm) sum += double(v) * v;
        return !pcm.empty() && std::sqrt(sum / pcm.size()) > 1000;
    }, 20));
}

TEST_F(A11yWindow, TabMovesTheFocusAndAFocusEventNamesTheField) {
    ASSERT_TRUE(launch());
    const gfx::Rect& folder = ui::g_ui.folder;
    x.xdotool({"mousemove", "--window", window, std::to_string(int(folder.x + 20)),
               std::to_string(int(folder.y + folder.h / 2))});
    x.xdotool({"click", "1"});
    ASSERT_TRUE(tree_shows("entry", "Folder", "focused"));

    std::vector<std::string> argv{"/usr/bin/python3", kClient, "focus", "20"};
    const pid_t listener = spawn(argv, client_env(), home / "focus.txt", home / "focus.err");
    ASSERT_TRUE(poll_until([&] { return read_file(home / "focus.txt").find("READY") != std::string::npos; }, 20));
    x.xdotool({"windowfocus", "--sync", window});
    x.xdotool({"key", "Tab"});
    int status = 0;
    EXPECT_TRUE(poll_until([&] { return exited(listener, &status); }, 30));
    EXPECT_NE(read_file(home / "focus.txt").find("READY\nPattern"), std::string::npos)
        << read_file(home / "focus.txt") << read_file(home / "focus.err");
    EXPECT_TRUE(tree_shows("entry", "Folder", "focused", false));
}

}  // namespace
