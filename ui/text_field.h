// Editing one line of text in a Field: character boundaries, which characters a field takes,
// the caret placed by the pointer, scrolling the caret into view, the selection, the clipboard
// and the insertion of typed or pasted text. Drawing a field is draw_field (ui/widgets.h).
//
// GUI thread only. Every operation takes any Field, also one whose caret or anchor lies beyond
// a replaced text or inside a character: such offsets are read as the nearest boundary at or
// before them, and no operation leaves an offset inside a character. Text is taken in only as
// whole, valid UTF-8 characters; everything else is dropped.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "gui/gfx.h"
#include "ui/state.h"

namespace ui {

constexpr float kFieldTextSize = 15;
// A field takes no more text than the longest path the system can open.
constexpr size_t kMaxFieldBytes = 4096;

// The area the text is shown in: 8 pixels inside the field on either side.
float inner_left(const gfx::Rect& r);
float inner_width(const gfx::Rect& r);

// Boundaries are the offsets of bytes that are not UTF-8 continuation bytes (0x80-0xBF), and
// the end. `offset` beyond the text counts as its end.
size_t boundary_at_or_before(const std::string& text, size_t offset);
size_t next_boundary(const std::string& text, size_t offset);
size_t prev_boundary(const std::string& text, size_t offset);

// Width of the text before `offset` at the field's text size.
float width_before(const std::string& text, size_t offset);
// The earliest boundary whose leading text is at least `width` wide; the end when none is.
size_t boundary_reaching(const std::string& text, float width);

// Whether the character with lead byte `ch` may be added to a field holding `text`. No class
// takes control characters, which no key types either.
bool char_allowed(Accept accept, unsigned char ch, const std::string& text);

// The boundary nearest to the pointer at `x` over the field drawn in `r`; the earlier one when
// two are equally near.
size_t caret_from_x(const Field& f, const gfx::Rect& r, float x);
// Scrolls so that the caret stays 4 pixels inside the right edge, shows 20 pixels before it
// when scrolling back, and leaves no more than that margin right of a scrolled text.
void ensure_caret_visible(Field& f, const gfx::Rect& r);
// Removes the selected bytes; the caret and anchor meet where the selection began.
void erase_selection(Field& f);
// The selected bytes; empty without a selection.
std::string selected_text(const Field& f);
// Puts the selection on the clipboard; an empty selection leaves the clipboard alone.
void copy_clipboard(const Field& f);
// Replaces the selection by those characters of `s` that the field takes, in order, up to
// kMaxFieldBytes in all; the caret ends after them.
void insert_text(Field& f, std::string_view s);
// insert_text with the clipboard's text (line breaks and tabs never pass), then scrolls the
// caret into view.
void paste(Field& f, const gfx::Rect& r);

namespace testing {
// The clipboard the fields use instead of the window system's; null functions restore it.
void set_clipboard(std::string (*get)(), void (*set)(const std::string& text));
}  // namespace testing

}  // namespace ui
