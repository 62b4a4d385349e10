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
#include <type_traits>
#include <unordered_map>
#include <variant>

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
    void line(const char* key, uint8_t value) { line(key, static_cast<int>(value)); }
    void line(const char* key, TimeSource value) { line(key, static_cast<int32_t>(value)); }

    std::string str() const { return out_.str(); }

private:
    std::ostringstream out_;
};

// Every stored value, in the order of the file: its key, the field it belongs to, and for the
// two values that are choices (the weekdays and the time source) the range outside which a
// read value is ignored (read then as a base-10 integer, an empty or non-numeric value counting
// as 0). The field's own type says how the rest are written and read; the record's
// initialisers are their defaults.
using Field = std::variant<std::string*, bool*, float*, int32_t*, int64_t*, uint8_t*, TimeSource*>;

struct Key {
    const char* name;
    Field (*field)(Settings&);
    long lo = 0, hi = -1;  // lo <= hi: a choice
};

const Key kKeys[] = {
    {"root", [](Settings& s) -> Field { return &s.root; }},
    {"patterns", [](Settings& s) -> Field { return &s.patterns; }},
    {"recursive", [](Settings& s) -> Field { return &s.recursive; }},
    {"win_from", [](Settings& s) -> Field { return &s.window.from; }},
    {"win_to", [](Settings& s) -> Field { return &s.window.to; }},
    {"win_days", [](Settings& s) -> Field { return &s.window.days; }, 0, 127},
    {"time_rules", [](Settings& s) -> Field { return &s.time_rules; }},
    {"win_files", [](Settings& s) -> Field { return &s.win_files; }},
    {"win_play", [](Settings& s) -> Field { return &s.win_play; }},
    {"time_source", [](Settings& s) -> Field { return &s.time_source; }, 0, 3},
    {"date_from", [](Settings& s) -> Field { return &s.date_from; }},
    {"date_to", [](Settings& s) -> Field { return &s.date_to; }},
    {"min_bytes", [](Settings& s) -> Field { return &s.min_bytes; }},
    {"max_bytes", [](Settings& s) -> Field { return &s.max_bytes; }},
    {"lvl_on", [](Settings& s) -> Field { return &s.leveler.on; }},
    {"lvl_target", [](Settings& s) -> Field { return &s.leveler.target_db; }},
    {"lvl_ceiling", [](Settings& s) -> Field { return &s.leveler.ceiling_db; }},
    {"lvl_maxgain", [](Settings& s) -> Field { return &s.leveler.max_gain_db; }},
    {"volume", [](Settings& s) -> Field { return &s.volume; }},
    {"loop", [](Settings& s) -> Field { return &s.loop; }},
    {"shuffle", [](Settings& s) -> Field { return &s.shuffle; }},
    {"autostart", [](Settings& s) -> Field { return &s.autostart; }},
    {"rescan", [](Settings& s) -> Field { return &s.rescan; }},
    {"language", [](Settings& s) -> Field { return &s.language; }},
    {"theme", [](Settings& s) -> Field { return &s.theme; }},
    {"audio_device", [](Settings& s) -> Field { return &s.audio_device; }},
    {"win_x", [](Settings& s) -> Field { return &s.win_x; }},
    {"win_y", [](Settings& s) -> Field { return &s.win_y; }},
    {"win_w", [](Settings& s) -> Field { return &s.win_w; }},
    {"win_h", [](Settings& s) -> Field { return &s.win_h; }},
};

}  // namespace

std::string to_text(const Settings& record) {
    Settings s = record;  // the table reaches fields through a record it may write to
    Text t;
    for (const Key& k : kKeys) std::visit([&](auto* field) { t.line(k.name, *field); }, k.field(s));
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

void take(const std::string& v, std::string& field) { field = v; }

void take(const std::string& v, bool& field) { field = v == "1"; }

void take(const std::string& v, float& field) {
    if (!v.empty()) field = numbers::finite_float(parse_double(v));
}

template <typename Int>
void take(const std::string& v, Int& field) {
    if (!v.empty()) field = cut_toward_zero<Int>(parse_double(v));
}

template <typename Int>
void take_choice(const std::string& v, long lo, long hi, Int& field) {
    long n = std::strtol(v.c_str(), nullptr, 10);
    if (n >= lo && n <= hi) field = static_cast<Int>(n);
}

void overwrite(Settings& s, const Values& values) {
    for (const Key& k : kKeys) {
        auto it = values.find(k.name);
        if (it == values.end()) continue;
        std::visit(
            [&](auto* field) {
                using T = std::remove_pointer_t<decltype(field)>;
                if constexpr (std::is_enum_v<T>) {
                    take_choice(it->second, k.lo, k.hi, *field);
                } else {
                    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
                        if (k.lo <= k.hi) return take_choice(it->second, k.lo, k.hi, *field);
                    }
                    take(it->second, *field);
                }
            },
            k.field(s));
    }
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
