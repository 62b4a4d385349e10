// Headless play and the device list as a user runs them: the built program, folders of generated
// MP3 files, a private PulseAudio server, its sinks' monitors recorded and measured.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <regex>
#include <string>

#include "cli/headless.h"
#include "i18n/i18n.h"
#include "support/mp3_fixture.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

const int kRate = 48000;

TEST(Hhmmss, FormatsMinutesAndHours) {
    EXPECT_EQ(hhmmss(-1), "0:00");
    EXPECT_EQ(hhmmss(0), "0:00");
    EXPECT_EQ(hhmmss(59.9), "0:59");
    EXPECT_EQ(hhmmss(61), "1:01");
    EXPECT_EQ(hhmmss(3599.99), "59:59");
    EXPECT_EQ(hhmmss(3600), "1:00:00");
    EXPECT_EQ(hhmmss(36000), "10:00:00");
    EXPECT_EQ(hhmmss(604800), "168:00:00");
    EXPECT_EQ(hhmmss(std::nan("")), "0:00");  // not a number converted to seconds was undefined
}

// The last `seconds` of sound of a stereo recording, without its final tenth of a second.
std::vector<short> settled(const std::vector<short>& rec, double seconds) {
    size_t last = rec.size();
    while (last > 0 && std::abs(rec[last - 1]) < 64) --last;
    const size_t tail = static_cast<size_t>(0.1 * kRate) * 2;
    const size_t span = static_cast<size_t>(seconds * kRate) * 2;
    if (last < tail + span) return {};
    return std::vector<short>(rec.begin() + (last - tail - span), rec.begin() + (last - tail));
}

class HeadlessPlay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.skip_reason().empty()) GTEST_SKIP() << server.skip_reason();
        ASSERT_TRUE(server.up());
    }

    std::string music() const { return dir / "music"; }
    // A steady sine whose RMS is `rms_db` dBFS.
    std::string steady(const std::string& name, double seconds, double rms_db) const {
        dir.make_dir("music");
        return encode_mp3(sine(kRate, 2, seconds, 440, rms_db + 3.0103), music() + "/" + name);
    }
    RunResult quavermill(std::vector<std::string> args, EnvChanges extra = {}) const {
        EnvChanges env = server.env();
        env["QVML_LANG"] = "en";
        for (const auto& [k, v] : extra) env[k] = v;
        return run_quavermill(args, home.path(), env);
    }
    std::string log() const { return read_file(home / ".config/Quavermill/Quavermill.log"); }

    struct Heard {
        RunResult run;
        std::vector<short> settled;  // the last `seconds` of sound on the default sink
        double took = 0;             // seconds the run lasted
    };
    Heard play_recorded(const std::vector<std::string>& args, double seconds) const {
        MonitorRecorder rec(server, "second");
        EXPECT_TRUE(rec.recording());
        Heard h;
        const auto begin = std::chrono::steady_clock::now();
        h.run = quavermill(args);
        h.took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        h.settled = settled(rec.stop(), seconds);
        return h;
    }

    TempDir dir;
    TempDir home;
    PulseServer server;
};

TEST_F(HeadlessPlay, WithoutAFolderOrAFullPathNothingStarts) {
    RunResult r = quavermill({"--play"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "FEHLER: kein Ordner angegeben.\n");
    r = quavermill({"--play", "--file", "song.mp3"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "FEHLER: --file braucht einen vollen Pfad.\n");
    r = quavermill({"--play", "--file", "/x.mp3"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "FEHLER: kein Ordner angegeben.\n");
}

// Played with the defaults, a -36 dBFS recording comes out at the -20 dBFS target times the
// volume of 0.8, and the run ends after the time limit with a line feed.
TEST_F(HeadlessPlay, LevelsToTheTargetAndEndsAfterTheTimeLimit) {
    const std::string file = steady("quiet.mp3", 8, -36);
    Heard h = play_recorded({"--play", "--file", file, "--seconds", "6"}, 1.5);
    const RunResult& r = h.run;

    EXPECT_EQ(r.exit_code, 0);
    EXPECT_GE(h.took, 5.9);
    EXPECT_LT(h.took, 12.0);  // start-up and stop on a loaded machine, not a second time limit
    const std::regex head("^Angleichung: an  Ziel -20\\.0 dB  Deckel -1\\.0 dB\n"
                          "\nquiet\\.mp3  \\(0:0[78], 1 im Vorrat\\)\n");
    EXPECT_TRUE(std::regex_search(r.out, head)) << r.out;
    EXPECT_NE(r.out.find("\r  0:0"), std::string::npos);
    const std::regex progress("\r  0:0[0-9] / 0:08   ein -3[0-9]\\.[0-9] dB  "
                              "Anhebung \\+1[0-9]\\.[0-9] dB  aus -2[0-9]\\.[0-9] dB   1 im Vorrat      ");
    EXPECT_TRUE(std::regex_search(r.out, progress)) << r.out;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    ASSERT_FALSE(h.settled.empty());
    EXPECT_NEAR(rms_dbfs(h.settled), -20 + 20 * std::log10(0.8), 1.0);
}

TEST_F(HeadlessPlay, WithoutLevelMatchingOnlyTheVolumeApplies) {
    const std::string file = steady("quiet.mp3", 6, -36);
    Heard h = play_recorded({"--play", "--file", file, "--seconds", "4", "--no-level", "--target",
                             "-14"}, 1.0);
    EXPECT_EQ(h.run.exit_code, 0);
    EXPECT_EQ(h.run.out.rfind("Angleichung: aus  Ziel -14.0 dB  Deckel -1.0 dB\n", 0), 0u)
        << h.run.out;
    ASSERT_FALSE(h.settled.empty());
    EXPECT_NEAR(rms_dbfs(h.settled), -36 + 20 * std::log10(0.8), 1.0);
}

// A loud square against a low ceiling: the peaks that leave stay under the ceiling times the
// volume (level matching off, so that only the limiter can hold them down).
TEST_F(HeadlessPlay, PeaksStayUnderTheCeiling) {
    dir.make_dir("music");
    const std::string file = encode_mp3(square(kRate, 2, 5, 200, -3), music() + "/loud.mp3");
    Heard h = play_recorded({"--play", "--file", file, "--seconds", "4", "--no-level",
                             "--ceiling", "-12"}, 1.5);
    const std::vector<short>& heard = h.settled;
    EXPECT_EQ(h.run.exit_code, 0);
    ASSERT_FALSE(heard.empty());
    const double ceiling = 32768 * std::pow(10, -12 / 20.0) * 0.8;
    EXPECT_LE(peak_abs(heard.data(), heard.size()), ceiling * 1.02);
    EXPECT_GT(peak_abs(heard.data(), heard.size()), ceiling * 0.7);
}

TEST_F(HeadlessPlay, ThirtyBrokenFilesEndWithTheUnreadableError) {
    for (int i = 0; i < 30; ++i) dir.write_file("music/broken" + std::to_string(i) + ".mp3", 4096);
    RunResult r = quavermill({"--play", music(), "--no-window-files", "--no-window-play",
                              "--seconds", "30"}, {{"QVML_LANG", "fr"}});
    i18n::set_language("fr");
    const std::string why = i18n::T("err_unreadable");
    ASSERT_NE(why, "No file readable — is the folder reachable?");
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.out.find("\r" + why + "\n"), std::string::npos) << r.out;
    size_t warnings = 0;
    for (size_t at = log().find("nicht lesbar: "); at != std::string::npos;
         at = log().find("nicht lesbar: ", at + 1))
        ++warnings;
    EXPECT_EQ(warnings, 25u);
}

TEST_F(HeadlessPlay, PlaysOnTheChosenSinkAndFallsBackFromAVanishedOne) {
    const std::string file = steady("tone.mp3", 6, -20);
    {
        MonitorRecorder first(server, "first");
        ASSERT_TRUE(first.recording());
        RunResult r = quavermill({"--play", "--file", file, "--seconds", "4", "--device",
                                  "pulse:first"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find("Geraet   : pulse:first\n"), std::string::npos);
        EXPECT_FALSE(settled(first.stop(), 0.5).empty()) << "nothing reached the chosen sink";
    }
    MonitorRecorder fallback(server, "second");
    ASSERT_TRUE(fallback.recording());
    RunResult r =
        quavermill({"--play", "--file", file, "--seconds", "4", "--device", "pulse:gone"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_FALSE(settled(fallback.stop(), 0.5).empty()) << "nothing reached the default sink";
    EXPECT_NE(log().find("Tonserver kennt die Senke nicht (mehr): gone"), std::string::npos);
    EXPECT_NE(log().find("Gewaehltes Ausgabegeraet nicht da (pulse:gone) — Standardgeraet"),
              std::string::npos);
}

// A window that opens in two hours: nothing is played and the waiting line counts down.
TEST_F(HeadlessPlay, OutsideThePlaybackWindowItWaitsAndCountsDown) {
    steady("tone.mp3", 4, -20);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    localtime_r(&now, &local);
    const int minute = local.tm_hour * 60 + local.tm_min;
    char from[8], to[8];
    std::snprintf(from, sizeof from, "%02d:%02d", (minute + 120) % 1440 / 60, (minute + 120) % 60);
    std::snprintf(to, sizeof to, "%02d:%02d", (minute + 180) % 1440 / 60, (minute + 180) % 60);
    MonitorRecorder rec(server, "second");
    ASSERT_TRUE(rec.recording());
    RunResult r = quavermill({"--play", music(), "--from", from, "--to", to, "--no-window-files",
                              "--seconds", "4"}, {{"TZ", "Europe/Berlin"}});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(settled(rec.stop(), 0.1).empty()) << "played outside the window";
    EXPECT_EQ(r.out.find("tone.mp3"), std::string::npos);

    const std::regex line(
        "\r  Paused — outside playback hours — noch ([0-9]+):([0-9]{2}):([0-9]{2})     ");
    std::vector<int> left;
    const std::sregex_iterator end;
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), line); it != end; ++it)
        left.push_back(std::stoi((*it)[1]) * 3600 + std::stoi((*it)[2]) * 60 + std::stoi((*it)[3]));
    ASSERT_GE(left.size(), 4u) << r.out;
    EXPECT_GT(left.front(), 7100);
    EXPECT_LE(left.front(), 7200);
    EXPECT_LT(left.back(), left.front());
    for (size_t i = 1; i < left.size(); ++i) EXPECT_LE(left[i], left[i - 1]);

    // A mistyped folder needs the user at night as well: waiting does not hide it.
    r = quavermill({"--play", dir / "missing", "--from", from, "--to", to, "--seconds", "10"},
                   {{"TZ", "Europe/Berlin"}});
    EXPECT_EQ(r.exit_code, 3) << r.out;
    EXPECT_NE(r.out.find(dir / "missing"), std::string::npos) << r.out;
}

TEST_F(HeadlessPlay, ListsTheSinksWithTheDefaultMarked) {
    RunResult r = quavermill({"--devices"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "2 Ausgabegeraete:\n"
                     "  Erste Senke\n      pulse:first\n"
                     "  second   (Standard)\n      pulse:second\n");
}

}  // namespace
