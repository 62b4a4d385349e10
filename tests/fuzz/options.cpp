// The command line: up to 16 arguments separated by NUL bytes. The first stands as the folder.
// Clock times that parse format back to the same time of day, the rule options always give a
// valid window, folder paths come out of normalising in their final form, and numbers are
// finite.
#include <cmath>

#include "cli/args.h"
#include "core/scanner.h"
#include "core/timeutil.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Args args = fuzz::fields(data, size, 16);
    for (const std::string& arg : args) {
        const int32_t minutes = timeutil::parse_hhmm(arg);
        FUZZ_CHECK(minutes >= -1 && minutes <= 1440, "a clock time is a minute of the day");
        if (minutes >= 0)
            FUZZ_CHECK(timeutil::parse_hhmm(timeutil::format_hhmm(minutes)) == minutes % 1440,
                       "a parsed clock time formats back to the same time");
        const std::string folder = scanner::normalize(arg);
        FUZZ_CHECK(scanner::normalize(folder) == folder, "a normalised path stays as it is");
    }
    const FilterSet rules = filters_from_args(args, args[0]);
    for (const int32_t m : {rules.window.from, rules.window.to})
        FUZZ_CHECK(m >= 0 && m <= 1440, "the window options give a valid window");
    FUZZ_CHECK(std::isfinite(float_value(args, "--target", -20.0f)), "numbers are finite");
    int_value(args, "--list", "10");
    return 0;
}
