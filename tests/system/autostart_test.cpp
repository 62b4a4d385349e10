#include "system/autostart_linux.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "system/logger.h"

namespace {

using testsupport::file_exists;
using testsupport::read_file;

std::string own_executable() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string entry(const std::string& exec, const std::string& icon) {
    return "[Desktop Entry]\nType=Application\nName=Quavermill\n"
           "Comment=Spielt Aufnahmen aus einem Ordner\nExec=" + exec + "\nIcon=" + icon +
           "\nTerminal=false\nCategories=AudioVideo;Audio;Player;\n"
           "X-GNOME-Autostart-Delay=30\nX-GNOME-Autostart-enabled=true\n";
}

int mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// A plain installation with its home in a fresh temporary folder and no desktop settings.
class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = tmp_.make_dir("home");
        env_.set("HOME", home_);
        env_.set("XDG_CONFIG_HOME", tmp_ / "xdg");
        login_ = home_ + "/.config/autostart/Quavermill.desktop";
        desk_ = home_ + "/Desktop/Quavermill.desktop";
    }
    static std::string mark_log() {
        logger::info("-- mark --");
        return logger::tail(1).at(0);
    }
    static bool logged_last(const std::string& text) {
        return logger::tail(1).at(0).find(text) != std::string::npos;
    }

    testsupport::TempDir tmp_;
    testsupport::ScopedEnv env_{{"SNAP", "SNAP_NAME", "SNAP_REAL_HOME", "FLATPAK_ID", "XDG_DESKTOP_DIR"}};
    std::string home_, login_, desk_;
};

TEST_F(AutostartTest, WritesBothEntriesForAPlainInstallation) {
    const std::string exe = own_executable();
    ASSERT_FALSE(exe.empty());
    ASSERT_EQ(exe.find_first_of(" \"\\$`%"), std::string::npos) << "the build folder must be plain";
    EXPECT_FALSE(autostart::enabled());
    EXPECT_EQ(autostart::command(), "");

    ASSERT_TRUE(autostart::set(true, ""));
    EXPECT_TRUE(logged_last("Autostart eingetragen"));
    EXPECT_EQ(read_file(login_), entry(exe, "quavermill")) << "no blank after a bare command";
    EXPECT_EQ(mode_of(login_) & 0111, 0) << "the login entry is not executable";
    EXPECT_TRUE(autostart::enabled());
    EXPECT_EQ(autostart::command(), exe);
    EXPECT_FALSE(file_exists(tmp_ / "xdg/autostart")) << "XDG_CONFIG_HOME does not move it";

    EXPECT_FALSE(autostart::has_desktop_shortcut());
    ASSERT_TRUE(autostart::desktop_shortcut(true, "--folder \"/data/my music\""));
    EXPECT_EQ(read_file(desk_), entry(exe + " --folder \"/data/my music\"", "quavermill"));
    EXPECT_EQ(mode_of(desk_), 0755);
    EXPECT_TRUE(autostart::has_desktop_shortcut());

    ASSERT_TRUE(autostart::set(true, "--folder \"/data/plain\""));
    EXPECT_EQ(autostart::command(), exe + " --folder \"/data/plain\"") << "an older entry is replaced";
}

TEST_F(AutostartTest, SwitchingOffRemovesTheEntriesAndToleratesTheirAbsence) {
    ASSERT_TRUE(autostart::set(true, "--folder \"/m\""));
    ASSERT_TRUE(autostart::desktop_shortcut(true, ""));
    EXPECT_TRUE(autostart::set(false, "--folder \"/m\""));
    EXPECT_TRUE(logged_last("Autostart entfernt"));
    EXPECT_FALSE(autostart::enabled());
    EXPECT_EQ(autostart::command(), "");
    EXPECT_FALSE(file_exists(login_));
    EXPECT_TRUE(autostart::desktop_shortcut(false, ""));
    EXPECT_FALSE(autostart::has_desktop_shortcut());

    EXPECT_TRUE(autostart::set(false, ""));
    EXPECT_TRUE(autostart::desktop_shortcut(false, ""));
}

TEST_F(AutostartTest, CommandReadsTheFirstExecLine) {
    tmp_.write_text("home/.config/autostart/Quavermill.desktop",
                    "[Desktop Entry]\nTryExec=x\nExec=first --a\nExec=second\n");
    EXPECT_TRUE(autostart::enabled());
    EXPECT_EQ(autostart::command(), "first --a");
    tmp_.write_text("home/.config/autostart/Quavermill.desktop", "[Desktop Entry]\n");
    EXPECT_EQ(autostart::command(), "");
}

TEST_F(AutostartTest, DesktopFolderComesFromTheEnvironmentThenUserDirsThenDesktop) {
    struct Case {
        const char* user_dirs;  // null: no file
        std::string expected;
    } cases[] = {
        {nullptr, "home/Desktop"},
        {"XDG_MUSIC_DIR=\"$HOME/Musik\"\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", "home/Schreibtisch"},
        {"XDG_DESKTOP_DIR=\"/x/$HOME/Pult\"\n", "home/Pult"},  // anything before $HOME goes
        {"XDG_DESKTOP_DIR=\"TMP/desk\"\nXDG_DESKTOP_DIR=\"$HOME/second\"\n", "desk"},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n", "home/Desktop"},
    };
    for (const Case& c : cases) {
        ::unlink((home_ + "/.config/user-dirs.dirs").c_str());
        if (c.user_dirs) {
            std::string text = c.user_dirs;
            size_t at = text.find("TMP");
            if (at != std::string::npos) text.replace(at, 3, tmp_.path());
            tmp_.write_text("home/.config/user-dirs.dirs", text);
        }
        ASSERT_TRUE(autostart::desktop_shortcut(true, "")) << c.expected;
        EXPECT_TRUE(file_exists(tmp_ / (c.expected + "/Quavermill.desktop"))) << c.expected;
        EXPECT_TRUE(autostart::has_desktop_shortcut());
        ASSERT_TRUE(autostart::desktop_shortcut(false, ""));
        EXPECT_FALSE(file_exists(tmp_ / (c.expected + "/Quavermill.desktop"))) << c.expected;
    }

    env_.set("XDG_DESKTOP_DIR", tmp_ / "env desk/deeper");
    ASSERT_TRUE(autostart::desktop_shortcut(true, ""));
    EXPECT_EQ(mode_of(tmp_ / "env desk/deeper/Quavermill.desktop"), 0755);
}

TEST_F(AutostartTest, ASnapWritesItsNameAndIconAndUsesItsOwnHomeForLogin) {
    const std::string snap_home = tmp_.make_dir("snap/quavermill/12");
    env_.set("SNAP", "/snap/quavermill/12");
    env_.set("SNAP_NAME", "quavermill");
    env_.set("SNAP_REAL_HOME", home_);
    env_.set("HOME", snap_home);
    const std::string expected =
        entry("quavermill --folder \"/data/my music\"", "/snap/quavermill/current/meta/gui/icon.png");

    ASSERT_TRUE(autostart::set(true, "--folder \"/data/my music\""));
    EXPECT_EQ(read_file(snap_home + "/.config/autostart/Quavermill.desktop"), expected);
    EXPECT_FALSE(file_exists(login_));
    EXPECT_EQ(autostart::command(), "quavermill --folder \"/data/my music\"");
    ASSERT_TRUE(autostart::desktop_shortcut(true, "--folder \"/data/my music\""));
    EXPECT_EQ(read_file(desk_), expected) << "the shortcut goes to the real desktop";

    env_.unset("HOME");
    const std::string mark = mark_log();
    EXPECT_FALSE(autostart::set(true, ""));
    EXPECT_FALSE(autostart::set(false, ""));
    EXPECT_FALSE(autostart::enabled());
    EXPECT_EQ(autostart::command(), "");
    EXPECT_EQ(logger::tail(1).at(0), mark) << "nothing is logged without a home";
    EXPECT_TRUE(autostart::has_desktop_shortcut()) << "the real home still names the desktop";
}

TEST_F(AutostartTest, AFlatpakRunsThroughFlatpak) {
    env_.set("FLATPAK_ID", "org.example.Quavermill");
    ASSERT_TRUE(autostart::set(true, "--folder \"/data/my music\""));
    EXPECT_EQ(read_file(login_), entry("flatpak run org.example.Quavermill --folder \"/data/my music\"",
                                       "org.example.Quavermill"));
}

TEST_F(AutostartTest, WithoutAHomeNothingHappens) {
    env_.unset("HOME");
    const std::string mark = mark_log();
    EXPECT_FALSE(autostart::set(true, ""));
    EXPECT_FALSE(autostart::set(false, ""));
    EXPECT_FALSE(autostart::desktop_shortcut(true, ""));
    EXPECT_FALSE(autostart::desktop_shortcut(false, ""));
    EXPECT_FALSE(autostart::enabled());
    EXPECT_FALSE(autostart::has_desktop_shortcut());
    EXPECT_EQ(autostart::command(), "");
    EXPECT_EQ(logger::tail(1).at(0), mark);
}

TEST_F(AutostartTest, AnUnwritableFolderIsReported) {
    // A regular file where the folder should be stops root as well.
    tmp_.write_text("home/.config/autostart", "not a folder");
    EXPECT_FALSE(autostart::set(true, ""));
    EXPECT_TRUE(logged_last("Autostart NICHT eingetragen"));
    EXPECT_NE(logger::tail(2).at(0).find("Autostart nicht schreibbar: " + login_), std::string::npos);
    EXPECT_FALSE(autostart::enabled());

    env_.set("XDG_DESKTOP_DIR", tmp_ / "home/.config/autostart/desk");
    EXPECT_FALSE(autostart::desktop_shortcut(true, ""));
    EXPECT_TRUE(logged_last("Autostart nicht schreibbar: "));

    // A folder in the entry's place cannot be removed as a file: switching off must say so.
    tmp_.make_dir("home/Desktop/Quavermill.desktop/inside");
    env_.unset("XDG_DESKTOP_DIR");
    EXPECT_FALSE(autostart::desktop_shortcut(false, ""));
}

TEST_F(AutostartTest, ExecQuotesAndEscapesWhatTheDesktopWouldReadOtherwise) {
    struct Case {
        std::string args, exec_args;
    } cases[] = {
        {"--folder \"/data/my music\"", "--folder \"/data/my music\""},
        {"--folder \"/a\"b\"", "--folder \"/a\\\\\"b\""},
        {"--folder \"/a\\b\"", "--folder \"/a\\\\\\\\b\""},
        {"--folder \"/$HOME/`x`\"", "--folder \"/\\\\$HOME/\\\\`x\\\\`\""},
        {"--folder \"/100% live\"", "--folder \"/100%% live\""},
        {"--folder \"/a\nb\tc\"", "--folder \"/a\\nb\\tc\""},
        {"--folder \"/it's\"", "--folder \"/it's\""},
        {"--folder \"\"", "--folder \"\""},
        {"--folder \"/x\" y \"z\"", "--folder \"/x\\\\\" y \\\\\"z\""},  // to the last quote
        {"--verbose  --folder \"/m\"", "--verbose --folder \"/m\""},
    };
    env_.set("SNAP_NAME", "qm");
    for (const Case& c : cases) {
        ASSERT_TRUE(autostart::set(true, c.args));
        EXPECT_EQ(autostart::command(), "qm " + c.exec_args) << c.args;
    }
    env_.set("SNAP_NAME", "my player");
    ASSERT_TRUE(autostart::set(true, ""));
    EXPECT_EQ(autostart::command(), "\"my player\"") << "a command with a blank is quoted";
}

// The reference checker of the desktop-entry format, where it is installed (Debian's
// desktop-file-utils): every packaging, with a folder full of characters that need escaping.
TEST_F(AutostartTest, BothEntriesPassTheDesktopEntryValidator) {
    if (testsupport::run({"sh", "-c", "command -v desktop-file-validate"}).exit_code != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    const std::string args = "--folder \"/data/it's \"my\" $HOME `x` 100% \\ (live)\"";
    const std::string snap_home = tmp_.make_dir("snap-home");
    struct Packaging {
        const char* name;
        std::vector<std::pair<std::string, std::string>> vars;
        std::string login;
    } packagings[] = {
        {"plain", {}, login_},
        {"snap",
         {{"SNAP", "/snap/quavermill/12"}, {"SNAP_NAME", "quavermill"}, {"SNAP_REAL_HOME", home_},
          {"HOME", snap_home}},
         snap_home + "/.config/autostart/Quavermill.desktop"},
        {"flatpak", {{"FLATPAK_ID", "org.example.Quavermill"}}, login_},
    };
    for (const Packaging& p : packagings) {
        testsupport::ScopedEnv env({});  // restores what the packaging sets
        for (const auto& [name, value] : p.vars) env.set(name, value);
        ASSERT_TRUE(autostart::set(true, args)) << p.name;
        ASSERT_TRUE(autostart::desktop_shortcut(true, args)) << p.name;
        for (const std::string& file : {p.login, desk_}) {
            testsupport::RunResult r = testsupport::run({"desktop-file-validate", file});
            EXPECT_EQ(r.exit_code, 0) << p.name << " " << file << "\n" << r.out << r.err;
            EXPECT_EQ((r.out + r.err).find("error"), std::string::npos) << p.name << "\n" << r.out;
        }
    }
}

}  // namespace
