// `--autostart` run as a user runs it, on a home folder of its own.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testsupport::file_exists;

class AutostartCommand : public ::testing::Test {
protected:
    testsupport::RunResult qm(const std::vector<std::string>& args, bool with_home = true) {
        testsupport::EnvChanges env{{"XDG_CONFIG_HOME", home_ / ".config"}};
        std::vector<std::string> unset{"SNAP", "SNAP_NAME", "SNAP_REAL_HOME", "FLATPAK_ID",
                                       "XDG_DESKTOP_DIR"};
        if (with_home) env["HOME"] = home_.path();
        else unset.push_back("HOME");
        std::vector<std::string> argv{QM_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        return testsupport::run(argv, env, unset);
    }
    // The program's path as the entry names it: the link target of its running process.
    static std::string binary() {
        char buf[PATH_MAX];
        return realpath(QM_BINARY, buf) ? buf : QM_BINARY;
    }
    std::string login() const { return home_ / ".config/autostart/Quavermill.desktop"; }
    std::string shortcut() const { return home_ / "Desktop/Quavermill.desktop"; }

    testsupport::TempDir home_;
};

TEST_F(AutostartCommand, OnWithAFolderNamesItInBothEntries) {
    auto r = qm({"--autostart", "on", "--folder", "/data/my music/"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Autostart: an  →  " + binary() + " --folder \"/data/my music\"\n"
                     "Desktop-Verknuepfung: da\n");
    EXPECT_NE(testsupport::read_file(shortcut()).find("\nExec=" + binary() +
                                                      " --folder \"/data/my music\"\n"),
              std::string::npos);
}

TEST_F(AutostartCommand, AnyValueButOffSwitchesOnAndOffRemovesBoth) {
    auto r = qm({"--autostart"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Autostart: an  →  " + binary() + "\nDesktop-Verknuepfung: da\n");
    EXPECT_TRUE(file_exists(login()));

    r = qm({"--autostart", "off", "--folder", "/data/x"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Autostart: aus\nDesktop-Verknuepfung: keine\n");
    EXPECT_FALSE(file_exists(login()));
    EXPECT_FALSE(file_exists(shortcut()));

    r = qm({"--autostart=ja"});
    EXPECT_EQ(r.out, "Autostart: an  →  " + binary() + "\nDesktop-Verknuepfung: da\n");
}

TEST_F(AutostartCommand, WithoutAHomeNothingIsInPlace) {
    auto r = qm({"--autostart", "on"}, false);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Autostart: aus\nDesktop-Verknuepfung: keine\n");
}

}  // namespace
