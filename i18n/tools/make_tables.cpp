// Build-time tool: checks the language files and turns them into the compiled-in text tables.
//
//   make_tables <languages.txt> <lang-dir> <out-dir>
//
// languages.txt lists the languages in display order ("code ltr|rtl Native name"); <lang-dir>/
// <code>.txt holds one language as "key = text" lines. The keys of en.txt are the reference:
// every other file must have exactly the same keys, each once, with a non-empty text. Any fault
// is reported as "file:line: message" on stderr and nothing is written, so the build stops.
// On success <out-dir>/i18n_data.h and <out-dir>/i18n_data.cpp are (re)written.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kReferenceCode = "en";
const std::string kSeparator = " = ";

struct Entry {
    std::string text;
    int line = 0;
};

struct LangFile {
    std::string code;
    std::string name;
    bool rtl = false;
    bool read = false;  // its file could be read
    std::map<std::string, Entry> entries;  // key -> text
};

// Collects every fault so that one build run names them all.
class Faults {
public:
    void add(const std::string& where, int line, const std::string& message) {
        std::string text = where;
        if (line > 0) text += ":" + std::to_string(line);
        lines_.push_back(text + ": " + message);
    }
    bool any() const { return !lines_.empty(); }
    void print() const {
        for (const std::string& l : lines_) std::fprintf(stderr, "%s\n", l.c_str());
    }

private:
    std::vector<std::string> lines_;
};

bool read_lines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on Windows
        lines.push_back(line);
    }
    if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) lines[0].erase(0, 3);
    return true;
}

bool is_ignored(const std::string& line) { return line.empty() || line[0] == '#'; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        unsigned cp;
        if (c < 0x80) { extra = 0; cp = c; }
        else if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1Fu; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0Fu; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07u; }
        else return false;
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        static const unsigned kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool has_control_char(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Codes and keys: ASCII letters, digits and underscores, so that they can name C++ tables.
bool is_identifier(const std::string& word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

// "code ltr|rtl Native name" lines, in display order.
std::vector<LangFile> read_language_list(const std::string& path, Faults& faults) {
    std::vector<LangFile> langs;
    std::vector<std::string> lines;
    if (!read_lines(path, lines)) {
        faults.add(path, 0, "cannot be read");
        return langs;
    }
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (is_ignored(line)) continue;
        std::istringstream fields(line);
        LangFile lang;
        std::string dir;
        fields >> lang.code >> dir;
        std::getline(fields >> std::ws, lang.name);
        int at = static_cast<int>(n + 1);
        if (!is_identifier(lang.code) || (dir != "ltr" && dir != "rtl") || lang.name.empty()) {
            faults.add(path, at, "expected \"code ltr|rtl Native name\"");
            continue;
        }
        if (!valid_utf8(lang.name)) faults.add(path, at, "name of " + lang.code + " is not valid UTF-8");
        bool seen = std::any_of(langs.begin(), langs.end(),
                                [&](const LangFile& l) { return l.code == lang.code; });
        if (seen) faults.add(path, at, "language " + lang.code + " listed twice");
        lang.rtl = dir == "rtl";
        langs.push_back(lang);
    }
    return langs;
}

void read_language_file(const std::string& path, LangFile& lang, Faults& faults) {
    std::vector<std::string> lines;
    if (!read_lines(path, lines)) {
        faults.add(path, 0, "missing or unreadable language file");
        return;
    }
    lang.read = true;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (is_ignored(line)) continue;
        int at = static_cast<int>(n + 1);
        size_t sep = line.find(kSeparator);
        std::string key = sep == std::string::npos ? "" : line.substr(0, sep);
        if (!is_identifier(key)) {
            faults.add(path, at, "expected \"key = text\" with a key of letters, digits and _");
            continue;
        }
        std::string text = line.substr(sep + kSeparator.size());
        auto found = lang.entries.find(key);
        if (found != lang.entries.end()) {
            faults.add(path, at, "duplicate key \"" + key + "\" (first on line " +
                                     std::to_string(found->second.line) + ")");
            continue;
        }
        if (text.empty()) faults.add(path, at, "empty text for key \"" + key + "\"");
        else if (!valid_utf8(text)) faults.add(path, at, "text of key \"" + key + "\" is not valid UTF-8");
        else if (has_control_char(text))
            faults.add(path, at, "text of key \"" + key + "\" contains a control character");
        lang.entries[key] = Entry{text, at};
    }
}

// Every file must carry exactly the keys of the reference language.
void check_keys(const std::vector<std::string>& keys, const std::string& path, const LangFile& lang,
                Faults& faults) {
    for (const std::string& key : keys)
        if (!lang.entries.count(key)) faults.add(path, 0, "missing key \"" + key + "\"");
    for (const auto& e : lang.entries)
        if (!std::binary_search(keys.begin(), keys.end(), e.first))
            faults.add(path, e.second.line, "unknown key \"" + e.first + "\" (not in " +
                                                std::string(kReferenceCode) + ".txt)");
}

std::string c_literal(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        else if (c == '?' && out.back() == '?') out += '\\';  // no trigraph can form
        out += c;
    }
    return out + "\"";
}

std::string header_text(const std::vector<LangFile>& langs, size_t key_count) {
    std::ostringstream h;
    h << "// Generated by make_tables from i18n/languages.txt and i18n/lang/*.txt: edit those.\n"
         "#pragma once\n\nnamespace i18n_data {\n\n"
      << "constexpr int kKeyCount = " << key_count << ";\n"
      << "constexpr int kLangCount = " << langs.size() << ";\n\n"
      << "struct LangRow {\n"
         "    const char* code;            // as matched by the language choice\n"
         "    const char* name;            // in the language's own script\n"
         "    bool rtl;                    // written right to left\n"
         "    const char* const* values;   // kKeyCount texts, parallel to KEYS\n"
         "};\n\n"
         "// Sorted in strcmp order, for bisection.\n"
         "extern const char* const KEYS[kKeyCount];\n"
         "extern const LangRow LANGS[kLangCount];\n\n";
    for (const LangFile& l : langs) h << "extern const char* const VALUES_" << l.code << "[kKeyCount];\n";
    h << "\n}  // namespace i18n_data\n";
    return h.str();
}

std::string source_text(const std::vector<LangFile>& langs, const std::vector<std::string>& keys) {
    std::ostringstream c;
    c << "// Generated by make_tables from i18n/languages.txt and i18n/lang/*.txt: edit those.\n"
         "#include \"i18n/i18n_data.h\"\n\nnamespace i18n_data {\n\n"
         "const char* const KEYS[kKeyCount] = {\n";
    for (const std::string& k : keys) c << "    " << c_literal(k) << ",\n";
    c << "};\n";
    for (const LangFile& l : langs) {
        c << "\nconst char* const VALUES_" << l.code << "[kKeyCount] = {\n";
        for (const std::string& k : keys) c << "    " << c_literal(l.entries.at(k).text) << ",\n";
        c << "};\n";
    }
    c << "\nconst LangRow LANGS[kLangCount] = {\n";
    for (const LangFile& l : langs)
        c << "    {" << c_literal(l.code) << ", " << c_literal(l.name) << ", "
          << (l.rtl ? "true" : "false") << ", VALUES_" << l.code << "},\n";
    c << "};\n\n}  // namespace i18n_data\n";
    return c.str();
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) return true;
    std::fprintf(stderr, "%s: cannot be written\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_tables <languages.txt> <lang-dir> <out-dir>\n");
        return 2;
    }
    const std::string list_path = argv[1], lang_dir = argv[2], out_dir = argv[3];
    Faults faults;
    std::vector<LangFile> langs = read_language_list(list_path, faults);
    auto reference = std::find_if(langs.begin(), langs.end(),
                                  [](const LangFile& l) { return l.code == kReferenceCode; });
    if (reference == langs.end() && !faults.any())
        faults.add(list_path, 0, "the reference language " + std::string(kReferenceCode) + " is not listed");
    for (LangFile& l : langs) read_language_file(lang_dir + "/" + l.code + ".txt", l, faults);

    std::vector<std::string> keys;
    if (reference != langs.end()) {
        for (const auto& e : reference->entries) keys.push_back(e.first);  // std::map: byte order
        if (keys.empty() && !faults.any()) faults.add(lang_dir + "/" + kReferenceCode + ".txt", 0, "has no keys");
        for (const LangFile& l : langs)
            if (&l != &*reference && l.read) check_keys(keys, lang_dir + "/" + l.code + ".txt", l, faults);
    }
    if (faults.any()) {
        faults.print();
        return 1;
    }
    bool ok = write_file(out_dir + "/i18n_data.h", header_text(langs, keys.size()));
    ok = write_file(out_dir + "/i18n_data.cpp", source_text(langs, keys)) && ok;
    return ok ? 0 : 1;
}
