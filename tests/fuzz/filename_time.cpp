// The recording time found in a file name. Names are arbitrary bytes; a time found must be a
// real moment in the years a name can give, found the same way with or without a place for it,
// and a letter before the name must not change it.
#include "core/timeutil.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    int64_t t = -1;
    const bool found = timeutil::time_from_filename(name, &t);
    FUZZ_CHECK(found == timeutil::time_from_filename(name, nullptr), "same answer without a place");
    int64_t prefixed = -1;
    FUZZ_CHECK(timeutil::time_from_filename("x" + name, &prefixed) == found &&
                   (!found || prefixed == t),
               "a letter before the name changes nothing");
    if (!found) return 0;
    const timeutil::LocalTime local = timeutil::to_local(t);
    FUZZ_CHECK(local.year >= 1980 && local.year <= 2200, "a moment in the years a name can give");
    size_t digits = 0;
    for (char c : name) digits += c >= '0' && c <= '9';
    FUZZ_CHECK(digits >= 8, "a date needs its digits");
    return 0;
}
