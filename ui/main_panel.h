// The main panel, painted completely on every draw event from the state of ui/state.h and one
// player status: header, the settings form, the status card, the player buttons, the level
// controls, the meter and the footer, then the open overlay panels on top. ui::draw (ui/ui.h)
// takes the status from the player and calls draw_impl.
//
// Also the small drawing vocabulary the panel and its overlays share: palette roles, text lines
// at the panel's scale, and the frame and close button of an overlay.
//
// GUI thread only, inside a repaint. Drawing changes no state but the overlays' rectangles in
// g_ui and the clamping of the device list's scroll position.
#pragma once
#include <string>
#include <string_view>

#include "gui/gfx.h"
#include "playback/player.h"
#include "ui/widgets.h"

namespace ui {

// One line of text vertically centred in `r` and cut at its edges; `size` in pixels at scale 1.
void draw_text(const gfx::Rect& r, std::string_view text, float size, gfx::Color c,
               gfx::Align align = gfx::Align::Left, bool bold = false);

// An overlay panel: the whole window darkened, the panel's card on top.
void draw_overlay_frame(float w, float h, const gfx::Rect& panel);
// The close button centred at the foot of an overlay panel; hovered while `hover`.
gfx::Rect draw_overlay_close(const gfx::Rect& panel, bool hover);

// Weekday labels, Monday to Sunday.
constexpr const char* kDayKeys[] = {"day_mo", "day_di", "day_mi", "day_do",
                                    "day_fr", "day_sa", "day_so"};

// Whether a time field holds text that is no clock time, which draws it in the error colour.
bool time_invalid(const Field& f);
// The value text right of a slider (VolumeSlider, TargetSlider, CeilingSlider); "" for others.
std::string slider_text(Hit slider);
// Whether the pause button says "play": paused, or waiting for the playback hours.
bool shows_play(const Player::Status& s);

// The whole window for a w x h drawing area with `status` as the player's state.
void draw_impl(float w, float h, const Player::Status& status);

}  // namespace ui
