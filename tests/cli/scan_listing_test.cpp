// The built program run as a user runs it: stdout compared byte for byte, exit statuses checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <regex>

#include "cli/con.h"
#include "support/poll.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/version_text.h"

using testsupport::run_quavermill;
using testsupport::TempDir;

namespace {

const std::string kVersion = "Quavermill " + testsupport::version_text() + "\n";

const std::string kUsage = kVersion +
    "\n"
    "  Quavermill                          Fenster oeffnen\n"
    "  Quavermill --scan <ordner>          nur einlesen und auflisten\n"
    "  Quavermill --play <ordner>          ohne Fenster abspielen\n"
    "  Quavermill --devices                Ausgabegeraete auflisten\n"
    "\n"
    "  --device <kennung>    auf diesem Geraet spielen (Kennung aus --devices)\n"
    "  --pattern <muster>    Vorgabe *.mp3, mehrere mit ';'\n"
    "  --from <HH:MM>        Beginn des Zeitraums (Vorgabe 06:00)\n"
    "  --to <HH:MM>          Ende des Zeitraums (Vorgabe 20:00)\n"
    "  --no-window-files     Zeitraum NICHT auf die Dateiauswahl anwenden\n"
    "  --no-window-play      Zeitraum NICHT auf die Wiedergabe anwenden\n"
    "  --no-recursive        Unterordner auslassen\n"
    "  --seconds <n>         nach n Sekunden beenden (fuer Testlaeufe)\n"
    "  --file <datei>        genau diese eine Datei spielen (Messungen)\n"
    "  --target <dB>         Zielpegel der Angleichung (Vorgabe -20)\n"
    "  --ceiling <dB>        Maximalpegel (Vorgabe -1)\n"
    "  --no-level            Pegelangleichung aus\n"
    "  --list <n>            beim Einlesen n Treffer zeigen (Vorgabe 10)\n"
    "  --version             Fassung ausgeben\n"
    "  --autostart on|off    Autostart und Desktop-Verknuepfung setzen\n"
    "                        (mit --folder wird der Ordner mit eingetragen)\n"
    "\n"
    "  Quavermill --folder <ordner>        Fenster mit diesem Ordner oeffnen\n"
    "                                         (uebernimmt auch --pattern/--from/--to)\n";

class ScanListing : public ::testing::Test {
protected:
    testsupport::RunResult qm(const std::vector<std::string>& args) {
        return run_quavermill(args, home_.path(), {{"TZ", "Europe/Berlin"}});
    }
    // The header lines of a scan listing for `folder` with the default rules.
    static std::string header(const std::string& folder) {
        return "Ordner   : " + folder + "\nMuster   : *.mp3 (mit Unterordnern)\n"
               "Zeitraum : 06:00-20:00\n";
    }
    TempDir home_;
    TempDir music_;
};

// Splits a listing into the header, the summary line and the lines after it.
struct Listing {
    std::string head, summary, rest;
};

Listing split(const std::string& out) {
    size_t blank = out.find("\n\n");
    if (blank == std::string::npos) return {out, "", ""};
    size_t end = out.find('\n', blank + 2);
    return {out.substr(0, blank + 1), out.substr(blank + 2, end - blank - 2), out.substr(end + 1)};
}

TEST_F(ScanListing, HelpAndVersionWinWhateverTheOrder) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"--scan", "/x", "--help"}, {"--pattern", "--help"},
             {"--version", "-h"}, {"--help=1"}}) {
        auto r = qm(args);
        EXPECT_EQ(r.out, kUsage) << args[0];
        EXPECT_EQ(r.exit_code, 0);
    }
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"--scan", music_.path(), "--version"}, {"--play", "/x", "--version"}}) {
        auto r = qm(args);
        EXPECT_EQ(r.out, kVersion);
        EXPECT_EQ(r.exit_code, 0);
    }
}

TEST_F(ScanListing, MissingOrUnreachableFolder) {
    auto r = qm({"--scan"});
    EXPECT_EQ(r.out, "FEHLER: kein Ordner angegeben.\n");
    EXPECT_EQ(r.exit_code, 2);

    // The value of --scan is the next argument even when it looks like an option.
    r = qm({"--scan", "--list", "5"});
    EXPECT_EQ(r.out, header("--list") + "FEHLER: Ordner nicht erreichbar.\n");
    EXPECT_EQ(r.exit_code, 3);

    std::string file = music_.write_file("plain.txt", 10);
    r = qm({"--scan", file});
    EXPECT_EQ(r.out, header(file) + "FEHLER: Ordner nicht erreichbar.\n");
    EXPECT_EQ(r.exit_code, 3);
}

TEST_F(ScanListing, ScanComesBeforeTheOtherCommands) {
    auto r = qm({"--play", music_.path(), "--devices", "--autostart", "on", "--scan", music_.path()});
    Listing l = split(r.out);
    EXPECT_EQ(l.head, header(music_.path()));
    EXPECT_TRUE(std::regex_match(l.summary, std::regex(R"(1 Ordner, 0 Dateien gesehen, 0 passen \(\d+\.\d s\))")))
        << r.out;
    EXPECT_EQ(l.rest, "");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(testsupport::file_exists(home_ / ".config/autostart"));
}

TEST_F(ScanListing, OptionWithoutValueKeepsItsDefault) {
    // --from takes "--to" as its value, no clock time; --to and --pattern stand last.
    auto r = qm({"--scan", music_.path(), "--from", "--to"});
    EXPECT_EQ(split(r.out).head, header(music_.path()));
    r = qm({"--scan", music_.path(), "--pattern"});
    EXPECT_EQ(split(r.out).head, header(music_.path()));
    r = qm({"--scan=", "--list", "3"});
    EXPECT_EQ(r.out, "FEHLER: kein Ordner angegeben.\n");
    EXPECT_EQ(r.exit_code, 2);
}

TEST_F(ScanListing, RuleOptionsShowInTheHeader) {
    auto r = qm({"--scan", music_.path() + "\\sub\\//", "--from", "25:00", "--to", "24:00"});
    EXPECT_EQ(split(r.out).head, "Ordner   : " + music_.path() + "/sub\nMuster   : *.mp3 "
              "(mit Unterordnern)\nZeitraum : 06:00-00:00\nFEHLER: Ordner nicht erreichbar.\n");

    r = qm({"--scan=" + music_.path(), "--from=7", "--to", "bad", "--no-recursive",
            "--pattern", " *.MP3 ;*.ogg", "--no-window-files"});
    EXPECT_EQ(split(r.out).head, "Ordner   : " + music_.path() + "\nMuster   :  *.MP3 ;*.ogg\n"
              "Zeitraum : 07:00-20:00 (nicht auf die Auswahl angewandt)\n");
    EXPECT_EQ(r.exit_code, 1);
}

TEST_F(ScanListing, SummaryListAndRemainder) {
    for (int i = 0; i < 12; ++i)
        music_.write_file("d" + std::to_string(i % 3) + "/2024-05-03_07-15-" +
                          (i < 10 ? "0" : "") + std::to_string(i) + ".mp3", 2048);
    music_.write_file("small.mp3", 1023);
    music_.write_file("notes.txt", 4096);

    auto r = qm({"--scan", music_.path()});
    Listing l = split(r.out);
    EXPECT_EQ(l.head, header(music_.path()));
    EXPECT_TRUE(std::regex_match(l.summary, std::regex(R"(4 Ordner, 14 Dateien gesehen, 12 passen \(\d+\.\d s\))")))
        << l.summary;
    std::regex row(R"(  2024-05-03 07:15:\d\d       2\.0 KB  2024-05-03_07-15-\d\d\.mp3)");
    std::istringstream rows(l.rest);
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 11u) << l.rest;
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
    EXPECT_EQ(lines[10], "  … und 2 weitere");
    EXPECT_EQ(r.exit_code, 0);

    for (const char* none : {"0", "abc", "-3"}) {
        r = qm({"--scan", music_.path(), "--list", none});
        EXPECT_EQ(split(r.out).rest, "") << none;
        EXPECT_EQ(r.exit_code, 0);
    }
    r = qm({"--list=12", "--scan", music_.path()});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 1 + 12);
    EXPECT_EQ(r.out.find("weitere"), std::string::npos);
    // --list standing last falls back to ten.
    r = qm({"--scan", music_.path(), "--list"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 1 + 11);
    EXPECT_EQ(r.err, "");
}

TEST_F(ScanListing, ListedTimeComesFromTheNameInLocalTime) {
    music_.write_file("IMG_20240503_080210.mp3", 1536 * 1024 + 512);
    auto r = qm({"--scan", music_.path()});
    EXPECT_EQ(split(r.out).rest, "  2024-05-03 08:02:10    1536.5 KB  IMG_20240503_080210.mp3\n");
}

TEST_F(ScanListing, NamesThatAreNotUtf8ArePrintedAsRead) {
    music_.write_file("\xff\xfe 2024-05-03_07-15-00.mp3", 2048);
    auto r = qm({"--scan", music_.path()});
    EXPECT_EQ(split(r.out).rest, "  2024-05-03 07:15:00       2.0 KB  \xff\xfe 2024-05-03_07-15-00.mp3\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(ScanListing, EmptyMatchEndsWithStatusOne) {
    music_.write_file("late/2024-05-03_21-00-00.mp3", 4096);
    auto r = qm({"--scan", music_.path()});
    EXPECT_TRUE(std::regex_match(split(r.out).summary,
                                 std::regex(R"(2 Ordner, 1 Dateien gesehen, 0 passen \(\d+\.\d s\))")));
    EXPECT_EQ(split(r.out).rest, "");
    EXPECT_EQ(r.exit_code, 1);
    r = qm({"--scan", music_.path(), "--no-window-files"});
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(ScanListing, EveryStartWritesAFreshLogWithTheVersionLine) {
    std::string log = home_ / ".config/Quavermill/Quavermill.log";
    qm({"--version"});
    std::string first = testsupport::read_file(log);
    std::smatch line;
    ASSERT_TRUE(std::regex_match(first, line, std::regex(R"(\d\d:\d\d:\d\d INFO  (.*) — plain\n)")))
        << first;
    EXPECT_EQ(line[1], "Quavermill " + testsupport::version_text());
    run_quavermill({"--help"}, home_.path(), {{"FLATPAK_ID", "org.example.Q"}});
    std::string second = testsupport::read_file(log);
    EXPECT_NE(second.find(") — flatpak\n"), std::string::npos) << second;
    EXPECT_EQ(second.find("plain"), std::string::npos);
}

}  // namespace

namespace {

// Settings are read before the log file opens: a damaged file must neither stop a command nor
// leave its warning in the new log file.
TEST(StartUp, DamagedSettingsFileStillRunsAndStaysOutOfTheLogFile) {
    TempDir home;
    home.write_text(".config/Quavermill/settings.dat", std::string("QMSV\x01", 5) + std::string(60, '\x7f'));
    auto r = run_quavermill({"--version"}, home.path());
    EXPECT_EQ(r.out, kVersion);
    EXPECT_EQ(r.exit_code, 0);
    std::string log = testsupport::read_file(home / ".config/Quavermill/Quavermill.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("INFO  Quavermill " + testsupport::version_text() + " — plain"),
              std::string::npos);
}

// The program is held in its first write by a full pipe, after its start-up, and aborted there.
TEST(StartUp, CrashReportNamesTheLogFileOfTheRun) {
    TempDir home;
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    fcntl(out[1], F_SETPIPE_SZ, 4096);
    fcntl(out[1], F_SETFL, O_NONBLOCK);
    const std::string fill(4096, 'x');
    while (write(out[1], fill.data(), fill.size()) > 0) {
    }
    fcntl(out[1], F_SETFL, 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.path().c_str(), 1);
        execl(QM_BINARY, QM_BINARY, "--help", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    const std::string log = home / ".config/Quavermill/Quavermill.log";
    bool started = testsupport::poll_until(
        [&] {
            return testsupport::read_file(log).find(testsupport::version_text() + " — ") !=
                   std::string::npos;
        },
        20);
    kill(pid, SIGABRT);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    std::string report = testsupport::read_file(home / "Quavermill_crash.txt");
    EXPECT_NE(report.find("Signal: SIGABRT (Abort)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nLog (written up to the crash):\n  " + log + "\n=== end of report ===\n"),
              std::string::npos) << report;
}

}  // namespace

namespace {

// Standard output of this test process sent into a file while `body` runs.
std::string captured_stdout(const std::function<void()>& body) {
    TempDir tmp;
    std::string path = tmp / "out";
    std::cout.flush();
    std::fflush(stdout);
    int saved = dup(1);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return testsupport::read_file(path);
}

// A progress line overwritten with "\r" only works when each piece is on the terminal before
// the next one is written, whoever writes it.
TEST(Console, TextReachesTheDescriptorAtOnceAndInCallOrder) {
    std::string out = captured_stdout([] {
        con::print("Lade 1");
        ASSERT_EQ(write(1, "|", 1), 1);
        con::printf("\rLade %d von %s", 2, "3");
        ASSERT_EQ(write(1, "|", 1), 1);
        con::printf("%s", "");
        con::print("");
        con::print(std::string("a\0b\n", 4));
    });
    EXPECT_EQ(out, std::string("Lade 1|\rLade 2 von 3|a\0b\n", 25));
}

TEST(Console, LongTextIsWrittenWhole) {
    std::string big(300000, 'q');
    std::string out = captured_stdout([&] { con::printf("<%s>%d\n", big.c_str(), 7); });
    EXPECT_EQ(out, "<" + big + ">7\n");
}

}  // namespace
