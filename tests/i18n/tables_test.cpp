// Invariants of the compiled-in text tables, checked over every language.
#include "i18n/i18n_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using i18n_data::KEYS;
using i18n_data::LANGS;
using i18n_data::kKeyCount;
using i18n_data::kLangCount;

// The callers' key names, in strcmp order.
const char* const kKeyNames =
    "about_disclaimer about_disclaimer_title about_report_bug about_tagline autostart browse "
    "ceiling close day_di day_do day_fr day_mi day_mo day_sa day_so days days_all device "
    "device_default err_no_device err_no_dir err_no_files err_no_folder err_unreadable finished "
    "folder formats language language_auto level_match level_meter loop next no_track "
    "order_random pattern pause play playing pool recorded recursive rescan scanning settings "
    "start stop target theme_dark theme_light third_party time_created time_from_name "
    "time_modified time_off time_open time_source volume waiting_resume waiting_window window "
    "window_files window_play";

// Display order; a trailing '*' marks a right-to-left language.
const char* const kCodes =
    "ar* bg bn ca cs da de el en es fa* fi fr he* hi hr hu id it ja ko lt lv ms nb ne nl pl pt "
    "ro ru sk sl sr sv sw th tl tr uk ur* vi zh_TW zh";

std::vector<std::string> words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

int key_index(const char* key) {
    for (int i = 0; i < kKeyCount; ++i)
        if (std::strcmp(KEYS[i], key) == 0) return i;
    return -1;
}

// Strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF); counts code points.
bool utf8_length(const std::string& s, size_t& length) {
    length = 0;
    for (size_t i = 0; i < s.size(); ++length) {
        unsigned char c = s[i];
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        if (extra == 9 || i + extra >= s.size()) return false;
        unsigned long cp = extra ? c & (0x3F >> extra) : c;
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        const unsigned long min[] = {0, 0x80, 0x800, 0x10000};
        if (cp < min[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// The printf conversions in a text, "%%" excluded: "resumes at %s" gives "s".
std::string conversions(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') ++i;
        else out += i + 1 < text.size() ? text[i + 1] : '$';
    }
    return out;
}

int same_entries(const char* const* a, const char* const* b) {
    int same = 0;
    for (int i = 0; i < kKeyCount; ++i) same += std::strcmp(a[i], b[i]) == 0;
    return same;
}

TEST(Tables, KeysAreTheKnownNamesInStrcmpOrder) {
    std::vector<std::string> names = words(kKeyNames);
    ASSERT_EQ(kKeyCount, 63);
    ASSERT_EQ(names.size(), 63u);
    for (int i = 0; i < kKeyCount; ++i) {
        EXPECT_EQ(names[i], KEYS[i]) << "index " << i;
        if (i > 0) {
            EXPECT_LT(std::strcmp(KEYS[i - 1], KEYS[i]), 0) << KEYS[i];
        }
    }
    EXPECT_STREQ(KEYS[31], "loop");  // where every bisection starts
}

TEST(Tables, LanguageRowsInDisplayOrderWithTheirOwnTables) {
    std::vector<std::string> codes = words(kCodes);
    ASSERT_EQ(kLangCount, 44);
    ASSERT_EQ(codes.size(), 44u);
    for (int i = 0; i < kLangCount; ++i) {
        bool rtl = codes[i].back() == '*';
        if (rtl) codes[i].pop_back();
        EXPECT_EQ(codes[i], LANGS[i].code);
        EXPECT_EQ(rtl, LANGS[i].rtl) << codes[i];
        size_t length = 0;
        EXPECT_TRUE(utf8_length(LANGS[i].name, length) && length >= 2) << codes[i];
    }
    EXPECT_STREQ(LANGS[0].name, "العربية");
    EXPECT_STREQ(LANGS[24].name, "Norsk bokmål");
    EXPECT_STREQ(LANGS[42].name, "正體中文");
    EXPECT_EQ(LANGS[6].values, i18n_data::VALUES_de);
    EXPECT_EQ(LANGS[8].values, i18n_data::VALUES_en);
    EXPECT_EQ(LANGS[42].values, i18n_data::VALUES_zh_TW);
    EXPECT_EQ(LANGS[43].values, i18n_data::VALUES_zh);
}

TEST(Tables, EveryTextIsTrimmedValidUtf8WithoutStrayConversions) {
    const int resume = key_index("waiting_resume");
    for (const i18n_data::LangRow& lang : LANGS) {
        for (int i = 0; i < kKeyCount; ++i) {
            const std::string text = lang.values[i];
            const std::string where = std::string(lang.code) + " " + KEYS[i];
            size_t length = 0;
            EXPECT_TRUE(utf8_length(text, length)) << where;
            EXPECT_GT(length, 0u) << where;
            EXPECT_EQ(text.find_first_of("\t\r\n"), std::string::npos) << where;
            EXPECT_TRUE(!text.empty() && text.front() != ' ' && text.back() != ' ') << where;
            EXPECT_EQ(conversions(text), i == resume ? "s" : "") << where << ": " << text;
        }
    }
}

TEST(Tables, EveryLanguageIsItsOwnTranslation) {
    const char* const* en = i18n_data::VALUES_en;
    for (int a = 0; a < kLangCount; ++a) {
        if (LANGS[a].values != en) {
            EXPECT_LT(same_entries(LANGS[a].values, en), kKeyCount / 4) << LANGS[a].code << " vs en";
        }
        for (int b = a + 1; b < kLangCount; ++b)
            EXPECT_LT(same_entries(LANGS[a].values, LANGS[b].values), kKeyCount / 2)
                << LANGS[a].code << " vs " << LANGS[b].code;
    }
}

TEST(Tables, SevenDistinctWeekdaysInEveryLanguage) {
    for (const i18n_data::LangRow& lang : LANGS) {
        std::set<std::string> days;
        for (const char* key : {"day_mo", "day_di", "day_mi", "day_do", "day_fr", "day_sa", "day_so"})
            days.insert(lang.values[key_index(key)]);
        EXPECT_EQ(days.size(), 7u) << lang.code;
    }
}

TEST(Tables, EnglishAndGermanKeepTheirExactTexts) {
    auto text = [](const char* const* values, const char* key) {
        return std::string(values[key_index(key)]);
    };
    const char* const* en = i18n_data::VALUES_en;
    const char* const* de = i18n_data::VALUES_de;
    EXPECT_EQ(text(en, "about_disclaimer"),
              "This software is provided \"as is\", without warranty of any kind, express or implied. "
              "Use at your own risk. The author shall not be liable for any damages arising from the "
              "use of this software.");
    EXPECT_EQ(text(en, "days_all"), "no selection = every day");
    EXPECT_EQ(text(en, "waiting_resume"), "resumes at %s by itself");
    EXPECT_EQ(text(en, "browse"), "Browse …");
    EXPECT_EQ(text(de, "stop"), "Stopp");
    EXPECT_EQ(text(de, "next"), "Nächster");
    EXPECT_EQ(text(de, "waiting_window"), "Pause — außerhalb der Wiedergabezeit");
    EXPECT_EQ(text(de, "day_mo") + text(de, "day_so"), "MoSo");
}

}  // namespace
