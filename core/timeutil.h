// Local-time arithmetic for the selection rules: the daily window with its weekday mask,
// clock times of the day ("HH:MM") and the recording time found in a file name.
// Pure functions of their arguments and of the process's time zone; safe on any thread.
#pragma once
#include <cstdint>
#include <string>

namespace timeutil {

// Minutes since local midnight; -1 means "not set", 1440 the end of the day.
struct DayWindow {
    int32_t from = 360;   // opening time; -1: open from midnight
    int32_t to = 1200;    // closing time (exclusive); -1: open until midnight
    uint8_t days = 127;   // bit 0 Monday .. bit 6 Sunday; no low bit set means every day

    bool contains_moment(int64_t t) const;
    // Seconds from `now` until the window next opens: 0 if open now, at most 604800.
    int64_t seconds_until_open(int64_t now) const;
};

struct LocalTime {
    int32_t year, month, day, hour, minute, second;
    int32_t weekday;  // 0 Monday .. 6 Sunday
};

int64_t now_unix();
LocalTime to_local(int64_t t);
// The local midnight that begins the day `days_ahead` days after the local day of `t`.
int64_t local_midnight(int64_t t, int days_ahead);

// Minutes since midnight (0..1440), or -1 for text that is no clock time.
int32_t parse_hhmm(const std::string& text);
// "HH:MM", or "" for a negative value; 1440 shows as "00:00".
std::string format_hhmm(int32_t minutes);
// A duration cut to whole seconds as "M:SS", from an hour on "H:MM:SS". Below 0, above
// `max_seconds` (which must stay below 9.2e18) or not a number: "0:00".
std::string format_duration(double seconds, double max_seconds);
// True if `name` holds a recording date; `*out` (if not null) then receives it.
bool time_from_filename(const std::string& name, int64_t* out);

}  // namespace timeutil
