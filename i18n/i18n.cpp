#include "i18n/i18n.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/utf8.h"
#include "i18n/i18n_data.h"
#include "system/paths.h"

namespace i18n {
namespace {

using i18n_data::LangRow;

// Written only by the main thread (set_language), read by every thread that fetches a text.
std::atomic<const LangRow*> g_row{nullptr};
// Main thread only.
std::string g_setting = "auto";

// LRI, RLI and FSI (U+2066 to U+2068) open an isolate, PDI (U+2069) closes it; in UTF-8 they are
// E2 81 A6 to E2 81 A9.
constexpr std::string_view kLri = "\u2066", kFsi = "\u2068", kPdi = "\u2069";

bool opens_isolate(std::string_view text, size_t at) {
    if (text.size() - at < 3 || text[at] != '\xE2' || text[at + 1] != '\x81') return false;
    const auto last = static_cast<unsigned char>(text[at + 2]);
    return last >= 0xA6 && last <= 0xA8;
}
bool closes_isolate(std::string_view text, size_t at) { return text.substr(at, 3) == kPdi; }

const LangRow* find_code(const std::string& code) {
    for (const LangRow& row : i18n_data::LANGS)
        if (code == row.code) return &row;
    return nullptr;
}

const LangRow& english() {
    static const LangRow* const row = find_code("en");  // the tool refuses tables without it
    return *row;
}

// zh-TW and zh_TW are the same; a territory the table lacks falls back to the bare language
// (zh_HK -> zh, pt_BR -> pt). Matching is case-sensitive: DE is not de.
const LangRow* resolve(std::string text) {
    if (text.empty()) return nullptr;
    for (char& c : text)
        if (c == '-') c = '_';
    if (const LangRow* row = find_code(text)) return row;
    size_t cut = text.find('_');
    return cut == std::string::npos ? nullptr : find_code(text.substr(0, cut));
}

const LangRow* row_for_setting(const std::string& setting) {
    const LangRow* row = resolve(setting == "auto" ? paths::system_language() : setting);
    return row ? row : &english();
}

const LangRow* current_row() {
    const LangRow* row = g_row.load(std::memory_order_acquire);
    if (row) return row;
    // First text before any choice, possibly on a player thread: choose "auto" (which the
    // setting already says) without touching the main thread's strings.
    const LangRow* chosen = row_for_setting("auto");
    return g_row.compare_exchange_strong(row, chosen, std::memory_order_acq_rel) ? chosen : row;
}

}  // namespace

void set_language(const std::string& setting) {
    g_setting = setting.empty() ? "auto" : setting;
    g_row.store(row_for_setting(g_setting), std::memory_order_release);
}

std::string language() { return g_setting; }

std::string effective_language() {
    const LangRow* row = g_row.load(std::memory_order_acquire);
    return row ? row->code : "en";
}

bool rtl() {
    const LangRow* row = g_row.load(std::memory_order_acquire);
    return row && row->rtl;
}

const char* T(const char* key) {
    if (!key) return "";
    const char* const* values = current_row()->values;
    int lo = 0, hi = i18n_data::kKeyCount - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int order = std::strcmp(key, i18n_data::KEYS[mid]);
        if (order == 0) return values[mid];
        if (order < 0) hi = mid - 1;
        else lo = mid + 1;
    }
    return key;
}

std::string isolate(std::string_view part, Order order) {
    if (!current_row()->rtl) return std::string(part);
    std::string out(order == Order::Ltr ? kLri : kFsi);
    out.append(part).append(kPdi);
    return out;
}

size_t cut_point(std::string_view text, size_t offset) {
    size_t cut = std::min(offset, text.size());
    while (cut > 0 && cut < text.size() && utf8::is_continuation(text[cut])) --cut;
    // An isolate open at the cut goes whole: the cut moves before its outermost opener.
    size_t depth = 0, outer = 0;
    for (size_t i = 0; i < cut; ++i) {
        if (opens_isolate(text, i)) {
            if (depth++ == 0) outer = i;
        } else if (depth > 0 && closes_isolate(text, i)) {
            --depth;
        }
    }
    return depth > 0 ? outer : cut;
}

const std::vector<Language>& languages() {
    static const std::vector<Language> list = [] {
        std::vector<Language> out;
        for (const LangRow& row : i18n_data::LANGS) out.push_back({row.code, row.name, row.rtl});
        return out;
    }();
    return list;
}

}  // namespace i18n
