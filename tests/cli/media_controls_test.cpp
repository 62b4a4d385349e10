// The desktop's media controls as a desktop meets them: headless play of generated recordings on
// a private session bus, driven by playerctl, gdbus and dbus-send, judged by what the sink plays
// and by the signals a dbus-monitor sees.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>
#include <regex>
#include <string>
#include <thread>

#include "gui/mpris.h"
#include "support/child.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/program_env.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/session_bus.h"
#include "support/sink_level.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

const char kName[] = "org.mpris.MediaPlayer2.quavermill";
const char kPath[] = "/org/mpris/MediaPlayer2";
const char kPlayer[] = "org.mpris.MediaPlayer2.Player";

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

class MediaControls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.up());
        ASSERT_TRUE(server.up());
        dir.make_dir("music");
        // Recording times in the names: 10:15 and 11:15 local time on 1 March 2024.
        for (const char* name : {"20240301_101500 a.mp3", "20240301_111500 b.mp3"})
            encode_mp3(sine(48000, 2, 20, 440, -12), dir / ("music/" + std::string(name)));
    }
    void TearDown() override {
        for (pid_t p : players) end_child(p, SIGKILL, std::chrono::milliseconds(2000));
    }

    EnvChanges program_env(const TempDir& home) const {
        EnvChanges e = testsupport::program_env(server, home);
        e["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
        return e;
    }
    pid_t play(const TempDir& home) {
        const pid_t p = spawn({QM_BINARY, "--play", dir / "music", "--no-window-files",
                               "--no-window-play"},
                              program_env(home), home / "out.txt", home / "err.txt");
        players.push_back(p);
        return p;
    }
    std::string log(const TempDir& h) const { return program_log(h); }

    std::string ctl(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"playerctl", "-p", "quavermill"};
        argv.insert(argv.end(), args.begin(), args.end());
        return trimmed(bus.client(argv).out);
    }
    bool becomes(const std::string& status) const {
        return poll_until([&] { return ctl({"status"}) == status; }, 15);
    }
    std::string title() const { return ctl({"metadata", "xesam:title"}); }
    std::string track() const {  // playerctl quotes an object path
        const std::string quoted = ctl({"metadata", "mpris:trackid"});
        return quoted.size() > 2 ? quoted.substr(1, quoted.size() - 2) : quoted;
    }
    double position() const { return std::atof(ctl({"position"}).c_str()); }
    // dbus-send to the player; its stderr (the D-Bus error) when the call failed, else "".
    std::string refused(const std::vector<std::string>& call) const {
        std::vector<std::string> argv{"dbus-send", "--print-reply", std::string("--dest=") + kName,
                                      kPath};
        argv.insert(argv.end(), call.begin(), call.end());
        RunResult r = bus.client(argv);
        return r.exit_code == 0 ? "" : r.err;
    }
    std::vector<std::string> set(const std::string& property, const std::string& value) const {
        return {"org.freedesktop.DBus.Properties.Set", std::string("string:") + kPlayer,
                "string:" + property, "variant:" + value};
    }

    bool level_near(double db) const {
        return poll_until([&] { return std::fabs(level_over(server, 0.5) - db) < 1.0; }, 15);
    }

    SessionBus bus;
    PulseServer server;
    TempDir dir, home;
    std::vector<pid_t> players;
};

TEST_F(MediaControls, PlayerctlDrivesHeadlessPlay) {
    BusMonitor signals(bus);
    play(home);
    ASSERT_TRUE(becomes("Playing")) << log(home);
    EXPECT_TRUE(turns_audible(server));

    const std::string all = ctl({"metadata"});
    const std::regex expected(
        "mpris:trackid +'/org/quavermill/track/1'\n"
        ".*xesam:title +20240301_1[01]1500 [ab]\\.mp3\n"
        ".*xesam:url +file://" + dir.path() + "/music/20240301_1[01]1500%20[ab]\\.mp3\n"
        ".*mpris:length +(19[89]|20[01])[0-9]{5}\n"
        ".*xesam:contentCreated +2024-03-01T1[01]:15:00\\+01");
    EXPECT_TRUE(std::regex_search(all, expected)) << all;
    const std::string typed = bus.client({"gdbus", "call", "--session", "-d", kName, "-o", kPath,
                                          "-m", "org.freedesktop.DBus.Properties.Get", kPlayer,
                                          "Metadata"}).out;
    EXPECT_NE(typed.find("<objectpath '/org/quavermill/track/1'>"), std::string::npos) << typed;
    const std::string root = bus.client({"gdbus", "call", "--session", "-d", kName, "-o", kPath,
                                         "-m", "org.freedesktop.DBus.Properties.GetAll",
                                         "org.mpris.MediaPlayer2"}).out;
    for (const char* v : {"'Identity': <'Quavermill'>", "'DesktopEntry': <'quavermill'>",
                          "'CanRaise': <false>", "'CanQuit': <false>", "<['file']>",
                          "<['audio/mpeg']>"})
        EXPECT_NE(root.find(v), std::string::npos) << v << " in " << root;

    ctl({"play-pause"});
    EXPECT_TRUE(becomes("Paused"));
    EXPECT_TRUE(turns_silent(server)) << "play-pause does not pause";
    ctl({"play-pause"});
    EXPECT_TRUE(becomes("Playing"));
    EXPECT_TRUE(turns_audible(server)) << "play-pause does not resume";

    // Level matching brings the sine to -20 dBFS before the volume of 0.8 applies.
    ASSERT_TRUE(level_near(-20 + 20 * std::log10(0.8)));
    ctl({"volume", "0.5"});
    EXPECT_EQ(ctl({"volume"}), "0.500000");
    EXPECT_TRUE(level_near(-20 + 20 * std::log10(0.5))) << "the volume is not heard";

    const std::string first = title();
    ctl({"next"});
    EXPECT_TRUE(poll_until([&] { return title() != first && !title().empty(); }, 15));
    EXPECT_EQ(track(), "/org/quavermill/track/2");

    ASSERT_TRUE(poll_until([&] { return position() < 2.5; }, 5));
    ctl({"position", "9"});
    EXPECT_TRUE(poll_until([&] { return position() >= 9 && position() < 12; }, 10)) << position();

    ctl({"stop"});
    EXPECT_TRUE(becomes("Stopped"));
    EXPECT_TRUE(turns_silent(server)) << "stop is not heard";
    ctl({"play"});
    EXPECT_TRUE(becomes("Playing"));
    EXPECT_TRUE(turns_audible(server)) << "play after stop is not heard";

    const std::string seen = signals.text();
    for (const char* what : {"string \"Paused\"", "string \"Volume\"", "string \"Metadata\"",
                             "string \"Stopped\"", "member=Seeked"})
        EXPECT_NE(seen.find(what), std::string::npos) << what;
    EXPECT_EQ(signals.count("member=Seeked"), 1u) << "a seek is announced once";
}

TEST_F(MediaControls, BadCallsAreRefusedOrClampedAndPlayGoesOn) {
    BusMonitor signals(bus);
    const pid_t p = play(home);
    ASSERT_TRUE(becomes("Playing")) << log(home);
    const std::string id = track();

    const std::vector<std::vector<std::string>> bad = {
        {std::string(kPlayer) + ".Seek", "string:far"},
        {std::string(kPlayer) + ".SetPosition", "string:" + id, "int64:1000000"},
        {std::string(kPlayer) + ".OpenUri", "string:file:///etc/passwd"},
        {std::string(kPlayer) + ".Shuffle"},
        set("Volume", "string:loud"),
        set("Volume", "double:nan"),
        set("PlaybackStatus", "string:Paused"),
        set("CanGoPrevious", "boolean:true"),
        {"org.freedesktop.DBus.Properties.Get", std::string("string:") + kPlayer, "string:Shuffle"},
    };
    for (const auto& call : bad) EXPECT_NE(refused(call), "") << call[0] << " " << call.back();
    EXPECT_EQ(ctl({"volume"}), "0.800000");

    EXPECT_EQ(refused(set("Volume", "double:-1")), "");
    EXPECT_EQ(ctl({"volume"}), "0.000000");
    EXPECT_EQ(refused(set("Volume", "double:1e9")), "");
    EXPECT_EQ(ctl({"volume"}), "1.000000");

    // A stale track, a place past the end or before the start: no seek at all.
    for (const char* place : {"int64:15000000", "int64:999000000000", "int64:-5000000"})
        EXPECT_EQ(refused({std::string(kPlayer) + ".SetPosition",
                           "objpath:/org/quavermill/track/99", std::string(place)}), "");
    EXPECT_EQ(refused({std::string(kPlayer) + ".SetPosition", "objpath:" + id,
                       "int64:999000000000"}), "");
    EXPECT_EQ(refused({std::string(kPlayer) + ".SetPosition", "objpath:" + id, "int64:-1"}), "");
    // Nothing may be announced: five of the service's polls, each of which would have seen a seek.
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * mpris::kPollMs));
    EXPECT_EQ(signals.count("member=Seeked"), 0u);
    EXPECT_EQ(track(), id);

    // Far before the start is the start; far past the end is the next track.
    EXPECT_EQ(refused({std::string(kPlayer) + ".Seek", "int64:-9223372036854775807"}), "");
    EXPECT_TRUE(poll_until([&] { return signals.count("member=Seeked") == 1; }, 10));
    EXPECT_LT(position(), 2.0);
    EXPECT_EQ(refused({std::string(kPlayer) + ".Seek", "int64:9223372036854775807"}), "");
    EXPECT_TRUE(poll_until([&] { return track() != id; }, 10)) << "Seek past the end skips";

    EXPECT_TRUE(becomes("Playing"));
    EXPECT_TRUE(turns_audible(server));
    EXPECT_FALSE(exited(p));
}

TEST_F(MediaControls, TwoInstancesTakeTwoNamesAndOutliveTheBus) {
    TempDir other;
    play(home);
    ASSERT_TRUE(poll_until([&] { return bus.names().find(std::string(kName) + "\n") !=
                                        std::string::npos; }, 15)) << log(home);
    const pid_t second = play(other);
    const std::string own = std::string(kName) + ".instance" + std::to_string(second);
    EXPECT_TRUE(poll_until([&] { return bus.names().find(own) != std::string::npos; }, 15))
        << bus.names();
    EXPECT_TRUE(turns_audible(server));

    bus.kill();
    EXPECT_TRUE(poll_until([&] { return log(home).find("Sitzungsbus getrennt") !=
                                        std::string::npos; }, 10)) << log(home);
    EXPECT_TRUE(turns_audible(server)) << "playback ended with the bus";
    for (pid_t p : players) EXPECT_FALSE(exited(p));
}

TEST_F(MediaControls, WithoutABusOneLineIsLoggedAndPlayGoesOn) {
    MonitorRecorder rec(server, "second");
    EnvChanges e = program_env(home);
    e["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + (dir / "no-bus");
    const RunResult r = run({QM_BINARY, "--play", dir / "music", "--no-window-files",
                             "--no-window-play", "--seconds", "4"}, e);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_GT(rms_dbfs(rec.stop()), -30);
    const std::string l = log(home);
    EXPECT_NE(l.find("spielt: "), std::string::npos) << l;
    EXPECT_NE(l.find("Kein Sitzungsbus"), std::string::npos) << l;
    size_t lines = 0;
    for (size_t at = l.find("Sitzungsbus"); at != std::string::npos; at = l.find("Sitzungsbus", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << l;
}

}  // namespace
