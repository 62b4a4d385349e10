// The settings panel: an overlay with the language list (the automatic choice and every language
// of the table, in three columns filled column by column) and the output device list (the
// system's default device and g_devices, six rows visible at a time with a scroll bar).
//
// GUI thread only, inside a repaint. Drawing records language_rects, device_rects (an all-zero
// rectangle for an entry scrolled out of view, so entry j is always at index j), device_area,
// settings_panel and settings_close in g_ui, and brings g_dev_scroll into its range; the input
// handling acts on those.
#pragma once
#include <string>

namespace ui {

// Rows of the device list on show at once.
constexpr int kDeviceRows = 6;

void draw_settings(float w, float h);

// What entry i of the language list (0: the automatic choice) and entry j of the device list
// (0: the system's default) say, and whether each is the one chosen.
std::string language_text(int i);
bool language_selected(int i);
std::string device_text(int j);
bool device_selected(int j);

}  // namespace ui
