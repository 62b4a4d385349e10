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
// Segments (and the peak readout) turn red from kRedDb, amber from kAmberDb, green below.
constexpr float kRedDb = -3, kAmberDb = -12;
// The drawing, in pixels at scale 1.
struct Look {
    float text = 13, title_h = 18;
    float readout_right = 44;  // the readout ends this far left of the right edge
    float badge_w = 38, badge_y = 2, badge_h = 14, badge_corner = 3;
    float bars_top = 22, below_bars = 41, bar_min_h = 8, bar_gap = 5, bar_corner = 3;
    float channel_w = 14;  // the "L" and "R" left of the bars
    float segment_pitch = 7, segment_w = 5, segment_inset = 2, segment_corner = 1.5f;
    float tick_h = 3, tick_label_y = 2, tick_label_pad = 8, tick_label_h = 12;
    float badge_text = 0.85f, channel_text = 0.9f, tick_text = 0.8f;  // times `text`
};
constexpr Look kLook{};
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
    const Look& L = kLook;
    const float k = scale;
    const float size = L.text * k;

    gfx::text({r.x, r.y, r.w / 2, L.title_h * k}, title ? title : "", size, colour(kSecondary),
              gfx::Align::Left, false, true);

    const float peak = std::max(s.last_peak[0], s.last_peak[1]);
    char readout[32] = "--,- dB";
    if (peak > kFloorDb) std::snprintf(readout, sizeof readout, "%.1f dB", peak);
    gfx::text({r.x, r.y, r.w - L.readout_right * k, L.title_h * k}, readout, size,
              colour(peak >= kRedDb ? kRed : kText), gfx::Align::Right, false, true);

    const gfx::Rect badge = {r.x + r.w - L.badge_w * k, r.y + L.badge_y * k, L.badge_w * k,
                             L.badge_h * k};
    const bool clipping = s.clip_time > 0;
    gfx::fill_round_rect(badge, L.badge_corner * k,
                         clipping ? colour(kRed) : gfx::with_alpha(colour(kSecondary), 0x22));
    gfx::text(badge, "CLIP", size * L.badge_text,
              clipping ? 0xFFFFFFFF : gfx::with_alpha(colour(kSecondary), 0x88),
              gfx::Align::Center, false, true);

    const float top = r.y + L.bars_top * k;
    const float bar_h = std::max((r.h - L.below_bars * k) / 2, L.bar_min_h * k);
    const float x0 = r.x + L.channel_w * k;
    const float bar_w = r.w - L.channel_w * k;
    // from the first segment's left to the last one's left
    const float span = bar_w - L.segment_w * k;
    const float gap = L.segment_pitch - L.segment_w;
    const int n = static_cast<int>(
        std::clamp((bar_w + gap * k) / (L.segment_pitch * k), 8.0f, kMaxSegments));

    for (int row = 0; row < 2; ++row) {
        const float row_top = top + row * (bar_h + L.bar_gap * k);
        gfx::text({r.x, row_top, L.channel_w * k, bar_h}, row == 0 ? "L" : "R",
                  size * L.channel_text, colour(kSecondary), gfx::Align::Left, false, true);
        gfx::fill_round_rect({x0, row_top, bar_w, bar_h}, L.bar_corner * k, colour(kTrack));

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
                c = colour(db >= kRedDb ? kRed : db >= kAmberDb ? kAmber : kGreen);
                if (f > lit) c = gfx::with_alpha(c, 0x1E);
            }
            gfx::fill_round_rect({x0 + i * span / (n - 1), row_top + L.segment_inset * k,
                                  L.segment_w * k, bar_h - 2 * L.segment_inset * k},
                                 L.segment_corner * k, c);
        }
    }

    const float y1 = top + 2 * bar_h + L.bar_gap * k;
    for (float tick : kScaleTicks) {
        const float tx = x0 + (tick - kFloorDb) / -kFloorDb * span + L.segment_w / 2 * k;
        gfx::line(tx, y1, tx, y1 + L.tick_h * k, gfx::with_alpha(colour(kSecondary), 0x66), k);
        char label[8];
        std::snprintf(label, sizeof label, "%d", static_cast<int>(tick));
        const float box_w = gfx::text_width(label, size * L.tick_text, false) + L.tick_label_pad * k;
        gfx::text({tx - box_w / 2, y1 + L.tick_label_y * k, box_w, L.tick_label_h * k}, label,
                  size * L.tick_text, colour(kSecondary), gfx::Align::Center, false, true);
    }
}

}  // namespace meter
