#include "core/filters.h"

namespace filters {

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Wildcard match of the whole name against one piece [p, p_end): "*" any run, "?" one byte.
// A single backtrack point suffices because only the last star ever needs to grow.
bool piece_matches(const std::string& name, const char* p, const char* p_end) {
    size_t n = name.size(), m = static_cast<size_t>(p_end - p);
    size_t i = 0, j = 0, star = m, mark = 0;
    while (i < n) {
        if (j < m && (p[j] == '?' || lower(p[j]) == lower(name[i]))) {
            ++i;
            ++j;
        } else if (j < m && p[j] == '*') {
            star = j++;
            mark = i;
        } else if (star < m) {
            i = ++mark;
            j = star + 1;
        } else {
            return false;
        }
    }
    while (j < m && p[j] == '*') ++j;
    return j == m;
}

}  // namespace

// Pieces are taken as ranges of the pattern text, so a scan of many files allocates nothing here.
bool name_matches(const std::string& name, const std::string& patterns) {
    if (patterns.empty()) return true;
    const char* text = patterns.data();
    size_t size = patterns.size();
    for (size_t start = 0; start <= size;) {
        size_t stop = start;
        while (stop < size && text[stop] != ';') ++stop;
        size_t a = start, b = stop;
        while (a < b && is_space(text[a])) ++a;
        while (b > a && is_space(text[b - 1])) --b;
        if (a < b && piece_matches(name, text + a, text + b)) return true;
        start = stop + 1;
    }
    return false;
}

bool time_ok(const FilterSet& rules, const std::string& name, int64_t created, int64_t modified,
             int64_t* out) {
    int64_t t = 0;
    if (rules.time_source == TimeSource::Created) {
        t = created;
    } else if (rules.time_source == TimeSource::Modified) {
        t = modified;
    } else if (!timeutil::time_from_filename(name, &t)) {
        t = created != 0 ? created : modified;
    }
    if (out) *out = t;
    if (!rules.time_rules || rules.time_source == TimeSource::Off) return true;
    if (t <= 0) return !rules.win_files && rules.date_from == 0 && rules.date_to == 0;
    if (rules.date_from != 0 && t < rules.date_from) return false;
    if (rules.date_to != 0 && t > rules.date_to) return false;
    return !rules.win_files || rules.window.contains_moment(t);
}

bool accept(const FilterSet& rules, const std::string& name, int64_t size, int64_t created,
            int64_t modified, int64_t* out) {
    if (rules.min_bytes != 0 && size < rules.min_bytes) return false;
    if (rules.max_bytes != 0 && size > rules.max_bytes) return false;
    if (!name_matches(name, rules.patterns)) return false;
    return time_ok(rules, name, created, modified, out);
}

}  // namespace filters
