// The two timers: every 100 ms the meter takes the output levels since the last tick and a burst
// of changes is saved once it has rested for 1.5 s; every 530 ms the caret blinks.
//
// A repaint costs the window most of its time while it plays, so a tick repaints only what it
// can have changed: the whole window when the player's state shows differently outside the
// status card (buttons, footer), else the status card and the meter while they move, and
// nothing while the panel stands still. Input repaints the whole window through the shell.
#include <cstring>
#include <string>

#include "gui/meter.h"
#include "gui/platform.h"
#include "playback/player.h"
#include "ui/input.h"
#include "ui/round_trip.h"
#include "ui/state.h"
#include "ui/status_card.h"
#include "ui/ui.h"

namespace ui {

namespace {

constexpr float kFirstTickSeconds = 0.1f;  // the timer's period, for the tick without a previous one
constexpr int64_t kSaveDelayMs = 1500;     // after the last change of a burst

// What the last tick saw of the player, as the panel shows it.
std::string g_shown_outside;  // state, pause, footer: drawn outside the status card
std::string g_shown_card;     // the status card's texts and the progress bar's length in pixels

std::string outside_of(const Player::Status& s, bool paused) {
    return std::to_string(s.state) + (paused ? "p" : "-") + footer_text(s);
}

std::string card_of(const Player::Status& s) {
    const int bar = static_cast<int>(progress_fraction(s) * g_ui.progress.w);
    return s.name + '\n' + recorded_text(s) + '\n' + state_text(s) + '\n' + position_text(s) +
           '\n' + pool_text(s) + '\n' + std::to_string(bar);
}

void repaint_what_changed(bool meter_moved) {
    if (!g_player) {
        platform::request_redraw();
        return;
    }
    const Player::Status s = g_player->status();
    std::string outside = outside_of(s, g_player->paused());
    std::string card = card_of(s);
    if (outside != g_shown_outside) {
        platform::request_redraw();
    } else {
        if (card != g_shown_card) platform::request_redraw(status_card_rect());
        if (meter_moved) platform::request_redraw(g_ui.meter);
    }
    g_shown_outside = std::move(outside);
    g_shown_card = std::move(card);
}

}  // namespace

void on_tick() {
    const int64_t now = now_ms();
    const float dt = g_last_tick == 0 ? kFirstTickSeconds : (now - g_last_tick) / 1000.0f;
    g_last_tick = now;
    bool meter_moved = false;
    if (Player* player = g_player) {
        const Player::Levels levels = player->take_levels();
        const meter::State before = g_meter;
        meter::update(g_meter, levels.peak, levels.rms, levels.fresh, dt);
        meter_moved = std::memcmp(&before, &g_meter, sizeof before) != 0;
    }
    // Every change moves g_dirty_since on, so a drag or a run of typing is saved once, after it.
    if (g_dirty_since != 0 && now - g_dirty_since >= kSaveDelayMs) persist_now(false);
    repaint_what_changed(meter_moved);
}

// The caret shows or hides in the focused field alone.
void on_caret_tick() {
    g_caret_on = !g_caret_on;
    if (g_focus != Hit::None) platform::request_redraw(field_rect(g_focus));
}

}  // namespace ui
