// The settings file: its sealed form over arbitrary bytes, and the key=value text inside it.
// What loads must write back to a text that loads to the same record, and the daily window the
// text sets must answer "when does it open" sensibly whatever its numbers are.
#include "system/save_crypt.h"  // before anything that pulls in <unistd.h>

#include "fuzz/fuzz_check.h"
#include "system/settings.h"

namespace {

// A line loses one carriage return before its "\n", so a value that itself ends in one (it loads
// from a line ending in two) cannot be written in this format; nothing else is lost.
bool writable(const Settings& s) {
    for (const std::string* v : {&s.root, &s.patterns, &s.language, &s.theme, &s.audio_device})
        if (!v->empty() && v->back() == '\r') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    std::string plain;
    const int opened = crypt::decrypt(bytes, &plain);
    FUZZ_CHECK(opened == (bytes.empty() ? 1 : 2), "only a value this program sealed opens");
    FUZZ_CHECK(plain.empty(), "a refused value hands out nothing");
    FUZZ_CHECK(crypt::decrypt(crypt::encrypt(bytes), &plain) == 0 && plain == bytes,
               "a sealed value opens to what was sealed");

    const Settings loaded = settings::from_text(bytes);
    const std::string written = settings::to_text(loaded);
    if (writable(loaded))
        FUZZ_CHECK(settings::to_text(settings::from_text(written)) == written,
                   "a loaded record writes back to a text that loads to the same record");

    // A Monday noon in winter and one on the night the clocks go back.
    for (const int64_t now : {int64_t{1704715200}, int64_t{1729990800}}) {
        const int64_t wait = loaded.window.seconds_until_open(now);
        FUZZ_CHECK(wait >= 0 && wait <= 7 * 24 * 3600, "the wait stays within a week");
        if (wait > 0 && wait < 7 * 24 * 3600)
            FUZZ_CHECK(loaded.window.contains_moment(now + wait), "open when the wait is over");
    }
    return 0;
}
