#include "system/paths.h"

#include <sys/stat.h>

#include <cstdlib>

namespace paths {

namespace {

// The value of an environment variable, or null when it is unset or empty.
const char* env_nonempty(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

// Creates every level of `path`, ignoring failures: an existing folder is the common case, and a
// folder that cannot be made shows up later when a file in it cannot be opened.
void make_dirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0700);
}

// A locale value cut to its first list entry, without encoding and modifier.
std::string language_part(std::string value) {
    for (char cut : {':', '.', '@'}) value = value.substr(0, value.find(cut));
    return value;
}

}  // namespace

std::string config_dir() {
    std::string dir;
    if (const char* xdg = env_nonempty("XDG_CONFIG_HOME"))
        dir = std::string(xdg) + "/Quavermill";
    else if (const char* home = env_nonempty("HOME"))
        dir = std::string(home) + "/.config/Quavermill";
    else
        dir = ".Quavermill";
    make_dirs(dir);
    return dir;
}

const char* package_kind() {
    if (env_nonempty("SNAP")) return "snap";
    if (env_nonempty("FLATPAK_ID")) return "flatpak";
    if (env_nonempty("APPDIR")) return "appimage";
    return "plain";
}

bool is_sandboxed() {
    std::string kind = package_kind();
    return kind == "snap" || kind == "flatpak";
}

std::string display(const std::string& path) { return path; }

std::string system_language() {
    for (const char* var : {"QVML_LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = env_nonempty(var);
        if (!value) continue;
        std::string lang = language_part(value);
        if (lang.size() >= 2 && lang != "C" && lang != "POSIX") return lang;
    }
    return "en";
}

}  // namespace paths
