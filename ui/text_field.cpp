#include "ui/text_field.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/utf8.h"
#include "gui/platform.h"

namespace ui {

namespace {

constexpr float kInset = 8;
constexpr float kRightMargin = 4;  // pixels, not scaled: the caret never touches the edge
constexpr float kBackMargin = 20;  // pixels, not scaled: context shown before a caret moved left

std::string (*g_clipboard_get)() = platform::clipboard_get;
void (*g_clipboard_set)(const std::string&) = platform::clipboard_set;

// Bytes of the valid UTF-8 character at `i`, or 0 when none starts there.
size_t char_length(std::string_view s, size_t i) {
    const gunichar c = g_utf8_get_char_validated(s.data() + i, static_cast<gssize>(s.size() - i));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return 0;
    return static_cast<size_t>(g_utf8_skip[static_cast<unsigned char>(s[i])]);
}

std::vector<size_t> boundaries(const std::string& text) {
    std::vector<size_t> all;
    for (size_t i = 0; i < text.size(); i = next_boundary(text, i)) all.push_back(i);
    all.push_back(text.size());
    return all;
}

// The selection as [first, last), both on boundaries.
std::pair<size_t, size_t> selection(const Field& f) {
    const size_t a = boundary_at_or_before(f.text, f.caret);
    const size_t b = boundary_at_or_before(f.text, f.anchor);
    return {std::min(a, b), std::max(a, b)};
}

}  // namespace

float inner_left(const gfx::Rect& r) { return r.x + kInset * g_ui.scale; }
float inner_width(const gfx::Rect& r) { return r.w - 2 * kInset * g_ui.scale; }

size_t boundary_at_or_before(const std::string& text, size_t offset) {
    size_t i = std::min(offset, text.size());
    while (i > 0 && i < text.size() && utf8::is_continuation(text[i])) --i;
    return i;
}

size_t next_boundary(const std::string& text, size_t offset) {
    size_t i = boundary_at_or_before(text, offset);
    if (i < text.size()) ++i;
    while (i < text.size() && utf8::is_continuation(text[i])) ++i;
    return i;
}

size_t prev_boundary(const std::string& text, size_t offset) {
    const size_t at = boundary_at_or_before(text, offset);
    return at == 0 ? 0 : boundary_at_or_before(text, at - 1);
}

float width_before(const std::string& text, size_t offset) {
    const size_t n = boundary_at_or_before(text, offset);
    return gfx::text_width(std::string_view(text).substr(0, n), kFieldTextSize * g_ui.scale, false);
}

// A longer leading text is never narrower, so the boundaries are searched by halving instead of
// measuring every one of them.
size_t boundary_reaching(const std::string& text, float width) {
    if (!(width > 0)) return 0;
    const std::vector<size_t> all = boundaries(text);
    size_t lo = 0, hi = all.size() - 1;
    if (!(width_before(text, all[hi]) >= width)) return text.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (width_before(text, all[mid]) >= width)
            hi = mid;
        else
            lo = mid + 1;
    }
    return all[lo];
}

bool char_allowed(Accept accept, unsigned char ch, const std::string& text) {
    if (ch < 0x20 || ch == 0x7F) return false;
    switch (accept) {
        case Accept::Path: return !std::strchr("<>\"|*?", ch);
        case Accept::Pattern: return !std::strchr("\\|\"/:;<>", ch);
        case Accept::Time: return ((ch >= '0' && ch <= '9') || ch == ':') && text.size() <= 4;
    }
    return false;
}

size_t caret_from_x(const Field& f, const gfx::Rect& r, float x) {
    const std::string& t = f.text;
    const float target = x - inner_left(r) + f.scroll;
    const size_t after = boundary_reaching(t, target);
    const float after_w = width_before(t, after);
    // Even the whole text ends before the pointer: the end, or the earliest boundary as wide.
    if (!(after_w >= target)) return boundary_reaching(t, after_w);
    if (after == 0) return 0;
    const float before_w = width_before(t, prev_boundary(t, after));
    return target - before_w <= after_w - target ? boundary_reaching(t, before_w) : after;
}

void ensure_caret_visible(Field& f, const gfx::Rect& r) {
    const float iw = inner_width(r);
    const float cw = width_before(f.text, f.caret);
    if (cw - f.scroll > iw - kRightMargin) f.scroll = cw - iw + kRightMargin;
    if (cw - f.scroll < 0) f.scroll = std::max(cw - kBackMargin, 0.0f);
    // A scrolled text ends no further left than the caret's margin, so a caret at the end keeps
    // it too.
    const float tw = width_before(f.text, f.text.size());
    if (iw - kRightMargin > tw - f.scroll && f.scroll > 0)
        f.scroll = std::max(tw - iw + kRightMargin, 0.0f);
}

void erase_selection(Field& f) {
    if (f.caret == f.anchor) return;
    const auto [first, last] = selection(f);
    f.text.erase(first, last - first);
    f.caret = f.anchor = first;
}

std::string selected_text(const Field& f) {
    const auto [first, last] = selection(f);
    return f.text.substr(first, last - first);
}

void copy_clipboard(const Field& f) {
    const std::string s = selected_text(f);
    if (!s.empty()) g_clipboard_set(s);
}

void insert_text(Field& f, std::string_view s) {
    erase_selection(f);
    const size_t at = boundary_at_or_before(f.text, f.caret);
    std::string candidate = f.text;
    const size_t before = candidate.size();
    for (size_t i = 0; i < s.size() && candidate.size() < kMaxFieldBytes;) {
        const size_t n = char_length(s, i);
        if (n == 0) {  // not UTF-8: dropped byte by byte until a character starts
            ++i;
            continue;
        }
        if (candidate.size() + n <= kMaxFieldBytes &&
            char_allowed(f.accept, static_cast<unsigned char>(s[i]), candidate))
            candidate.append(s, i, n);
        i += n;
    }
    f.text.insert(at, candidate, before, std::string::npos);
    f.caret = f.anchor = at + (candidate.size() - before);
}

void paste(Field& f, const gfx::Rect& r) {
    insert_text(f, g_clipboard_get());
    ensure_caret_visible(f, r);
}

namespace testing {
void set_clipboard(std::string (*get)(), void (*set)(const std::string& text)) {
    g_clipboard_get = get ? get : platform::clipboard_get;
    g_clipboard_set = set ? set : platform::clipboard_set;
}
}  // namespace testing

}  // namespace ui
