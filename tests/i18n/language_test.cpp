// Language choice from the setting and the environment, and text lookup.
#include "i18n/i18n.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "i18n/i18n_data.h"
#include "support/scoped_env.h"

namespace {

using i18n_data::KEYS;
using i18n_data::kKeyCount;

const std::vector<std::string> kLanguageVars = {"QVML_LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES",
                                                "LANG"};

const char* text_of(const char* const* values, const char* key) {
    for (int i = 0; i < kKeyCount; ++i)
        if (std::strcmp(KEYS[i], key) == 0) return values[i];
    return nullptr;
}

class Language : public ::testing::Test {
protected:
    testsupport::ScopedEnv env_{kLanguageVars};
};

TEST(LanguageFirstUse, LookupBeforeAnyChoiceFollowsTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no language chosen yet
    EXPECT_EXIT(
        {
            setenv("QVML_LANG", "de_CH.UTF-8", 1);
            bool before = i18n::effective_language() == "en" && !i18n::rtl();
            bool lookup = std::strcmp(i18n::T("stop"), "Stopp") == 0;
            bool after = i18n::effective_language() == "de" && i18n::language() == "auto";
            std::fprintf(stderr, "before=%d lookup=%d after=%d\n", before, lookup, after);
            std::exit(before && lookup && after ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "before=1 lookup=1 after=1");
}

TEST_F(Language, SettingResolvesToARowOrEnglish) {
    const std::map<std::string, std::string> cases = {
        {"de", "de"},       {"zh-TW", "zh_TW"}, {"zh_TW", "zh_TW"}, {"zh_HK", "zh"},
        {"zh_CN", "zh"},    {"zh-SG", "zh"},    {"pt_BR", "pt"},    {"de_AT", "de"},
        {"nb_NO", "nb"},    {"DE", "en"},       {"no", "en"},       {"xx", "en"},
        {"_de", "en"},      {"de-", "de"},      {"german", "en"},   {"ur", "ur"}};
    for (const auto& [setting, code] : cases) {
        i18n::set_language("fr");
        i18n::set_language(setting);
        EXPECT_EQ(i18n::language(), setting);
        EXPECT_EQ(i18n::effective_language(), code) << setting;
    }
    env_.set("LANG", "fr_FR.UTF-8");  // a code that resolves to nothing does not consult it
    i18n::set_language("xx");
    EXPECT_EQ(i18n::effective_language(), "en");
    EXPECT_FALSE(i18n::rtl());
}

TEST_F(Language, AutoAndEmptyFollowTheEnvironmentAtEachChoice) {
    struct Case {
        std::map<std::string, std::string> vars;
        const char* code;
    };
    const Case cases[] = {
        {{}, "en"},
        {{{"QVML_LANG", "fr"}, {"LANG", "de_DE.UTF-8"}}, "fr"},
        {{{"LANGUAGE", "pt_BR:pt:en"}, {"LANG", "de_DE.UTF-8"}}, "pt"},
        {{{"LANGUAGE", ":de"}, {"LANG", "fi_FI.UTF-8"}}, "fi"},
        {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, "de"},
        {{{"LC_ALL", "POSIX"}, {"LC_MESSAGES", "sr_RS@latin"}}, "sr"},
        {{{"LANG", "C.UTF-8"}}, "en"},
        {{{"LANG", "POSIX"}}, "en"},
        {{{"LANG", "zh_TW.UTF-8"}}, "zh_TW"},
        {{{"LANG", "zh_HK.UTF-8"}}, "zh"},
        {{{"LANG", "no_NO.UTF-8"}}, "en"},
        {{{"QVML_LANG", "he"}}, "he"},
    };
    for (const Case& c : cases) {
        for (const char* setting : {"auto", ""}) {
            testsupport::ScopedEnv env(kLanguageVars);
            i18n::set_language("de_AT");  // a different language before each choice
            for (const auto& [name, value] : c.vars) env.set(name, value);
            i18n::set_language(setting);
            EXPECT_EQ(i18n::language(), "auto");
            EXPECT_EQ(i18n::effective_language(), c.code)
                << "setting '" << setting << "', case for " << c.code;
        }
    }
}

TEST_F(Language, RightToLeftExactlyForArabicPersianHebrewUrdu) {
    for (const i18n::Language& lang : i18n::languages()) {
        i18n::set_language(lang.code);
        EXPECT_EQ(i18n::effective_language(), lang.code);
        bool expected = lang.code == "ar" || lang.code == "fa" || lang.code == "he" || lang.code == "ur";
        EXPECT_EQ(i18n::rtl(), expected) << lang.code;
    }
}

TEST_F(Language, PartsAreIsolatedOnlyInRightToLeftLanguagesAndCutsKeepThemWhole) {
    const std::string lri = "\u2066", fsi = "\u2068", pdi = "\u2069";
    for (const char* code : {"en", "de", "ja", "ar", "he"}) {
        i18n::set_language(code);
        const bool rtl = i18n::rtl();
        EXPECT_EQ(i18n::isolate("-20 dB"), rtl ? lri + "-20 dB" + pdi : "-20 dB") << code;
        EXPECT_EQ(i18n::isolate("/tmp/a", i18n::Order::Own), rtl ? fsi + "/tmp/a" + pdi : "/tmp/a");
    }
    const std::string line = "ab " + lri + "-2" + fsi + "x" + pdi + pdi + " ü";
    const size_t unit = 3, after = line.size() - 3;  // where the isolate begins and ends
    const struct {
        size_t offset, cut;
    } cases[] = {{0, 0},
                 {2, 2},
                 {unit, unit},
                 {unit + 1, unit},  // inside the opening mark
                 {unit + 4, unit},  // inside the nested one
                 {after - 1, unit},
                 {after, after},
                 {line.size() - 1, line.size() - 2},  // inside the ü
                 {999, line.size()}};
    for (const auto& c : cases) EXPECT_EQ(i18n::cut_point(line, c.offset), c.cut) << c.offset;
}

TEST_F(Language, LookupGivesTableTextsAndUnknownKeysUnchanged) {
    i18n::set_language("de");
    for (int i = 0; i < kKeyCount; ++i) {
        std::string copy = KEYS[i];  // found by content, not by pointer
        EXPECT_EQ(i18n::T(copy.c_str()), i18n_data::VALUES_de[i]) << copy;
    }
    EXPECT_STREQ(i18n::T("stop"), "Stopp");
    for (const char* unknown : {"no_such_key", "", "a", "zzz", "loop ", "Stop", "sto", "window_playx"})
        EXPECT_EQ(i18n::T(unknown), unknown) << unknown;
    ASSERT_NE(i18n::T(nullptr), nullptr);
    EXPECT_STREQ(i18n::T(nullptr), "");
    env_.set("QVML_LANG", "fr");
    i18n::set_language("");
    EXPECT_STREQ(i18n::T("close"), text_of(i18n_data::VALUES_fr, "close"));
}

TEST_F(Language, LanguageListMirrorsTheTableAndIsBuiltOnce) {
    const std::vector<i18n::Language>& list = i18n::languages();
    ASSERT_EQ(list.size(), 44u);
    EXPECT_EQ(list.front().code, "ar");
    EXPECT_EQ(list.back().code, "zh");
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].code, i18n_data::LANGS[i].code);
        EXPECT_EQ(list[i].name, i18n_data::LANGS[i].name);
        EXPECT_EQ(list[i].rtl, i18n_data::LANGS[i].rtl);
    }
    EXPECT_EQ(&i18n::languages(), &list);
}

// A player thread fetches texts while the window switches the language.
TEST_F(Language, ConcurrentLookupSeesTheOldOrTheNewLanguage) {
    const char* de = text_of(i18n_data::VALUES_de, "stop");
    const char* fr = text_of(i18n_data::VALUES_fr, "stop");
    i18n::set_language("de");
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        while (!done.load()) {
            const char* t = i18n::T("stop");
            if (t != de && t != fr) wrong.fetch_add(1);
            i18n::rtl();
        }
    });
    for (int i = 0; i < 20000; ++i) i18n::set_language(i % 2 ? "de" : "fr");
    done = true;
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
