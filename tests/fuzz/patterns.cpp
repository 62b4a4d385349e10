// The file-name patterns: name NUL pattern list. A list never matches a name it was not given a
// wildcard for, unless the name is one of its pieces; and for names without a "*" the matcher
// agrees with a plain dynamic programme over the whole name. (A "*" in the name meets a "*" of
// the piece as an equal character before the star may stretch, so such names match less.)
#include <vector>

#include "core/filters.h"
#include "fuzz/fuzz_check.h"

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// at[i][j]: the first i bytes of the name match the first j of the piece.
bool piece_matches(const std::string& name, const std::string& piece) {
    const size_t n = name.size(), m = piece.size();
    std::vector<std::vector<char>> at(n + 1, std::vector<char>(m + 1, 0));
    at[0][0] = 1;
    for (size_t j = 1; j <= m; ++j) at[0][j] = piece[j - 1] == '*' && at[0][j - 1];
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            const char p = piece[j - 1];
            at[i][j] = p == '*' ? at[i - 1][j] || at[i][j - 1]
                                : (p == '?' || lower(p) == lower(name[i - 1])) && at[i - 1][j - 1];
        }
    return at[n][m];
}

std::vector<std::string> pieces(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t stop = list.find(';', start);
        std::string piece = list.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
        while (!piece.empty() && blank(piece.front())) piece.erase(0, 1);
        while (!piece.empty() && blank(piece.back())) piece.pop_back();
        if (!piece.empty()) out.push_back(piece);
        if (stop == std::string::npos) return out;
        start = stop + 1;
    }
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 600) return 0;  // keeps the reference's table small
    const std::vector<std::string> f = fuzz::fields(data, size, 2);
    const std::string& name = f[0];
    const std::string list = f.size() > 1 ? f[1] : "";

    const bool matched = filters::name_matches(name, list);
    bool expected = list.empty();
    bool is_a_piece = false;
    for (const std::string& piece : pieces(list)) {
        expected = expected || piece_matches(name, piece);
        is_a_piece = is_a_piece || same_ignoring_case(name, piece);
    }
    if (matched && !list.empty() && list.find_first_of("*?") == std::string::npos)
        FUZZ_CHECK(is_a_piece, "without a wildcard only a name the list holds matches");
    if (name.find('*') == std::string::npos)
        FUZZ_CHECK(matched == expected, "the matcher agrees with the reference");
    return 0;
}
