#include "system/crash_handler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "support/temp_dir.h"
#include "support/version_text.h"

namespace {

// Runs `crash` in a forked child whose environment `prepare` sets up; returns the wait status.
int crash_in_child(const std::function<void()>& prepare, int sig) {
    pid_t pid = fork();
    if (pid == 0) {
        prepare();
        crash_handler::install();
        raise(sig);
        _exit(99);  // not reached when the handler re-raises
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void clear_optional_env() {
    for (const char* v : {"SNAP_REVISION", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE"}) unsetenv(v);
}

TEST(CrashHandler, AbortLeavesReportAndStillEndsBySignal) {
    testsupport::TempDir tmp;
    int status = crash_in_child([&] {
        setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1);
        clear_optional_env();
        crash_handler::set_log_path("/home/u/.config/Quavermill/Quavermill.log");
    }, SIGABRT);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);

    std::string report = testsupport::read_file(tmp / "Quavermill_crash.txt");
    EXPECT_EQ(report.rfind("=== Quavermill crash report ===\nVersion: " + testsupport::version_text() +
                               "\nSignal: SIGABRT (Abort)\nTime (unix): ",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("\nSystem: Linux "), std::string::npos);
    EXPECT_NE(report.find("\n\nBacktrace:\n"), std::string::npos);
    EXPECT_EQ(report.find("Snap revision"), std::string::npos);
    EXPECT_EQ(report.find("Desktop:"), std::string::npos);
    EXPECT_EQ(report.find("Session:"), std::string::npos);
    const std::string ending = "\nLog (written up to the crash):\n"
                               "  /home/u/.config/Quavermill/Quavermill.log\n=== end of report ===\n";
    ASSERT_GE(report.size(), ending.size());
    EXPECT_EQ(report.substr(report.size() - ending.size()), ending);

    // The time line holds the moment of the crash as plain digits.
    size_t at = report.find("Time (unix): ") + 13;
    long long when = std::atoll(report.c_str() + at);
    EXPECT_LE(std::llabs(when - static_cast<long long>(time(nullptr))), 60);
}

TEST(CrashHandler, OptionalLinesAppearWhenTheirVariablesAreSet) {
    testsupport::TempDir tmp;
    int status = crash_in_child([&] {
        setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1);
        setenv("SNAP_REVISION", "42", 1);
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        setenv("XDG_SESSION_TYPE", "wayland", 1);
    }, SIGSEGV);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    std::string report = testsupport::read_file(tmp / "Quavermill_crash.txt");
    EXPECT_NE(report.find("Version: " + testsupport::version_text() +
                          "\nSnap revision: 42\nSignal: SIGSEGV (Segmentation fault)\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\nDesktop: GNOME\nSession: wayland\n\nBacktrace:\n"), std::string::npos);
    EXPECT_NE(report.find("(unknown)\n=== end of report ===\n"), std::string::npos);
}

TEST(CrashHandler, SecondCrashOverwritesTheFirstReport) {
    testsupport::TempDir tmp;
    auto env = [&] {
        setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1);
        clear_optional_env();
    };
    crash_in_child(env, SIGFPE);
    crash_in_child(env, SIGTRAP);
    std::string report = testsupport::read_file(tmp / "Quavermill_crash.txt");
    EXPECT_EQ(report.find("SIGFPE"), std::string::npos);
    EXPECT_NE(report.find("Signal: SIGTRAP (Trap - usually a fatal GLib/GTK error)\n"),
              std::string::npos);
    EXPECT_EQ(report.find("=== Quavermill crash report ==="), 0u);
}

// Before a crash, anyone may plant a link or a file of their own under the report's name in
// /tmp: the link's target and the stranger's file stay as they are. A stale report of the user's
// own is emptied, rewritten and made private. A file of another user needs root to plant.
TEST(CrashHandler, OnlyTheUsersOwnRegularFileBecomesTheReport) {
    testsupport::TempDir tmp;
    const std::string report = tmp / "Quavermill_crash.txt";
    const std::string victim = tmp.write_text("victim.txt", "keep me\n");
    struct Plant {
        const char* what;
        std::function<bool()> plant;
        std::string watched;  // the file whose content must stay, or "" when the report is written
    };
    const std::vector<Plant> plants = {
        {"link", [&] { return symlink(victim.c_str(), report.c_str()) == 0; }, victim},
        {"other user's file", [&] {
             tmp.write_text("Quavermill_crash.txt", "theirs\n");
             return geteuid() == 0 && chown(report.c_str(), 65534, 65534) == 0;
         }, report},
        {"own stale report", [&] {
             tmp.write_text("Quavermill_crash.txt", std::string(50000, '\1'));
             return chmod(report.c_str(), 0644) == 0;
         }, ""},
    };
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.what);
        unlink(report.c_str());
        if (!p.plant()) continue;  // another user's file without root
        const std::string before = p.watched.empty() ? "" : testsupport::read_file(p.watched);
        int status = crash_in_child([&] { setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1); },
                                    SIGABRT);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
        if (!p.watched.empty()) {
            EXPECT_EQ(testsupport::read_file(p.watched), before);
            continue;
        }
        const std::string written = testsupport::read_file(report);
        EXPECT_EQ(written.find("=== Quavermill crash report ==="), 0u);
        EXPECT_EQ(written.find('\1'), std::string::npos) << "stale bytes left";
        struct stat st;
        ASSERT_EQ(0, stat(report.c_str(), &st));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

TEST(CrashHandler, UnwritableReportFolderStillEndsBySignal) {
    int status = crash_in_child([] {
        setenv("XDG_RUNTIME_DIR", "/proc/no-such-folder", 1);
    }, SIGBUS);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGBUS);
}

}  // namespace

namespace {

TEST(CrashHandler, OverlongLogPathIsCutToTheBuffer) {
    testsupport::TempDir tmp;
    const std::string long_path = "/" + std::string(2000, 'l');
    crash_in_child([&] {
        setenv("XDG_RUNTIME_DIR", tmp.path().c_str(), 1);
        crash_handler::set_log_path(long_path);
    }, SIGILL);
    std::string report = testsupport::read_file(tmp / "Quavermill_crash.txt");
    EXPECT_NE(report.find("Signal: SIGILL (Illegal instruction)\n"), std::string::npos);
    EXPECT_NE(report.find("\n  " + long_path.substr(0, 1023) + "\n=== end of report ===\n"),
              std::string::npos);
}

// Without a runtime folder the report goes to /tmp; the unique log path tells this run's report
// apart from any other left there.
TEST(CrashHandler, EmptyRuntimeFolderMeansTmp) {
    const std::string marker = "/marker/" + std::to_string(getpid()) + "-" + std::to_string(time(nullptr));
    int status = crash_in_child([&] {
        setenv("XDG_RUNTIME_DIR", "", 1);
        crash_handler::set_log_path(marker);
    }, SIGABRT);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
    std::string report = testsupport::read_file("/tmp/Quavermill_crash.txt");
    EXPECT_NE(report.find("\n  " + marker + "\n=== end of report ===\n"), std::string::npos) << report;
    unlink("/tmp/Quavermill_crash.txt");
}

}  // namespace
