#include "system/autostart_linux.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/fileio.h"
#include "system/logger.h"
#include "system/paths.h"

namespace autostart {

namespace {

// One argument of the launch line; `quoted` keeps the double quotes a caller wrote.
struct Word {
    std::string text;
    bool quoted = false;
};
using Words = std::vector<Word>;

constexpr const char* kFileName = "/Quavermill.desktop";

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string real_home() {
    std::string home = env("SNAP_REAL_HOME");
    return home.empty() ? env("HOME") : home;
}

// A snap's desktop session looks for login entries inside the snap's own home.
std::string autostart_dir() {
    std::string home = env("SNAP").empty() ? real_home() : env("HOME");
    return home.empty() ? "" : home + "/.config/autostart";
}

// The lines of a regular file; none when it cannot be read.
std::istringstream lines_of(const std::string& path) {
    std::string text;
    fileio::read_file(path, &text);
    return std::istringstream(text);
}

std::string desktop_dir() {
    std::string home = real_home();
    if (home.empty()) return "";
    std::string configured = env("XDG_DESKTOP_DIR");
    if (!configured.empty()) return configured;
    std::string user_dirs;
    fileio::read_file(home + "/.config/user-dirs.dirs", &user_dirs);
    return desktop_in_user_dirs(user_dirs, home);
}

std::string own_executable() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "Quavermill";
}

Words launch_command() {
    if (!env("SNAP_NAME").empty()) return {{env("SNAP_NAME")}};
    if (!env("FLATPAK_ID").empty()) return {{"flatpak"}, {"run"}, {env("FLATPAK_ID")}};
    return {{own_executable()}};
}

std::string icon() {
    if (!env("SNAP_NAME").empty()) return "/snap/" + env("SNAP_NAME") + "/current/meta/gui/icon.png";
    if (!env("FLATPAK_ID").empty()) return env("FLATPAK_ID");
    return "quavermill";
}

// The callers' argument text, see the header: blanks separate words; a word that opens with
// a double quote runs to the last double quote of the text, taken as it stands.
Words split_args(const std::string& args) {
    Words words;
    size_t i = 0;
    while (i < args.size()) {
        if (args[i] == ' ') {
            ++i;
        } else if (args[i] == '"') {
            size_t close = args.rfind('"');
            size_t end = close > i ? close : args.size();
            words.push_back({args.substr(i + 1, end - i - 1), true});
            i = end + 1;
        } else {
            size_t end = args.find(' ', i);
            if (end == std::string::npos) end = args.size();
            words.push_back({args.substr(i, end - i)});
            i = end;
        }
    }
    return words;
}

// One argument of an Exec line. Words with reserved characters go in double quotes, where ",
// `, $ and \ take a backslash; the value escapes of the file format then double every
// backslash. "%" is doubled, as field codes would take it otherwise.
std::string exec_word(const Word& word) {
    const bool quote = word.quoted || word.text.empty() ||
                       word.text.find_first_of(" \t\n\r\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string out = quote ? "\"" : "";
    for (char c : word.text) {
        switch (c) {
            case '"': case '`': case '$': out += "\\\\"; out += c; break;
            case '\\': out += "\\\\\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '%': out += "%%"; break;
            default: out += c;
        }
    }
    return quote ? out + "\"" : out;
}

std::string exec_line(const std::string& args) {
    std::string line;
    for (const Words& part : {launch_command(), split_args(args)})
        for (const Word& word : part) line += (line.empty() ? "" : " ") + exec_word(word);
    return line;
}

std::string entry_text(const std::string& args) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quavermill\n"
           "Comment=Spielt Aufnahmen aus einem Ordner\n"
           "Exec=" + exec_line(args) + "\n"
           "Icon=" + icon() + "\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Player;\n"
           "X-GNOME-Autostart-Delay=30\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void make_dirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

bool write_entry(const std::string& dir, const std::string& args, bool executable) {
    if (dir.empty()) return false;
    make_dirs(dir);
    const std::string path = paths::display(dir + kFileName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    bool ok = out.is_open();
    if (ok) {
        out << entry_text(args);
        out.close();
        ok = !out.fail() && (!executable || chmod(path.c_str(), 0755) == 0);
    }
    if (!ok) logger::error("Autostart nicht schreibbar: " + path);
    return ok;
}

bool remove_entry(const std::string& dir) {
    if (dir.empty()) return false;
    const std::string path = paths::display(dir + kFileName);
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    logger::error("Autostart nicht schreibbar: " + path);
    return false;
}

bool entry_exists(const std::string& dir) {
    struct stat st;
    return !dir.empty() && stat((dir + kFileName).c_str(), &st) == 0;
}

}  // namespace

// The first line holding the key decides, wherever in the line it stands; its value loses one
// leading and one trailing double quote, and "$HOME" in it stands for the home (what comes
// before it is dropped).
std::string desktop_in_user_dirs(const std::string& text, const std::string& home) {
    static const std::string kKey = "XDG_DESKTOP_DIR=";
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find(kKey);
        if (at == std::string::npos) continue;
        std::string value = line.substr(at + kKey.size());
        if (!value.empty() && value.front() == '"') value.erase(0, 1);
        if (!value.empty() && value.back() == '"') value.pop_back();
        size_t var = value.find("$HOME");
        return var == std::string::npos ? value : home + value.substr(var + 5);
    }
    return home + "/Desktop";
}

bool enabled() { return entry_exists(autostart_dir()); }

bool set(bool on, const std::string& args) {
    const std::string dir = autostart_dir();
    if (dir.empty()) return false;
    if (on) {
        bool ok = write_entry(dir, args, false);
        logger::info(ok ? "Autostart eingetragen" : "Autostart NICHT eingetragen");
        return ok;
    }
    bool ok = remove_entry(dir);
    if (ok) logger::info("Autostart entfernt");
    return ok;
}

bool has_desktop_shortcut() { return entry_exists(desktop_dir()); }

bool desktop_shortcut(bool on, const std::string& args) {
    return on ? write_entry(desktop_dir(), args, true) : remove_entry(desktop_dir());
}

std::string command() {
    const std::string dir = autostart_dir();
    if (dir.empty()) return "";
    std::istringstream in = lines_of(dir + kFileName);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 5, "Exec=") == 0) return line.substr(5);
    return "";
}

}  // namespace autostart
