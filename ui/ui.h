// The user interface as the window shell calls it: one custom-drawn panel that is the settings
// form and the player at once, with two overlays (settings, about). The shell lays the panel out
// and paints it on every draw event, hands over every input event, and drives two timers.
//
// GUI thread only: every call comes from the toolkit's main loop. Nothing here fails visibly:
// drawing and input work on the state of ui/state.h and reach the player through its own
// thread-safe calls. Coordinates are pixels relative to the drawing area's top left corner.
#pragma once
#include <string>

#include "gui/app_gtk.h"
#include "gui/key_map.h"

class Player;
struct Settings;

namespace ui {

// Once, after the drawing context exists: takes the player (not owned) and a copy of the loaded
// settings; `autostart_on` tells whether the login entry exists.
void init(Player* player, Settings* settings, bool autostart_on);
// Once, right after init and the timers: starts playback when the settings ask for it.
void start_on_launch();

// Before every draw, with the drawing area's size: computes every region of the main panel.
void layout(float w, float h);
// Every draw: paints the whole window from the state and one fresh player status.
void draw(float w, float h);

void on_mouse_down(float x, float y);
void on_mouse_up();
void on_mouse_move(float x, float y);
// The mouse cursor for the point.
shell::Cursor cursor_at(float x, float y);
// One wheel step: -1 up, +1 down.
void on_wheel(float x, float y, int step);
// A key of the shell's table with the modifiers held.
void on_key(keymap::Code code, bool shift, bool ctrl);
// Typed text, UTF-8, one or more characters.
void on_text(const std::string& utf8);
// A command of the desktop's media controls (an mpris::Command), done as the panel's own button,
// key or slider does it, so that it shows at once and is saved alike; `value` is the volume.
void on_media(int command, double value);
void on_tick();        // every 100 ms
void on_caret_tick();  // every 530 ms

// Saves the settings; with_window records the window's position and size first.
void persist(bool with_window);
// Last call: forgets the player.
void shutdown();

}  // namespace ui
