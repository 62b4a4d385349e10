// The window shell: the one top-level window with its single drawing area, the toolkit's events
// turned into calls of the user interface, two timers, and the main loop. The only place that
// builds GTK widgets; the platform services work on the window and area it creates.
//
// Main thread only; run_gui is called once per process. The user interface sits above this
// layer, so it hands its entry points over as a Frontend instead of being included here.
#pragma once
#include <string>

#include "gui/a11y_atk.h"
#include "gui/key_map.h"

class Player;
struct Settings;

namespace shell {

// The drawing area's size at scale 1: the panel's layout is made for it.
constexpr int kWindowWidth = 940, kWindowHeight = 744;

// The mouse cursors the panel asks for.
enum class Cursor : int { Default, Text, Pointer };

// The user interface as the shell calls it, all on the main thread. Coordinates are pixels
// relative to the drawing area's top left corner.
struct Frontend {
    void (*init)(Player* player, Settings* settings, bool login_entry_present);
    void (*start_on_launch)();
    void (*layout)(float w, float h);
    void (*draw)(float w, float h);
    void (*on_mouse_down)(float x, float y);
    void (*on_mouse_up)();
    void (*on_mouse_move)(float x, float y);
    Cursor (*cursor_at)(float x, float y);
    void (*on_wheel)(float x, float y, int direction);
    void (*on_key)(keymap::Code code, bool shift, bool ctrl);
    void (*on_text)(const std::string& utf8);
    void (*on_tick)();
    void (*on_caret_tick)();
    // A command of the desktop's media controls (an mpris::Command) and the volume it carries.
    void (*on_media)(int command, double value);
    void (*persist)(bool with_window_rect);
    void (*shutdown)();
    // What screen readers ask of the drawn controls (gui/a11y_atk.h).
    a11y::Handlers access;
};

// Opens the window and runs the main loop until it is closed. 0 after a normal end; 1 when
// there is no display or drawing cannot start (the reason is logged, and printed for the
// missing display).
int run_gui(Player* player, Settings* settings, const Frontend& ui);

}  // namespace shell
