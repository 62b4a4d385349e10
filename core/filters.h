// The selection rules (FilterSet) and the decision whether one file is taken.
// Pure functions; safe on any thread. Tests run cheapest first: size, name, time.
#pragma once
#include <cstdint>
#include <string>

#include "core/timeutil.h"

// Where a file's recording time comes from. The numbers are the ones the settings file stores;
// any other number read from elsewhere is taken as Name.
enum class TimeSource : int32_t {
    Name = 0,      // a time found in the name, else the file's own times
    Created = 1,
    Modified = 2,
    Off = 3,       // no time rules at all
};

struct FilterSet {
    std::string root;
    std::string patterns = "*.mp3";   // several separated by ";"
    bool recursive = true;
    bool time_rules = true;           // master switch of date bounds and window
    timeutil::DayWindow window;
    bool win_files = true;            // window restricts which files are taken
    bool win_play = true;             // window restricts when playback runs
    TimeSource time_source = TimeSource::Name;
    int64_t date_from = 0;            // 0: no bound
    int64_t date_to = 0;              // 0: no bound
    int64_t min_bytes = 1024;         // 0: no bound
    int64_t max_bytes = 0;            // 0: no bound
};

namespace filters {

bool name_matches(const std::string& name, const std::string& patterns);
// The time part of accept() alone.
bool time_ok(const FilterSet& rules, const std::string& name, int64_t created, int64_t modified,
             int64_t* out);
// True if the file is taken; `*out` (if not null) receives its recording time.
bool accept(const FilterSet& rules, const std::string& name, int64_t size, int64_t created,
            int64_t modified, int64_t* out);

}  // namespace filters
