// The window for screen readers: the tree of gui/a11y_tree.h built from the same state and
// rectangles the frame was just drawn from, and the requests of assistive technology carried
// out as the pointer and the keys would carry them out. The four request functions are what the
// shell's Frontend takes as its a11y::Handlers.
//
// GUI thread only. publish_access runs at the end of a frame, only while a client listens
// (a11y::wanted). Every request checks first that the control is there, enabled and not
// behind an overlay, and refuses otherwise.
#pragma once
#include <string>

#include "playback/player.h"

namespace ui {

// Publishes the tree of the frame just drawn with `status`.
void publish_access(const Player::Status& status);

// A click on the control's centre, when a click there reaches that control.
bool access_act(int id);
// A slider's value in its own unit (volume 0..1, levels in dB, position in seconds), clamped.
bool access_set_value(int id, double value);
// A field's whole text, typed over a selection of all of it; `commit` then presses Return.
bool access_set_text(int id, const std::string& utf8, bool commit);
// A field's caret and selection anchor, in characters.
bool access_select(int id, int caret, int anchor);

}  // namespace ui
