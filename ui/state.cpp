#include "ui/state.h"

#include "ui/ui.h"

namespace ui {

Ui g_ui;
Settings g_settings;
Player* g_player = nullptr;
Field g_folder{{}, 0, 0, 0, Accept::Path};
Field g_pattern{{}, 0, 0, 0, Accept::Pattern};
Field g_from{{}, 0, 0, 0, Accept::Time};
Field g_to{{}, 0, 0, 0, Accept::Time};
Hit g_focus = Hit::None;
Hit g_hover = Hit::None;
Hit g_drag = Hit::None;
bool g_settings_open = false;
bool g_about_open = false;
bool g_running = false;
bool g_autostart_on = false;
int64_t g_dirty_since = 0;
int64_t g_last_tick = 0;
std::vector<AudioOut::Device> g_devices;
int g_dev_scroll = 0;
meter::State g_meter;
bool g_caret_on = true;

void shutdown() { g_player = nullptr; }

}  // namespace ui
