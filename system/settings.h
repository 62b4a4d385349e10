// The record of everything kept between runs, and its file settings.dat in the configuration
// folder: key=value lines sealed as one value. Main thread only; nothing is cached between
// calls. Failures are logged; load always returns a usable record.
#pragma once
#include <cstdint>
#include <string>

#include "core/filters.h"
#include "core/level_config.h"

// Begins with the selection rules, so a Settings can go wherever a FilterSet is expected.
struct Settings : FilterSet {
    LevelConfig leveler;  // min_gain_db is not stored and always keeps its default
    float volume = 0.8f;
    bool loop = true;
    bool shuffle = true;
    bool autostart = true;    // start playing when the window opens (not the login entry)
    int32_t rescan = 15;      // minutes between rescans
    std::string language = "auto";
    std::string theme = "light";
    std::string audio_device;  // empty: the default device
    int32_t win_x = -1;        // negative: no position stored
    int32_t win_y = -1;
    int32_t win_w = 0;
    int32_t win_h = 0;
};

namespace settings {

std::string file_path();
// The defaults, overwritten by what the file holds; a damaged file gives the defaults and a
// warning, a missing or empty one (or a pipe, a device or a folder in its place) silently.
Settings load();
// True once the new file is in place. The old file stays complete until the new one has
// reached the disk and replaces it in one rename.
bool save(const Settings& s);

// The key=value text inside the sealed file, and the record it gives: the defaults, overwritten
// by the keys it holds. Unknown keys and lines without "=" are ignored; the last of repeated keys
// counts. What loads writes back to a text that loads to the same record.
std::string to_text(const Settings& s);
Settings from_text(const std::string& text);

namespace testing {
// Called by save() after the new content is on disk and before it replaces the old file;
// null (the default) for none. Lets tests interrupt a save at its most delicate point.
void set_before_replace_hook(void (*hook)());
}  // namespace testing

}  // namespace settings
