// The output level meter: a stereo bar display of levels smoothed in dB, with a peak hold per
// channel, a clip badge and a dB scale. The state belongs to its user and moves only when
// update() is given the next measurement; draw() paints it through gfx (nothing while no context
// is set). Main thread only.
#pragma once
#include <vector>

#include "gui/gfx.h"

namespace meter {

// Levels in dB (-60 floor), times in seconds; two-element members hold left then right.
struct State {
    float level[2] = {-60, -60};      // smoothed: rises at once, falls at 26 dB/s
    float hold[2] = {-60, -60};       // peak hold: stays 1.2 s, then falls at 14 dB/s
    float hold_time[2] = {0, 0};      // left before the hold value starts to fall
    float clip_time = 0;              // left while the clip badge is lit
    float last_peak[2] = {-60, -60};  // peak of the latest interval
};

// Advances by `dt` seconds (limited to 0 to 0.5). `peak` and `rms` are linear (1.0 full scale)
// for the interval since the previous call; `fresh` false means nothing was measured in it,
// which reads as silence. A peak of 0.994 or more lights the clip badge for 2 s.
void update(State& state, const float peak[2], const float rms[2], bool fresh, float dt);

// Paints into `r`: title at the top left, peak readout and clip badge at the top right, the two
// bars in segments of 7 pixels' pitch (at least 8), the scale below. `scale` multiplies every
// fixed size.
void draw(const gfx::Rect& r, const State& state, float scale, const char* title);

// The parts of `r` whose pixels can differ between drawing `before` and drawing `after` with
// the same rectangle, scale and title: the readout, the clip badge and each run of segments
// that changes colour. None when both look the same.
std::vector<gfx::Rect> changed_parts(const gfx::Rect& r, const State& before, const State& after,
                                     float scale);

}  // namespace meter
