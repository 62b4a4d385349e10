// The two timers: every 100 ms the meter takes the output levels since the last tick and a burst
// of changes is saved once it has rested for 1.5 s; every 530 ms the caret blinks.
//
// A repaint costs the window most of its time while it plays, so a tick repaints only what it
// can have changed: the whole window when the player's state shows differently outside the
// status card (buttons, footer), else the parts of the status card and of the meter that look
// different, and nothing while the panel stands still. A screen reader reads the meter's level
// from the tree each frame publishes, so for one a level that moves without changing a pixel
// still gets a frame, of a single pixel.
// Input repaints the whole window through the shell.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gui/a11y_atk.h"
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
struct Card {
    std::string head;  // track and recorded time
    std::string line;  // the state line's texts
    int bar = 0;       // the progress bar's length in pixels; -1 while the length is unknown
};
Card g_shown_card;

std::string outside_of(const Player::Status& s, bool paused) {
    return std::to_string(s.state) + (paused ? "p" : "-") + footer_text(s);
}

Card card_of(const Player::Status& s) {
    const int bar = position_text(s).empty()
                        ? -1
                        : static_cast<int>(progress_fraction(s) * g_ui.progress.w);
    return {s.name + '\n' + recorded_text(s),
            state_text(s) + '\n' + position_text(s) + '\n' + pool_text(s), bar};
}

void repaint_what_changed(const std::vector<gfx::Rect>& meter_parts) {
    if (!g_player) {
        platform::request_redraw();
        return;
    }
    const Player::Status s = g_player->status();
    std::string outside = outside_of(s, g_player->paused());
    Card card = card_of(s);
    if (outside != g_shown_outside) {
        platform::request_redraw();
    } else {
        if (card.head != g_shown_card.head) {
            platform::request_redraw(status_card_rect());
        } else {
            if (card.line != g_shown_card.line) platform::request_redraw(g_ui.status_line);
            // The filled part ends within the pixel after its whole length.
            const int was = g_shown_card.bar, is = card.bar;
            if (is != was)
                platform::request_redraw(is < 0 || was < 0
                                             ? progress_area()
                                             : progress_area(std::min(was, is),
                                                             std::max(was, is) + 1));
        }
        for (const gfx::Rect& part : meter_parts) platform::request_redraw(part);
    }
    g_shown_outside = std::move(outside);
    g_shown_card = std::move(card);
}

}  // namespace

void on_tick() {
    const int64_t now = now_ms();
    const float dt = g_last_tick == 0 ? kFirstTickSeconds : (now - g_last_tick) / 1000.0f;
    g_last_tick = now;
    std::vector<gfx::Rect> meter_parts;
    if (Player* player = g_player) {
        const Player::Levels levels = player->take_levels();
        const meter::State before = g_meter;
        meter::update(g_meter, levels.peak, levels.rms, levels.fresh, dt);
        meter_parts = meter::changed_parts(g_ui.meter, before, g_meter, g_ui.scale);
        if (meter_parts.empty() && a11y::wanted() &&
            std::memcmp(&before, &g_meter, sizeof before) != 0)
            meter_parts.push_back({g_ui.meter.x, g_ui.meter.y, 1, 1});
    }
    // Every change moves g_dirty_since on, so a drag or a run of typing is saved once, after it.
    if (g_dirty_since != 0 && now - g_dirty_since >= kSaveDelayMs) persist_now(false);
    repaint_what_changed(meter_parts);
}

// The caret shows or hides in the focused field alone.
void on_caret_tick() {
    g_caret_on = !g_caret_on;
    if (g_focus != Hit::None) platform::request_redraw(field_rect(g_focus));
}

}  // namespace ui
