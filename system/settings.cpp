#include "system/settings.h"

#include "system/save_crypt.h"  // before anything that pulls in <unistd.h>

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <sstream>
#include <unordered_map>

#include "core/fileio.h"
#include "core/numbers.h"
#include "system/logger.h"
#include "system/paths.h"

namespace settings {

namespace {

using Values = std::unordered_map<std::string, std::string>;

void (*g_before_replace)() = nullptr;

// ---- writing -------------------------------------------------------------------------------

class Text {
public:
    Text() { out_.imbue(std::locale::classic()); }  // "." as decimal mark in every locale

    template <typename T>
    void line(const char* key, const T& value) { out_ << key << '=' << value << '\n'; }
    void line(const char* key, bool value) { out_ << key << '=' << (value ? '1' : '0') << '\n'; }
    // Widened so that the stream's default form gives six significant digits of the double.
    void line(const char* key, float value) { line(key, static_cast<double>(value)); }

    std::string str() const { return out_.str(); }

private:
    std::ostringstream out_;
};

}  // namespace

std::string to_text(const Settings& s) {
    Text t;
    t.line("root", s.root);
    t.line("patterns", s.patterns);
    t.line("recursive", s.recursive);
    t.line("win_from", s.window.from);
    t.line("win_to", s.window.to);
    t.line("win_days", static_cast<int>(s.window.days));
    t.line("time_rules", s.time_rules);
    t.line("win_files", s.win_files);
    t.line("win_play", s.win_play);
    t.line("time_source", s.time_source);
    t.line("date_from", s.date_from);
    t.line("date_to", s.date_to);
    t.line("min_bytes", s.min_bytes);
    t.line("max_bytes", s.max_bytes);
    t.line("lvl_on", s.leveler.on);
    t.line("lvl_target", s.leveler.target_db);
    t.line("lvl_ceiling", s.leveler.ceiling_db);
    t.line("lvl_maxgain", s.leveler.max_gain_db);
    t.line("volume", s.volume);
    t.line("loop", s.loop);
    t.line("shuffle", s.shuffle);
    t.line("autostart", s.autostart);
    t.line("rescan", s.rescan);
    t.line("language", s.language);
    t.line("theme", s.theme);
    t.line("audio_device", s.audio_device);
    t.line("win_x", s.win_x);
    t.line("win_y", s.win_y);
    t.line("win_w", s.win_w);
    t.line("win_h", s.win_h);
    return t.str();
}

namespace {

// ---- reading -------------------------------------------------------------------------------

// Split in place, without a stream that would keep its own copy of the decrypted text.
Values parse_lines(const std::string& text) {
    Values values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
        // Never past the line's end, so that a long text of lines without "=" costs its length once.
        size_t eq = text.find_first_of("=\n", start);
        if (eq < stop && text[eq] == '=') values[text.substr(start, eq - start)] = text.substr(eq + 1, stop - eq - 1);
        start = end + 1;
    }
    return values;
}

// The file is read in whatever numeric locale the process has at the moment.
double parse_double(const std::string& text) {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return strtod_l(text.c_str(), nullptr, c_locale);
}

// Cut toward zero; values beyond the type's range saturate and NaN gives 0, so that no
// text in the file can make the conversion undefined.
template <typename Int>
Int cut_toward_zero(double v) {
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
    if (v >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
    return static_cast<Int>(v);
}

const std::string* find(const Values& values, const char* key) {
    auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
}

void take(const Values& values, const char* key, std::string& field) {
    if (const std::string* v = find(values, key)) field = *v;
}

void take(const Values& values, const char* key, bool& field) {
    if (const std::string* v = find(values, key)) field = *v == "1";
}

void take(const Values& values, const char* key, float& field) {
    const std::string* v = find(values, key);
    if (v && !v->empty()) field = numbers::finite_float(parse_double(*v));
}

template <typename Int>
void take(const Values& values, const char* key, Int& field) {
    const std::string* v = find(values, key);
    if (v && !v->empty()) field = cut_toward_zero<Int>(parse_double(*v));
}

// Base-10 integer, also from an empty or non-numeric value (then 0); kept only inside [lo, hi].
template <typename Int>
void take_ranged(const Values& values, const char* key, long lo, long hi, Int& field) {
    const std::string* v = find(values, key);
    if (!v) return;
    long n = std::strtol(v->c_str(), nullptr, 10);
    if (n >= lo && n <= hi) field = static_cast<Int>(n);
}

void overwrite(Settings& s, const Values& v) {
    take(v, "root", s.root);
    take(v, "patterns", s.patterns);
    take(v, "recursive", s.recursive);
    take(v, "time_rules", s.time_rules);
    take(v, "win_from", s.window.from);
    take(v, "win_to", s.window.to);
    take_ranged(v, "win_days", 0, 127, s.window.days);
    take(v, "win_files", s.win_files);
    take(v, "win_play", s.win_play);
    take_ranged(v, "time_source", 0, 3, s.time_source);
    take(v, "date_from", s.date_from);
    take(v, "date_to", s.date_to);
    take(v, "min_bytes", s.min_bytes);
    take(v, "max_bytes", s.max_bytes);
    take(v, "lvl_on", s.leveler.on);
    take(v, "lvl_target", s.leveler.target_db);
    take(v, "lvl_ceiling", s.leveler.ceiling_db);
    take(v, "lvl_maxgain", s.leveler.max_gain_db);
    take(v, "volume", s.volume);
    take(v, "loop", s.loop);
    take(v, "shuffle", s.shuffle);
    take(v, "autostart", s.autostart);
    take(v, "rescan", s.rescan);
    take(v, "language", s.language);
    take(v, "theme", s.theme);
    take(v, "audio_device", s.audio_device);
    take(v, "win_x", s.win_x);
    take(v, "win_y", s.win_y);
    take(v, "win_w", s.win_w);
    take(v, "win_h", s.win_h);
}

// ---- the file ------------------------------------------------------------------------------

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes the rename itself survive a power cut; a failure changes nothing already done.
void sync_parent(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    fileio::Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.ok()) ::fsync(d.get());
}

}  // namespace

Settings from_text(const std::string& text) {
    Settings s;
    Values values = parse_lines(text);
    overwrite(s, values);
    for (auto& entry : values) crypt::wipe(entry.second);
    return s;
}

std::string file_path() { return paths::config_dir() + "/settings.dat"; }

Settings load() {
    Settings s;
    std::string sealed;
    if (!fileio::read_file(paths::display(file_path()), &sealed) || sealed.empty()) return s;
    std::string plain;
    if (crypt::decrypt(sealed, &plain) != 0) {
        logger::warn("Einstellungen beschaedigt — Vorgaben werden benutzt");
        return s;
    }
    s = from_text(plain);
    crypt::wipe(plain);
    return s;
}

// The new content is written to a temporary file and forced to the disk before it replaces
// the old file in one rename, so an interrupted save leaves either the old or the new file.
bool save(const Settings& s) {
    const std::string sealed = crypt::encrypt(to_text(s));
    const std::string target = paths::display(file_path());
    const std::string temp = paths::display(target + ".tmp");
    fileio::Fd fd(fileio::open_regular(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (!fd.ok()) {
        logger::error("Einstellungen nicht schreibbar: " + temp);
        return false;
    }
    if (!write_all(fd.get(), sealed) || ::fsync(fd.get()) != 0 || !fd.close()) {
        logger::error("Einstellungen nicht vollstaendig geschrieben");
        return false;
    }
    if (g_before_replace) g_before_replace();
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        logger::error("Einstellungen nicht ersetzbar");
        return false;
    }
    sync_parent(target);
    return true;
}

namespace testing {
void set_before_replace_hook(void (*hook)()) { g_before_replace = hook; }
}  // namespace testing

}  // namespace settings
