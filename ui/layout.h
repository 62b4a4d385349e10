// Where everything of the main panel lies, and what a point hits. ui::layout (ui/ui.h) fills
// the main panel's regions of g_ui from the window size and the labels of the language in use;
// hit_test maps a point to the region under it, the open overlay first; ui::cursor_at (ui/ui.h)
// picks the mouse cursor from that.
//
// GUI thread only. Hit testing reads the rectangles of the last layout and of the overlays as
// they were last drawn, so input always acts on what the user saw.
#pragma once
#include "gui/gfx.h"
#include "ui/state.h"

namespace ui {

// Left and top edges inside, right and bottom edges outside; a rectangle without area holds
// no point.
bool inside(const gfx::Rect& r, float x, float y);

Hit hit_test(float x, float y);
// The rectangle of a main panel control that hit testing knows by a single Hit (not the
// weekdays, not the overlays' entries); empty for any other.
gfx::Rect region_of(Hit h);

}  // namespace ui
