// The player's side of the main panel: the status card (track, recorded time, progress bar,
// state line with position, pool and levels) and the footer line, both drawn from one status
// snapshot. The texts a user reads are separate functions so that they can be checked as text.
//
// GUI thread only (they read g_settings, g_hover and the rectangles of the last layout); drawing
// happens inside a repaint. Nothing fails: values out of range or not a number draw as the
// nearest sensible thing, never as a position off the card.
#pragma once
#include <string>

#include "gui/gfx.h"

#include "playback/player.h"

namespace ui {

// The left text of the state line: what the player is doing ("" while stopped).
std::string state_text(const Player::Status& s);
// "position / length", or "" when the track's length is unknown (a tenth of a second or less).
std::string position_text(const Player::Status& s);
// The pool size and, while playing, the levels measured and the gain applied.
std::string pool_text(const Player::Status& s);
// When and from what the track was recorded; "" when the line is not shown.
std::string recorded_text(const Player::Status& s);
// The player's message and the output device; in state Error the message alone.
std::string footer_text(const Player::Status& s);
// How much of the track was heard, 0 to 1; 0 when its length is unknown.
float progress_fraction(const Player::Status& s);

// Where the card lies in the last layout.
gfx::Rect status_card_rect();
// Where the progress bar and its knob can paint in the last layout; with two lengths of the
// filled part (pixels), where the bar can look different between them.
gfx::Rect progress_area();
gfx::Rect progress_area(float from, float to);
void draw_status_card(const Player::Status& s);
void draw_footer(const Player::Status& s);

}  // namespace ui
