// The working copy of the settings on its way around: from g_settings into the four text fields
// and back with their validation, from there to the player, and into the settings file 1.5 s
// after the last change of a burst, when the window closes and after the main loop has ended.
// ui::init, ui::start_on_launch and ui::persist (ui/ui.h) are implemented here.
//
// GUI thread only. The player is reached through its own thread-safe setters; without a player
// (before init, after shutdown) only the settings and the fields change. Nothing fails visibly:
// a failed save is logged by settings::save and tried again with the next change.
#pragma once
#include <cstdint>

namespace ui {

// Milliseconds of the monotonic clock (platform::ticks_ms unless a test substituted its own).
int64_t now_ms();
// Remembers that the settings changed now, which restarts the wait before they are written.
void mark_changed();

// Fills the four text fields from g_settings; their caret, anchor and scroll stay.
void settings_to_ui();
// Takes the four text fields into g_settings. A time text that is no clock time leaves its
// minute as it was; an empty one means "no bound".
void ui_to_settings();
// ui_to_settings, then every setting the player knows goes to it; marks the settings changed.
void apply_to_player();
// Writes the settings file now, with the window's position and size when `with_window`.
void persist_now(bool with_window);
// The folder dialog, starting at the folder field's text; a chosen folder replaces that text and
// is applied at once, a cancelled dialog changes nothing.
void choose_folder();

// Playback as the start/stop button starts and ends it.
void start_playback();
void stop_playback();

namespace testing {
// The clock behind now_ms(); null restores the real one.
void set_clock(int64_t (*now)());
}  // namespace testing

}  // namespace ui
