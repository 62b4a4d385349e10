#include "system/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

const std::vector<std::string> kEnvVars = {"XDG_CONFIG_HOME", "HOME", "SNAP", "FLATPAK_ID",
                                           "APPDIR", "QVML_LANG", "LANGUAGE", "LC_ALL",
                                           "LC_MESSAGES", "LANG"};

// Each test sees only the variables it sets; the original environment comes back afterwards.
class PathsTest : public ::testing::Test {
protected:
    testsupport::ScopedEnv env_{kEnvVars};
};

TEST_F(PathsTest, ConfigDirPrefersXdgThenHomeThenWorkingFolder) {
    testsupport::TempDir tmp;
    setenv("XDG_CONFIG_HOME", (tmp / "xdg/deep").c_str(), 1);
    setenv("HOME", (tmp / "home").c_str(), 1);
    EXPECT_EQ(paths::config_dir(), tmp / "xdg/deep/Quavermill");
    EXPECT_TRUE(testsupport::file_exists(tmp / "xdg/deep/Quavermill"));

    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(paths::config_dir(), tmp / "home/.config/Quavermill");
    EXPECT_TRUE(testsupport::file_exists(tmp / "home/.config/Quavermill"));

    unsetenv("HOME");
    char old_cwd[4096];
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_EQ(paths::config_dir(), ".Quavermill");
    EXPECT_TRUE(testsupport::file_exists(tmp / ".Quavermill"));
    ASSERT_EQ(chdir(old_cwd), 0);
}

TEST_F(PathsTest, ConfigDirKeepsTheVariableAsWritten) {
    testsupport::TempDir tmp;
    setenv("XDG_CONFIG_HOME", (tmp.path() + "/").c_str(), 1);
    EXPECT_EQ(paths::config_dir(), tmp.path() + "//Quavermill");
    EXPECT_TRUE(testsupport::file_exists(tmp / "Quavermill"));
}

TEST_F(PathsTest, PackageKindByVariableInFixedOrder) {
    EXPECT_STREQ(paths::package_kind(), "plain");
    EXPECT_FALSE(paths::is_sandboxed());
    setenv("APPDIR", "/tmp/.mount", 1);
    EXPECT_STREQ(paths::package_kind(), "appimage");
    EXPECT_FALSE(paths::is_sandboxed());
    setenv("FLATPAK_ID", "org.example.Quavermill", 1);
    EXPECT_STREQ(paths::package_kind(), "flatpak");
    EXPECT_TRUE(paths::is_sandboxed());
    setenv("SNAP", "/snap/quavermill/1", 1);
    EXPECT_STREQ(paths::package_kind(), "snap");
    EXPECT_TRUE(paths::is_sandboxed());
    setenv("SNAP", "", 1);  // empty counts as unset
    EXPECT_STREQ(paths::package_kind(), "flatpak");
}

TEST_F(PathsTest, DisplayLeavesPathsUnchanged) {
    for (const char* p : {"/home/u/Musik", "~/x", "/run/user/1000/doc/abc/Musik", "a\\b/", ""})
        EXPECT_EQ(paths::display(p), p);
}

struct LanguageCase {
    std::map<std::string, std::string> env;
    std::string expected;
};

TEST_F(PathsTest, SystemLanguageTakesTheFirstUsefulVariable) {
    const LanguageCase cases[] = {
        {{}, "en"},
        {{{"LANG", "de_DE.UTF-8"}}, "de_DE"},
        {{{"LANGUAGE", "pt_BR:pt:en"}}, "pt_BR"},
        {{{"LANG", "sr_RS@latin"}}, "sr_RS"},
        {{{"LANGUAGE", ":de"}, {"LC_ALL", "fr_FR.UTF-8"}}, "fr_FR"},
        {{{"LC_ALL", "C"}, {"LANG", "nl_NL.UTF-8"}}, "nl_NL"},
        {{{"LANG", "POSIX"}}, "en"},
        {{{"LANG", "C.UTF-8"}}, "en"},
        {{{"LANG", "x"}}, "en"},
        {{{"LC_MESSAGES", "x"}, {"LANG", "it_IT"}}, "it_IT"},
        {{{"QVML_LANG", "fr"}, {"LANG", "de_DE.UTF-8"}}, "fr"},
    };
    for (const auto& c : cases) {
        for (const auto& name : kEnvVars) unsetenv(name.c_str());
        for (const auto& [name, value] : c.env) setenv(name.c_str(), value.c_str(), 1);
        EXPECT_EQ(paths::system_language(), c.expected) << "case expecting " << c.expected;
    }
}

}  // namespace
