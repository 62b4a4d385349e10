// The five controls of the panel, each a drawing function of one shape: a rectangle and the
// values to show go in, pixels come out. They keep no state: hover, focus and values belong to
// the caller (ui/state.h), and the colours come from the active theme palette.
//
// GUI thread only, inside a repaint (gfx draws nothing while no context is set). Labels are drawn
// at regular weight and cut at the control's edge.
#pragma once
#include <string_view>

#include "gui/gfx.h"
#include "gui/theme.h"
#include "ui/state.h"

namespace ui {

namespace role = theme::role;

// The role's colour of the current theme; dimmed, with its alpha replaced by 0x59.
gfx::Color colour(int role, bool dimmed = false);

// A disabled button shows no hover; a disabled primary button loses its outline altogether.
void draw_button(const gfx::Rect& r, std::string_view label, bool primary, bool hover,
                 bool enabled);
// A disabled check box or radio button draws every colour it uses at alpha 0x59.
void draw_check(const gfx::Rect& r, bool ticked, std::string_view label, bool hover, bool enabled);
void draw_radio(const gfx::Rect& r, bool selected, std::string_view label, bool hover,
                bool enabled);
// `value` from 0 to 1 (clamped; not a number counts as 0); `text` right of the track.
void draw_slider(const gfx::Rect& r, float value, std::string_view text, bool hover);
// The field's text scrolled by its `scroll`, shown only in the inner area, with its selection
// and, while focused and g_caret_on is set, its caret. An empty field without focus shows the
// placeholder instead.
void draw_field(const gfx::Rect& r, const Field& f, bool focused, std::string_view placeholder,
                bool invalid);

}  // namespace ui
