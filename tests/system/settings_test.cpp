#include "system/save_crypt.h"  // before <unistd.h>, which gtest includes
#include "system/settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <limits>
#include <locale>

#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "system/logger.h"

namespace {

using testsupport::read_file;

const char* const kDefaultText =
    "root=\npatterns=*.mp3\nrecursive=1\nwin_from=360\nwin_to=1200\nwin_days=127\ntime_rules=1\n"
    "win_files=1\nwin_play=1\ntime_source=0\ndate_from=0\ndate_to=0\nmin_bytes=1024\nmax_bytes=0\n"
    "lvl_on=1\nlvl_target=-16\nlvl_ceiling=-1\nlvl_maxgain=30\nvolume=0.8\nloop=1\nshuffle=1\n"
    "autostart=1\nrescan=15\nlanguage=auto\ntheme=light\naudio_device=\nwin_x=-1\nwin_y=-1\n"
    "win_w=0\nwin_h=0\n";

// Every test gets a configuration folder of its own below a fresh temporary folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.set("XDG_CONFIG_HOME", tmp_.path());
        file_ = tmp_ / "Quavermill/settings.dat";
        ASSERT_EQ(settings::file_path(), file_);
    }

    // The plain text the file holds now; empty if it is not readable as a sealed value.
    std::string stored_text() const {
        std::string plain;
        return crypt::decrypt(read_file(file_), &plain) == 0 ? plain : std::string();
    }
    std::string text_of(const Settings& s) {
        EXPECT_TRUE(settings::save(s));
        return stored_text();
    }
    Settings load_text(const std::string& plain) {
        tmp_.write_text("Quavermill/settings.dat", crypt::encrypt(plain));
        return settings::load();
    }
    // A line that later log lines can be compared against.
    static std::string mark_log() {
        logger::info("-- mark --");
        return logger::tail(1).at(0);
    }

    testsupport::TempDir tmp_;
    testsupport::ScopedEnv env_{{"XDG_CONFIG_HOME"}};
    std::string file_;
};

TEST_F(SettingsTest, DefaultsAreWrittenExactlyAndComeBack) {
    const std::string mark = mark_log();
    Settings fresh = settings::load();
    EXPECT_EQ(logger::tail(1).at(0), mark) << "a missing file is no news";
    EXPECT_EQ(text_of(fresh), kDefaultText);
    EXPECT_EQ(text_of(Settings()), kDefaultText);
    EXPECT_EQ(text_of(settings::load()), kDefaultText);
    EXPECT_FLOAT_EQ(settings::load().leveler.min_gain_db, -20.0f);
    EXPECT_FALSE(testsupport::file_exists(file_ + ".tmp"));
}

TEST_F(SettingsTest, EveryFieldSurvivesARoundTrip) {
    Settings s;
    s.root = "/data/my music";
    s.patterns = "*.mp3;rec_*.MP3";
    s.recursive = false;
    s.time_rules = false;
    s.window = {-1, 1440, 0x15};
    s.win_files = false;
    s.win_play = false;
    s.time_source = TimeSource::Modified;
    s.date_from = -86400;
    s.date_to = 4102444800;  // beyond 32 bits
    s.min_bytes = 0;
    s.max_bytes = 5000000000;
    s.leveler = {false, -23.5f, -0.5f, 12.25f, -5.0f};
    s.volume = 0.123456789f;
    s.loop = false;
    s.shuffle = false;
    s.autostart = false;
    s.rescan = 1;
    s.language = "pt_BR";
    s.theme = "dark";
    s.audio_device = "pulse:alsa_output.pci-0000_00_1b.0.analog-stereo";
    s.win_x = 120;
    s.win_y = -5;
    s.win_w = 940;
    s.win_h = 744;
    const std::string text = text_of(s);
    EXPECT_NE(text.find("\nlvl_target=-23.5\nlvl_ceiling=-0.5\nlvl_maxgain=12.25\nvolume=0.123457\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("\nwin_from=-1\nwin_to=1440\nwin_days=21\ntime_rules=0\n"), std::string::npos);

    Settings back = settings::load();
    EXPECT_EQ(text_of(back), text);
    EXPECT_EQ(back.date_to, 4102444800);
    EXPECT_EQ(back.window.days, 0x15);
    EXPECT_FLOAT_EQ(back.volume, 0.123457f) << "six significant digits";
    EXPECT_FLOAT_EQ(back.leveler.min_gain_db, -20.0f) << "not stored, always the default";
}

TEST_F(SettingsTest, FloatsUseTheShorterOfFixedAndExponentForm) {
    Settings s;
    s.volume = 1e-7f;
    s.leveler.target_db = 1234567.0f;
    s.leveler.ceiling_db = 0.0f;
    const std::string text = text_of(s);
    EXPECT_NE(text.find("\nlvl_target=1.23457e+06\nlvl_ceiling=0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nvolume=1e-07\n"), std::string::npos) << text;
}

TEST_F(SettingsTest, BoolsAndStringsAreTakenLiterally) {
    Settings s = load_text("recursive=true\nloop=\nshuffle=1\nlvl_on=01\nroot=/a=b\n"
                           "language= de \ntheme=dark\r\npatterns=\n");
    EXPECT_FALSE(s.recursive);
    EXPECT_FALSE(s.loop);
    EXPECT_TRUE(s.shuffle);
    EXPECT_FALSE(s.leveler.on);
    EXPECT_EQ(s.root, "/a=b");
    EXPECT_EQ(s.language, " de ");
    EXPECT_EQ(s.theme, "dark") << "one trailing CR goes";
    EXPECT_EQ(s.patterns, "");
    EXPECT_TRUE(s.autostart) << "absent keys keep their default";
}

TEST_F(SettingsTest, NumbersFollowTheirReadingRules) {
    Settings s = load_text("rescan=2.9\nwin_x=-2.9\nwin_y=abc\nwin_w=12px\nmin_bytes=\n"
                           "max_bytes=1e10\nwin_from=\nwin_to=480\nvolume=\nlvl_target=-3.25dB\n");
    EXPECT_EQ(s.rescan, 2);
    EXPECT_EQ(s.win_x, -2);
    EXPECT_EQ(s.win_y, 0);
    EXPECT_EQ(s.win_w, 12);
    EXPECT_EQ(s.min_bytes, 1024) << "an empty value keeps the default";
    EXPECT_EQ(s.max_bytes, 10000000000);
    EXPECT_EQ(s.window.from, 360);
    EXPECT_EQ(s.window.to, 480);
    EXPECT_FLOAT_EQ(s.volume, 0.8f);
    EXPECT_FLOAT_EQ(s.leveler.target_db, -3.25f);
}

TEST_F(SettingsTest, OutOfRangeNumbersCannotBreakTheConversion) {
    Settings s = load_text("win_x=1e30\nwin_y=-1e30\nwin_w=nan\nrescan=inf\ndate_from=-1e300\n");
    EXPECT_EQ(s.win_x, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.win_y, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(s.win_w, 0);
    EXPECT_EQ(s.rescan, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.date_from, std::numeric_limits<int64_t>::min());
}

TEST_F(SettingsTest, LevelsAndVolumeThatAreNotFiniteReadLikeNoNumber) {
    Settings s = load_text("lvl_target=nan\nlvl_ceiling=-inf\nlvl_maxgain=1e39\nvolume=1e999\n");
    EXPECT_EQ(s.leveler.target_db, 0.0f);
    EXPECT_EQ(s.leveler.ceiling_db, 0.0f);
    EXPECT_EQ(s.leveler.max_gain_db, 0.0f) << "beyond the float range";
    EXPECT_EQ(s.volume, 0.0f);
}

TEST_F(SettingsTest, MaskAndSourceAreTakenOnlyInRange) {
    struct Case {
        const char* text;
        int days;
        int source;
    } cases[] = {
        {"win_days=\ntime_source=\n", 0, 0},   // empty reads as 0, which is in range
        {"win_days=200\ntime_source=7\n", 127, 0},
        {"win_days=128\ntime_source=4\n", 127, 0},
        {"win_days=1\ntime_source=1\n", 1, 1},
        {"win_days=-1\ntime_source=-1\n", 127, 0},
        {"win_days= 5x\ntime_source=3\n", 5, 3},
        {"win_days=abc\ntime_source=2.9\n", 0, 2},
        {"win_days=99999999999999999999\n", 127, 0},
    };
    for (const Case& c : cases) {
        Settings s = load_text(c.text);
        EXPECT_EQ(s.window.days, c.days) << c.text;
        EXPECT_EQ(static_cast<int>(s.time_source), c.source) << c.text;
    }
}

TEST_F(SettingsTest, LinesAreSplitAtTheFirstEqualsAndTheLastOccurrenceWins) {
    Settings s = load_text("no equals sign here\nroot=/first\nvolume =0.1\nVolume=0.2\n"
                           "root=/second\nunknown=1\n\nrescan=3");
    EXPECT_EQ(s.root, "/second");
    EXPECT_FLOAT_EQ(s.volume, 0.8f) << "keys are exact bytes";
    EXPECT_EQ(s.rescan, 3) << "the last line needs no line end";
}

TEST_F(SettingsTest, AFolderWithALineBreakIsCutAtTheBreak) {
    Settings s;
    s.root = "/music\nshuffle=0";
    ASSERT_TRUE(settings::save(s));
    Settings back = settings::load();
    EXPECT_EQ(back.root, "/music");
    EXPECT_TRUE(back.shuffle) << "the file's own shuffle line comes later and wins";
}

TEST_F(SettingsTest, DamagedFilesGiveTheDefaultsWithAWarning) {
    Settings custom;
    custom.root = "/x";
    ASSERT_TRUE(settings::save(custom));
    std::string sealed = read_file(file_);
    sealed[sealed.size() / 2] ^= 0x04;
    const std::string damaged[] = {sealed, "root=/x\npatterns=*.mp3\n", sealed.substr(0, 44),
                                   std::string("QMSV\x02", 5) + sealed.substr(5)};
    for (const std::string& bytes : damaged) {
        tmp_.write_text("Quavermill/settings.dat", bytes);
        mark_log();
        Settings s = settings::load();
        EXPECT_EQ(s.root, "");
        EXPECT_NE(logger::tail(1).at(0).find("Einstellungen beschaedigt — Vorgaben werden benutzt"),
                  std::string::npos) << logger::tail(1).at(0);
        EXPECT_EQ(read_file(file_), bytes) << "the damaged file stays until the next save";
    }
    tmp_.write_text("Quavermill/settings.dat", "");
    const std::string mark = mark_log();
    EXPECT_EQ(settings::load().root, "");
    EXPECT_EQ(logger::tail(1).at(0), mark) << "an empty file is no news";
}

TEST_F(SettingsTest, AFailedSaveLeavesTheOldFileUntouched) {
    Settings old;
    old.root = "/old";
    ASSERT_TRUE(settings::save(old));
    const std::string before = read_file(file_);
    Settings next;
    next.root = "/new";

    // A directory in the temporary file's place cannot be opened for writing, not even by root.
    tmp_.make_dir("Quavermill/settings.dat.tmp");
    EXPECT_FALSE(settings::save(next));
    EXPECT_NE(logger::tail(1).at(0).find("Einstellungen nicht schreibbar: " + file_ + ".tmp"),
              std::string::npos) << logger::tail(1).at(0);
    EXPECT_EQ(read_file(file_), before);
    EXPECT_EQ(settings::load().root, "/old");
}

TEST_F(SettingsTest, AConfigurationFolderThatCannotExistFailsCleanly) {
    tmp_.write_text("not_a_folder", "x");
    env_.set("XDG_CONFIG_HOME", tmp_ / "not_a_folder");
    EXPECT_FALSE(settings::save(Settings()));
    EXPECT_NE(logger::tail(1).at(0).find("Einstellungen nicht schreibbar: " + (tmp_ / "not_a_folder") +
                                         "/Quavermill/settings.dat.tmp"), std::string::npos);
    EXPECT_EQ(settings::load().root, "");
}

TEST_F(SettingsTest, AFailedRenameKeepsWhatIsInPlace) {
    tmp_.make_dir("Quavermill/settings.dat/inside");
    EXPECT_FALSE(settings::save(Settings()));
    EXPECT_NE(logger::tail(1).at(0).find("Einstellungen nicht ersetzbar"), std::string::npos);
    EXPECT_TRUE(testsupport::file_exists(file_ + "/inside"));
    std::string plain;
    EXPECT_EQ(crypt::decrypt(read_file(file_ + ".tmp"), &plain), 0) << "the new content is kept";
    EXPECT_EQ(plain, kDefaultText);
}

// The process dies after the new content is on disk and before it replaces the old file.
TEST_F(SettingsTest, ASaveInterruptedBeforeTheReplaceKeepsTheOldSettings) {
    Settings old;
    old.root = "/old";
    ASSERT_TRUE(settings::save(old));
    const std::string before = read_file(file_);
    pid_t child = fork();
    if (child == 0) {
        settings::testing::set_before_replace_hook([] { _exit(0); });
        Settings next;
        next.root = "/new";
        settings::save(next);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the hook must have run";
    EXPECT_EQ(read_file(file_), before);
    EXPECT_EQ(settings::load().root, "/old");

    // The next complete save replaces the left-over temporary file and the old content.
    Settings next;
    next.root = "/next";
    ASSERT_TRUE(settings::save(next));
    EXPECT_EQ(settings::load().root, "/next");
    EXPECT_FALSE(testsupport::file_exists(file_ + ".tmp"));
}

TEST_F(SettingsTest, AGermanNumericLocaleStillWritesAndReadsADot) {
    const std::string old_c = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
    const std::locale old_cpp = std::locale::global(std::locale("de_DE.UTF-8"));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 0.5);

    Settings s;
    s.volume = 0.25f;
    s.leveler.target_db = -16.5f;
    s.max_bytes = 1234567;
    const std::string text = text_of(s);
    Settings back = settings::load();

    std::locale::global(old_cpp);
    std::setlocale(LC_ALL, old_c.c_str());
    ASSERT_STREQ(probe, "0,5") << "the locale must really use a comma";
    EXPECT_NE(text.find("\nlvl_target=-16.5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nmax_bytes=1234567\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nvolume=0.25\n"), std::string::npos) << text;
    EXPECT_FLOAT_EQ(back.volume, 0.25f);
    EXPECT_FLOAT_EQ(back.leveler.target_db, -16.5f);
}

}  // namespace
