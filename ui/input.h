// Input handling: what a press, a drag, a wheel step, a key, typed text and the two timers do to
// the state of ui/state.h, the player and the settings. The entry points the shell calls are in
// ui/ui.h (mouse and wheel in input_mouse.cpp, keys and typed text in input_keys.cpp, timers in
// input_timers.cpp); this header holds what those files share.
//
// GUI thread only; every handler acts on the rectangles of the last layout and overlay drawing,
// so input always meets what the user saw. While an overlay is open it takes all input.
#pragma once
#include "gui/gfx.h"
#include "ui/state.h"

namespace ui {

// The text field that a hit names and where it lies; null and an empty rectangle for any hit
// that is no text field.
Field* field_of(Hit h);
gfx::Rect field_rect(Hit h);

// What a press of the left button at the point does (ui::on_mouse_down).
void on_click(float x, float y);

// A slider or the progress bar set to `fraction` of its length (clamped to 0..1; not a number
// counts as 0), as a drag there sets it: applied at once, saved with the next burst.
void set_slider(Hit h, float fraction);

// Pauses running playback or resumes it; nothing while playback is not running.
void toggle_pause();

}  // namespace ui
