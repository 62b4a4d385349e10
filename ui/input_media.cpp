// The desktop's media controls reach the panel here: each command does what the Start, Pause
// and Next buttons or the volume slider do, so the window shows it and saves it the same way.
#include <algorithm>
#include <cmath>

#include "gui/mpris.h"
#include "gui/platform.h"
#include "playback/player.h"
#include "ui/input.h"
#include "ui/round_trip.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace ui {

void on_media(int command, double value) {
    Player* player = g_player;
    if (!player) return;
    const bool paused = player->paused();
    switch (static_cast<mpris::Command>(command)) {
        case mpris::Command::Play:
            if (!g_running) start_playback();
            else if (paused) toggle_pause();
            break;
        case mpris::Command::Pause:
            if (!paused) toggle_pause();
            break;
        case mpris::Command::PlayPause:
            if (!g_running) start_playback();
            else toggle_pause();
            break;
        case mpris::Command::Stop:
            if (g_running) stop_playback();
            break;
        case mpris::Command::Next:
            if (g_running) player->skip();
            break;
        case mpris::Command::Volume:
            if (std::isnan(value)) return;
            g_settings.volume = static_cast<float>(std::clamp(value, 0.0, 1.0));
            player->set_volume(g_settings.volume);
            mark_changed();
            break;
    }
    platform::request_redraw();
}

}  // namespace ui
