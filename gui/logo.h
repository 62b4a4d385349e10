// The program's emblem: a 24-hour dial (midnight at the top, clockwise) whose arc shows the daily
// playback window, with a small bar graph in its centre. From 40 pixels up it has five bars, a
// faint ring and, when colourful, dots at the arc's ends; below that three heavier bars. Drawn
// through gfx, so nothing appears while no context is set. Main thread only.
#pragma once
#include "gui/gfx.h"

namespace logo {

// The emblem with the default window of 6 to 20 hours.
void draw(float x, float y, float size, bool colourful, gfx::Color tint);
// `colourful` paints it on its own dark rounded square in its own colours; otherwise the arc and
// the bars take `tint` and there is no background. Hours outside 0 to 24 are limited to it, and a
// window that does not run forward shows the default arc. Nothing below a size of 4.
void draw_window(float x, float y, float size, float from_hour, float to_hour, bool colourful,
                 gfx::Color tint);

}  // namespace logo
