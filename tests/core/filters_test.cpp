#include "core/filters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

TEST(NameMatches, PatternLists) {
    struct Case {
        const char* name;
        const char* patterns;
        bool match;
    } cases[] = {
        {"anything.wav", "", true},         {"Track.mp3", " *.MP3 ; *.ogg ", true},
        {"a.OGG", " *.MP3 ; *.ogg ", true}, {"a.wav", " *.MP3 ; *.ogg ", false},
        {"a.mp3", ";", false},              {"a.mp3", "   ", false},
        {"a.mp3", ";;*.mp3;", true},        {"ABC", "a?c", true},
        {"ac", "a?c", false},               {"", "*", true},
        {"", "?", false},                   {"x.mp3", "*.mp3", true},
        {"x.mp3.part", "*.mp3", false},     {"aXbXc", "a*b*c", true},
        {"abcbd", "*b?", true},             {"abcbc", "a*bc", true},
        {"mp3", "*.mp3", false},            {"\xc4.mp3", "\xe4.mp3", false},  // only ASCII folds
        {"\xff.mp3", "?.mp3", true},        {"*x", "*x", true},
        {"*ax", "*x", false},  // a "*" in the name is taken as the literal before it can stretch
        {"x.mp3", "*.txt\t;\t*.mp3", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filters::name_matches(c.name, c.patterns), c.match)
            << '"' << c.name << "\" against \"" << c.patterns << '"';
}

class AcceptTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    // 3 May 2024 in Berlin (UTC+2).
    static int64_t may3(int h, int mi = 0) { return 1714687200 + h * 3600 + mi * 60; }
    FilterSet rules;
};

TEST_F(AcceptTest, SizeAndNameComeFirstAndLeaveTheTimeUnwritten) {
    int64_t out = -5;
    EXPECT_FALSE(filters::accept(rules, "x.mp3", 1023, may3(12), may3(12), &out));
    EXPECT_FALSE(filters::accept(rules, "x.wav", 5000, may3(12), may3(12), &out));
    rules.max_bytes = 4000;
    EXPECT_FALSE(filters::accept(rules, "x.mp3", 4001, may3(12), may3(12), &out));
    EXPECT_EQ(out, -5);
    EXPECT_TRUE(filters::accept(rules, "x.mp3", 4000, may3(12), may3(12), &out));
    EXPECT_EQ(out, may3(12));
    rules.min_bytes = 0;
    EXPECT_TRUE(filters::accept(rules, "x.mp3", 0, may3(12), may3(12), nullptr));
}

TEST_F(AcceptTest, RecordingTimeSource) {
    int64_t out = 0;
    EXPECT_FALSE(filters::accept(rules, "2024-05-03_21-00-00.mp3", 2048, may3(12), may3(12), &out));
    EXPECT_EQ(out, may3(21));  // written even when the time refuses the file
    rules.win_files = false;
    EXPECT_TRUE(filters::accept(rules, "2024-05-03_21-00-00.mp3", 2048, may3(12), may3(12), &out));
    rules.win_files = true;
    rules.time_source = TimeSource::Off;
    EXPECT_TRUE(filters::accept(rules, "2024-05-03_21-00-00.mp3", 2048, may3(12), may3(12), &out));
    EXPECT_EQ(out, may3(21));
    rules.time_source = TimeSource::Name;
    EXPECT_TRUE(filters::accept(rules, "talk.mp3", 2048, 0, may3(9), &out));
    EXPECT_EQ(out, may3(9));
    EXPECT_FALSE(filters::accept(rules, "talk.mp3", 2048, may3(22), may3(9), &out));
    EXPECT_EQ(out, may3(22));  // the creation time is preferred when there is one
    rules.time_source = TimeSource::Modified;
    EXPECT_TRUE(filters::time_ok(rules, "2024-05-03_21-00-00.mp3", may3(22), may3(9), &out));
    EXPECT_EQ(out, may3(9));
    rules.time_source = TimeSource::Created;
    EXPECT_FALSE(filters::time_ok(rules, "talk.mp3", may3(22), may3(9), &out));
    EXPECT_EQ(out, may3(22));
    rules.time_source = static_cast<TimeSource>(7);  // unknown sources behave as the file name
    EXPECT_FALSE(filters::time_ok(rules, "2024-05-03_21-00-00.mp3", may3(9), may3(9), &out));
}

TEST_F(AcceptTest, DateBoundsAndUnknownTimes) {
    rules.date_from = may3(8);
    rules.date_to = may3(10);
    EXPECT_FALSE(filters::time_ok(rules, "a.mp3", may3(7, 59), 0, nullptr));
    EXPECT_TRUE(filters::time_ok(rules, "a.mp3", may3(8), 0, nullptr));
    EXPECT_TRUE(filters::time_ok(rules, "a.mp3", may3(10), 0, nullptr));
    EXPECT_FALSE(filters::time_ok(rules, "a.mp3", may3(10, 1), 0, nullptr));
    rules.time_rules = false;
    EXPECT_TRUE(filters::time_ok(rules, "a.mp3", may3(11), 0, nullptr));
    // Without any time a file passes only when no time rule could apply to it.
    rules.time_rules = true;
    EXPECT_FALSE(filters::time_ok(rules, "a.mp3", 0, 0, nullptr));
    rules.win_files = false;
    EXPECT_FALSE(filters::time_ok(rules, "a.mp3", 0, 0, nullptr));
    rules.date_from = rules.date_to = 0;
    EXPECT_TRUE(filters::time_ok(rules, "a.mp3", 0, -3, nullptr));
}

}  // namespace
