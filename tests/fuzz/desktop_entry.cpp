// The login entry written and read back. Input: a selector byte, then either the options text
// a caller hands to the entry (the launch line read back must give exactly the words that text
// stands for) or the whole content of an entry found on disk (what is read back is one line of
// it after "Exec=").
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "system/autostart_linux.h"

namespace {

std::string own_path() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

void split_at_blanks(const std::string& text, std::vector<std::string>& out) {
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = std::min(text.find(' ', i), text.size());
        if (end > i) out.push_back(text.substr(i, end - i));
        i = end + 1;
    }
}

// The options text as its contract reads: blanks separate words, and a word that opens with a
// double quote runs to the last double quote of the text, unescaped.
std::vector<std::string> words_of(const std::string& args) {
    std::vector<std::string> out;
    size_t open = 0;
    while (open < args.size() && !(args[open] == '"' && (open == 0 || args[open - 1] == ' ')))
        ++open;
    split_at_blanks(args.substr(0, open), out);
    if (open == args.size()) return out;
    const size_t close = args.rfind('"');
    if (close == open) {
        out.push_back(args.substr(open + 1));
        return out;
    }
    out.push_back(args.substr(open + 1, close - open - 1));
    split_at_blanks(args.substr(close + 1), out);
    return out;
}

// An Exec value as a launcher reads it: the string escapes of the file format first, then the
// arguments, quoted ones with their four escapes, and "%%" for a percent sign. False for what a
// launcher would refuse (a reserved character outside quotes, an unknown escape, a field code).
bool exec_words(const std::string& value, std::vector<std::string>* out) {
    std::string line;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            line += value[i];
            continue;
        }
        if (++i == value.size()) return false;
        switch (value[i]) {
            case 's': line += ' '; break;
            case 'n': line += '\n'; break;
            case 't': line += '\t'; break;
            case 'r': line += '\r'; break;
            case '\\': line += '\\'; break;
            default: return false;
        }
    }
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\') {
                    if (++i == line.size() || std::string("\"`$\\").find(line[i]) == std::string::npos)
                        return false;
                }
                word += line[i];
            }
            if (i++ == line.size()) return false;  // no closing quote
            if (i < line.size() && line[i] != ' ') return false;
        } else {
            for (; i < line.size() && line[i] != ' '; ++i) {
                if (kReserved.find(line[i]) != std::string::npos) return false;
                word += line[i];
            }
        }
        std::string plain;
        for (size_t k = 0; k < word.size(); ++k) {
            if (word[k] == '%' && (++k == word.size() || word[k] != '%')) return false;
            plain += word[k];
        }
        out->push_back(plain);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* name : {"SNAP", "SNAP_NAME", "SNAP_REAL_HOME", "FLATPAK_ID", "XDG_DESKTOP_DIR"})
        unsetenv(name);
    setenv("HOME", fuzz::scratch_dir().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        mkdir((fuzz::scratch_dir() + "/.config").c_str(), 0755);
        mkdir((fuzz::scratch_dir() + "/.config/autostart").c_str(), 0755);
        fuzz::write_file(fuzz::scratch_dir() + "/.config/autostart/Quavermill.desktop",
                         data + 1, size - 1);
        const std::string command = autostart::command();
        FUZZ_CHECK(command.find('\n') == std::string::npos, "one line");
        if (!command.empty())
            FUZZ_CHECK(rest.compare(0, 5 + command.size(), "Exec=" + command) == 0 ||
                           rest.find("\nExec=" + command) != std::string::npos,
                       "the text after Exec= of a line of the entry");
        return 0;
    }
    const std::string args = rest.substr(0, rest.find('\0'));  // no argument holds a NUL
    FUZZ_CHECK(autostart::set(true, args), "the entry is written");
    std::vector<std::string> read_back;
    FUZZ_CHECK(exec_words(autostart::command(), &read_back), "a launcher can read the Exec line");
    std::vector<std::string> expected{own_path()};
    for (const std::string& w : words_of(args)) expected.push_back(w);
    FUZZ_CHECK(read_back == expected, "the launch line gives back the words it was given");
    return 0;
}
