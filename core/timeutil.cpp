#include "core/timeutil.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace timeutil {

namespace {

constexpr int64_t kWeekSeconds = 7 * 24 * 3600;

struct tm break_down(int64_t t) {
    struct tm tm {};
    time_t tt = static_cast<time_t>(t);
    if (!localtime_r(&tt, &tm)) tm = {};  // only for moments beyond any calendar
    return tm;
}

// Out-of-range fields are normalised by mktime; the platform decides whether DST applies.
int64_t build_local(struct tm tm) {
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

int weekday_of(const struct tm& tm) { return (tm.tm_wday + 6) % 7; }

// The local clock time `minutes` after the start of the day `days_ahead` after that of `t`.
// Built from local fields, so a day of 23 or 25 hours still opens at its own clock time.
int64_t local_clock_time(int64_t t, int days_ahead, int32_t minutes) {
    struct tm tm = break_down(t);
    tm.tm_mday += days_ahead;
    tm.tm_hour = minutes / 60;
    tm.tm_min = minutes % 60;
    tm.tm_sec = 0;
    return build_local(tm);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool all_digits(const std::string& s) {
    for (char c : s)
        if (!is_digit(c)) return false;
    return true;
}

int digits_value(const std::string& s, size_t at, size_t count) {
    int v = 0;
    for (size_t i = at; i < at + count; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

bool digits_at(const std::string& s, size_t at, size_t count) {
    if (at + count > s.size()) return false;
    for (size_t i = at; i < at + count; ++i)
        if (!is_digit(s[i])) return false;
    return true;
}

bool one_of(char c, const char* set) {
    for (; *set; ++set)
        if (c == *set) return true;
    return false;
}

int32_t clock_minutes(long hours, long minutes) {
    if (static_cast<unsigned long>(hours) > 24 || static_cast<unsigned long>(minutes) > 59) return -1;
    if (hours == 24) return minutes == 0 ? 1440 : -1;
    return static_cast<int32_t>(hours * 60 + minutes);
}

struct Stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    bool valid() const {
        return year >= 1980 && year <= 2199 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
               hour <= 23 && minute <= 59 && second <= 60;
    }
    int64_t moment() const {
        struct tm tm {};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        return build_local(tm);
    }
};

// YYYYMMDD, one of " -T_", HHMMSS.
bool compact_stamp_at(const std::string& s, size_t i, Stamp* st) {
    if (!digits_at(s, i, 8) || !one_of(s[i + 8], " -T_") || !digits_at(s, i + 9, 6)) return false;
    st->year = digits_value(s, i, 4);
    st->month = digits_value(s, i + 4, 2);
    st->day = digits_value(s, i + 6, 2);
    st->hour = digits_value(s, i + 9, 2);
    st->minute = digits_value(s, i + 11, 2);
    st->second = digits_value(s, i + 13, 2);
    return st->valid();
}

// Two digits at `*p`, after an optional single separator out of `seps`; advances `*p` past them.
bool time_part(const std::string& s, size_t* p, const char* seps, bool sep_required, int* out) {
    size_t q = *p;
    if (q < s.size() && one_of(s[q], seps))
        ++q;
    else if (sep_required)
        return false;
    if (!digits_at(s, q, 2)) return false;
    *out = digits_value(s, q, 2);
    *p = q + 2;
    return true;
}

// YYYY-MM-DD, then optionally HH, MM, SS, each only if the one before was there.
bool dashed_stamp_at(const std::string& s, size_t i, Stamp* st) {
    if (!digits_at(s, i, 4) || s[i + 4] != '-' || !digits_at(s, i + 5, 2) || s[i + 7] != '-' ||
        !digits_at(s, i + 8, 2))
        return false;
    *st = Stamp{};
    st->year = digits_value(s, i, 4);
    st->month = digits_value(s, i + 5, 2);
    st->day = digits_value(s, i + 8, 2);
    size_t p = i + 10;
    if (time_part(s, &p, "_ -T", true, &st->hour) && time_part(s, &p, "-.:", false, &st->minute))
        time_part(s, &p, "-.:", false, &st->second);
    return st->valid();
}

}  // namespace

bool DayWindow::contains_moment(int64_t t) const {
    struct tm tm = break_down(t);
    if ((days & 0x7f) != 0 && !(days & (1u << weekday_of(tm)))) return false;
    if (from < 0 && to < 0) return true;
    int32_t m = tm.tm_hour * 60 + tm.tm_min;
    if (from < 0) return m < to;
    if (to < 0) return m >= from;
    if (from == to) return true;
    if (from < to) return m >= from && m < to;
    return m >= from || m < to;  // across midnight; the part after it counts for the next day
}

int64_t DayWindow::seconds_until_open(int64_t now) const {
    if (contains_moment(now)) return 0;
    int32_t opening = from > 0 ? from : 0;
    for (int d = 0; d <= 8; ++d) {
        int64_t mid = local_midnight(now, d);
        int64_t open = local_clock_time(now, d, opening);
        bool open_ok = open > now && contains_moment(open);
        bool mid_ok = mid > now && contains_moment(mid);
        if (!open_ok && !mid_ok) continue;
        int64_t next = open_ok && mid_ok ? (open < mid ? open : mid) : (open_ok ? open : mid);
        int64_t wait = next - now;
        return wait < kWeekSeconds ? wait : kWeekSeconds;
    }
    return kWeekSeconds;
}

int64_t now_unix() { return static_cast<int64_t>(time(nullptr)); }

LocalTime to_local(int64_t t) {
    struct tm tm = break_down(t);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     weekday_of(tm)};
}

int64_t local_midnight(int64_t t, int days_ahead) { return local_clock_time(t, days_ahead, 0); }

int32_t parse_hhmm(const std::string& text) {
    std::string s;
    for (char c : text)
        if (!is_space(c)) s += c;
    if (s.empty()) return -1;
    size_t p = s.find(':');
    if (p == std::string::npos) {
        if (s.size() == 4 && all_digits(s)) return clock_minutes(digits_value(s, 0, 2), digits_value(s, 2, 2));
        if (s.size() <= 2 && all_digits(s)) return clock_minutes(digits_value(s, 0, s.size()), 0);
        return -1;
    }
    if (p == 0 || p + 1 == s.size()) return -1;
    return clock_minutes(strtol(s.c_str(), nullptr, 10), strtol(s.c_str() + p + 1, nullptr, 10));
}

std::string format_duration(double seconds, double max_seconds) {
    if (!(seconds >= 0 && seconds <= max_seconds)) return "0:00";
    const long long s = static_cast<long long>(seconds);
    char text[48];
    if (s < 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string format_hhmm(int32_t minutes) {
    if (minutes < 0) return "";
    char buf[16];
    snprintf(buf, sizeof buf, "%02d:%02d", (minutes / 60) % 24, minutes % 60);
    return buf;
}

bool time_from_filename(const std::string& name, int64_t* out) {
    Stamp st;
    bool found = false;
    for (size_t i = 0; !found && i + 15 <= name.size(); ++i) found = compact_stamp_at(name, i, &st);
    for (size_t i = 0; !found && i + 10 <= name.size(); ++i) found = dashed_stamp_at(name, i, &st);
    if (found && out) *out = st.moment();
    return found;
}

}  // namespace timeutil
