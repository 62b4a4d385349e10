#include "gui/meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gui/theme.h"

namespace meter {

namespace {

constexpr float kFloorDb = -60.0f;
constexpr float kTopDb = 6.0f;
constexpr float kFallDbPerS = 26.0f;
constexpr float kHoldFallDbPerS = 14.0f;
constexpr float kHoldS = 1.2f;
constexpr float kClipS = 2.0f;
constexpr float kClipPeak = 0.994f;
constexpr float kMaxDt = 0.5f;
constexpr float kScaleTicks[] = {-60, -40, -20, -10, -6, -3, 0};
// Beyond any window width; keeps the segment count a sane integer for any rectangle.
constexpr float kMaxSegments = 4096;

float to_db(float linear) {
    if (!(linear > 1.1e-6f)) return kFloorDb;
    return std::clamp(20.0f * std::log10(linear), kFloorDb, kTopDb);
}

using namespace theme::role;
gfx::Color colour(int role) { return theme::colors()[role]; }

}  // namespace

void update(State& s, const float peak[2], const float rms[2], bool fresh, float dt) {
    dt = dt > 0 ? std::min(dt, kMaxDt) : 0.0f;
    for (int ch = 0; ch < 2; ++ch) {
        const float peak_db = fresh ? to_db(peak[ch]) : kFloorDb;
        const float level_db = fresh ? to_db(rms[ch]) : kFloorDb;
        s.last_peak[ch] = peak_db;

        if (level_db >= s.level[ch])
            s.level[ch] = level_db;
        else
            s.level[ch] = std::max(s.level[ch] - kFallDbPerS * dt, level_db);

        if (peak_db >= s.hold[ch]) {
            s.hold[ch] = peak_db;
            s.hold_time[ch] = kHoldS;
        } else if (s.hold_time[ch] > 0) {
            s.hold_time[ch] -= dt;
        } else {
            s.hold[ch] = std::max(s.hold[ch] - kHoldFallDbPerS * dt, peak_db);
        }

        if (fresh && peak[ch] >= kClipPeak) s.clip_time = kClipS;
    }
    if (s.clip_time > 0) s.clip_time -= dt;
}

void draw(const gfx::Rect& r, const State& s, float scale, const char* title) {
    if (!gfx::begin() || !(r.w > 0) || !(r.h > 0) || !(scale > 0)) return;
    const float k = scale;
    const float size = 13 * k;

    gfx::text({r.x, r.y, r.w / 2, 18 * k}, title ? title : "", size, colour(kSecondary),
              gfx::Align::Left, false, true);

    const float peak = std::max(s.last_peak[0], s.last_peak[1]);
    char readout[32] = "--,- dB";
    if (peak > kFloorDb) std::snprintf(readout, sizeof readout, "%.1f dB", peak);
    gfx::text({r.x, r.y, r.w - 44 * k, 18 * k}, readout, size, colour(peak >= -3 ? kRed : kText),
              gfx::Align::Right, false, true);

    const gfx::Rect badge = {r.x + r.w - 38 * k, r.y + 2 * k, 38 * k, 14 * k};
    const bool clipping = s.clip_time > 0;
    gfx::fill_round_rect(badge, 3 * k,
                         clipping ? colour(kRed) : gfx::with_alpha(colour(kSecondary), 0x22));
    gfx::text(badge, "CLIP", size * 0.85f,
              clipping ? 0xFFFFFFFF : gfx::with_alpha(colour(kSecondary), 0x88),
              gfx::Align::Center, false, true);

    const float top = r.y + 22 * k;
    const float bar_h = std::max((r.h - 41 * k) / 2, 8 * k);
    const float x0 = r.x + 14 * k;
    const float bar_w = r.w - 14 * k;
    const float span = bar_w - 5 * k;  // from the first segment's left to the last one's left
    const int n = static_cast<int>(std::clamp((bar_w + 2 * k) / (7 * k), 8.0f, kMaxSegments));

    for (int row = 0; row < 2; ++row) {
        const float row_top = top + row * (bar_h + 5 * k);
        gfx::text({r.x, row_top, 14 * k, bar_h}, row == 0 ? "L" : "R", size * 0.9f,
                  colour(kSecondary), gfx::Align::Left, false, true);
        gfx::fill_round_rect({x0, row_top, bar_w, bar_h}, 3 * k, colour(kTrack));

        const float lit = std::clamp((s.level[row] - kFloorDb) / -kFloorDb, 0.0f, 1.0f);
        int hold = -1;
        if (s.hold[row] > kFloorDb) {
            const float at = (s.hold[row] - kFloorDb) / -kFloorDb * (n - 1);
            hold = static_cast<int>(std::min(std::floor(at + 0.5f), static_cast<float>(n - 1)));
        }
        for (int i = 0; i < n; ++i) {
            const float f = static_cast<float>(i) / (n - 1);
            const float db = f * -kFloorDb + kFloorDb;
            gfx::Color c = colour(kStrong);
            if (i != hold) {
                c = colour(db >= -3 ? kRed : db >= -12 ? kAmber : kGreen);
                if (f > lit) c = gfx::with_alpha(c, 0x1E);
            }
            gfx::fill_round_rect({x0 + i * span / (n - 1), row_top + 2 * k, 5 * k, bar_h - 4 * k},
                                 1.5f * k, c);
        }
    }

    const float y1 = top + 2 * bar_h + 5 * k;
    for (float tick : kScaleTicks) {
        const float tx = x0 + (tick - kFloorDb) / -kFloorDb * span + 2.5f * k;
        gfx::line(tx, y1, tx, y1 + 3 * k, gfx::with_alpha(colour(kSecondary), 0x66), k);
        char label[8];
        std::snprintf(label, sizeof label, "%d", static_cast<int>(tick));
        const float box_w = gfx::text_width(label, size * 0.8f, false) + 8 * k;
        gfx::text({tx - box_w / 2, y1 + 2 * k, box_w, 12 * k}, label, size * 0.8f,
                  colour(kSecondary), gfx::Align::Center, false, true);
    }
}

}  // namespace meter
