#include "core/timeutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using timeutil::DayWindow;

namespace {

// Moments are written in UTC so that expectations do not rest on the conversion under test.
int64_t utc(int y, int mo, int d, int h, int mi = 0, int s = 0) {
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return static_cast<int64_t>(timegm(&tm));
}

// Berlin in May 2024 is UTC+2; 2024-05-13 is a Monday.
int64_t berlin_may(int d, int h, int mi = 0, int s = 0) { return utc(2024, 5, d, h, mi, s) - 7200; }

class LocalTimeTest : public ::testing::Test {
protected:
    void SetUp() override { use_zone("Europe/Berlin"); }
    static void use_zone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
};

TEST_F(LocalTimeTest, ToLocalBreaksDownWithMondayFirstWeekday) {
    timeutil::LocalTime lt = timeutil::to_local(berlin_may(12, 23, 30, 15));
    EXPECT_EQ(lt.year, 2024);
    EXPECT_EQ(lt.month, 5);
    EXPECT_EQ(lt.day, 12);
    EXPECT_EQ(lt.hour, 23);
    EXPECT_EQ(lt.minute, 30);
    EXPECT_EQ(lt.second, 15);
    EXPECT_EQ(lt.weekday, 6);  // Sunday
    EXPECT_EQ(timeutil::to_local(berlin_may(13, 0)).weekday, 0);
}

TEST_F(LocalTimeTest, LocalMidnightAcrossMonthEndAndDaylightSaving) {
    EXPECT_EQ(timeutil::local_midnight(berlin_may(31, 15), 1), utc(2024, 5, 31, 22));  // 1 June
    EXPECT_EQ(timeutil::local_midnight(berlin_may(13, 0, 0, 1), 0), berlin_may(13, 0));
    // 31 March 2024 has 23 hours, 27 October 2024 has 25.
    EXPECT_EQ(timeutil::local_midnight(utc(2024, 3, 31, 10), 0), utc(2024, 3, 30, 23));
    EXPECT_EQ(timeutil::local_midnight(utc(2024, 3, 31, 10), 1), utc(2024, 3, 31, 22));
    EXPECT_EQ(timeutil::local_midnight(utc(2024, 10, 27, 11), 0), utc(2024, 10, 26, 22));
    EXPECT_EQ(timeutil::local_midnight(utc(2024, 10, 27, 11), 1), utc(2024, 10, 27, 23));
}

TEST_F(LocalTimeTest, ContainsMomentForEveryKindOfWindow) {
    struct Case {
        int32_t from, to;
        uint8_t days;
        int day, hour, minute, second;
        bool in;
    } cases[] = {
        {1320, 360, 127, 13, 23, 30, 0, true},   {1320, 360, 127, 13, 5, 59, 59, true},
        {1320, 360, 127, 13, 6, 0, 0, false},    {1320, 360, 127, 13, 21, 59, 0, false},
        {480, 480, 127, 13, 3, 0, 0, true},      {-1, -1, 127, 13, 12, 0, 0, true},
        {-1, 600, 127, 13, 0, 0, 0, true},       {-1, 600, 127, 13, 9, 59, 0, true},
        {-1, 600, 127, 13, 10, 0, 0, false},     {1200, -1, 127, 13, 20, 0, 0, true},
        {1200, -1, 127, 13, 19, 59, 0, false},   {360, 1440, 127, 13, 23, 59, 0, true},
        {1320, 360, 0, 15, 23, 0, 0, true},      {1320, 360, 128, 15, 23, 0, 0, true},
        {1320, 360, 1, 13, 23, 0, 0, true},      {1320, 360, 1, 13, 5, 0, 0, true},
        {1320, 360, 1, 14, 5, 0, 0, false},      {-1, -1, 64, 13, 12, 0, 0, false},
        {1440, 0, 127, 13, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        DayWindow w{c.from, c.to, c.days};
        EXPECT_EQ(w.contains_moment(berlin_may(c.day, c.hour, c.minute, c.second)), c.in)
            << c.from << "-" << c.to << " days " << int(c.days) << " on " << c.day << " at " << c.hour
            << ":" << c.minute;
    }
}

TEST_F(LocalTimeTest, SecondsUntilOpen) {
    DayWindow standard;
    EXPECT_EQ(standard.seconds_until_open(berlin_may(15, 12)), 0);
    EXPECT_EQ(standard.seconds_until_open(berlin_may(15, 21)), 9 * 3600);
    EXPECT_EQ(standard.seconds_until_open(berlin_may(16, 5, 59, 30)), 30);
    EXPECT_EQ((DayWindow{360, 1200, 64}).seconds_until_open(berlin_may(13, 8)), 5 * 86400 + 22 * 3600);
    EXPECT_EQ((DayWindow{1440, 0, 127}).seconds_until_open(berlin_may(13, 8)), 604800);
    // Windows open at the start of an allowed day are found at its midnight.
    EXPECT_EQ((DayWindow{1320, 360, 2}).seconds_until_open(berlin_may(13, 12)), 12 * 3600);
    EXPECT_EQ((DayWindow{-1, 600, 4}).seconds_until_open(berlin_may(13, 12)), 36 * 3600);
    // Sunday only, asked just after Sunday's window closed: a week less 14 hours, within the cap.
    EXPECT_EQ((DayWindow{360, 1200, 64}).seconds_until_open(berlin_may(12, 20)), 6 * 86400 + 10 * 3600);
}

TEST_F(LocalTimeTest, SecondsUntilOpenKeepsTheClockTimeOnDaylightSavingDays) {
    DayWindow standard;
    // Saturday 21:00 before the spring change: 06:00 CEST comes after only 8 hours.
    EXPECT_EQ(standard.seconds_until_open(utc(2024, 3, 30, 20)), 8 * 3600);
    // Before the autumn change: 06:00 CET after 10 hours, not on the following day.
    EXPECT_EQ(standard.seconds_until_open(utc(2024, 10, 26, 19)), 10 * 3600);
    EXPECT_EQ((DayWindow{600, 1200, 64}).seconds_until_open(utc(2024, 10, 26, 19)), 14 * 3600);
}

TEST_F(LocalTimeTest, DayThatBeginsAtOneInTheMorning) {
    use_zone("America/Santiago");  // 8 September 2024 has no 00:00; the day starts at 01:00
    int64_t saturday_noon = utc(2024, 9, 7, 16);
    EXPECT_EQ(timeutil::local_midnight(saturday_noon, 1), utc(2024, 9, 8, 4));
    EXPECT_EQ((DayWindow{-1, 600, 64}).seconds_until_open(saturday_noon), 12 * 3600);
}

TEST(ClockTimeText, ParseHhmm) {
    struct Case {
        const char* text;
        int32_t minutes;
    } cases[] = {
        {"7:30", 450}, {"0730", 450},   {"7", 420},       {"24", 1440},   {"24:00", 1440},
        {"24:01", -1}, {"12:60", -1},   {":30", -1},      {"7:", -1},     {" 07 : 30 ", 450},
        {"07:30abc", 450}, {"ab:cd", 0}, {"", -1},        {" \t", -1},    {"25", -1},
        {"123", -1},   {"7h", -1},      {"-1:30", -1},    {"2400", 1440}, {"2360", -1},
        {"0:0", 0},    {"23:59", 1439}, {"99999999999999999999:00", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(timeutil::parse_hhmm(c.text), c.minutes) << '"' << c.text << '"';
}

TEST(ClockTimeText, FormatHhmm) {
    EXPECT_EQ(timeutil::format_hhmm(-1), "");
    EXPECT_EQ(timeutil::format_hhmm(0), "00:00");
    EXPECT_EQ(timeutil::format_hhmm(450), "07:30");
    EXPECT_EQ(timeutil::format_hhmm(1439), "23:59");
    EXPECT_EQ(timeutil::format_hhmm(1440), "00:00");
}

TEST_F(LocalTimeTest, TimeFromFilename) {
    struct Case {
        const char* name;
        int64_t moment;  // 0: no date found
    } cases[] = {
        {"IMG_20240503_080210.mp3", berlin_may(3, 8, 2, 10)},
        {"20240503T080210.mp3", berlin_may(3, 8, 2, 10)},
        {"20240503-080210", berlin_may(3, 8, 2, 10)},
        {"2024-05-03 14.30.mp3", berlin_may(3, 14, 30)},
        {"2024-05-03_07-15-00.mp3", berlin_may(3, 7, 15)},
        {"2024-05-03T071500", berlin_may(3, 7, 15)},
        {"2024-05-03_07:15:09.mp3", berlin_may(3, 7, 15, 9)},
        {"2024-05-03.mp3", berlin_may(3, 0)},
        {"2024-05-03_x.mp3", berlin_may(3, 0)},
        {"2024-04-31.mp3", berlin_may(1, 0)},                  // the platform normalises the day
        {"IMG_20240503_080260.mp3", berlin_may(3, 8, 3, 0)},  // second 60 is the next minute
        {"x2024-05-03_25-30 2024-05-04.mp3", berlin_may(4, 0)},
        {"2024-05-01 IMG_20240503_080210.mp3", berlin_may(3, 8, 2, 10)},  // compact form first
        {"20240503080210.mp3", 0},
        {"1979-12-31.mp3", 0},
        {"2024-05-03_25-30.mp3", 0},
        {"2024-13-03.mp3", 0},
        {"2024-05-3.mp3", 0},
        {"2024-05-0", 0},
    };
    for (const Case& c : cases) {
        int64_t out = 42;
        EXPECT_EQ(timeutil::time_from_filename(c.name, &out), c.moment != 0) << c.name;
        EXPECT_EQ(out, c.moment != 0 ? c.moment : 42) << c.name;
        EXPECT_EQ(timeutil::time_from_filename(c.name, nullptr), c.moment != 0) << c.name;
    }
}

}  // namespace
