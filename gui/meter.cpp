#include "gui/meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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

// The peak readout above the bars, and where it and the clip badge are drawn.
struct Readout {
    std::string text = "--,- dB";
    gfx::Color colour;

    explicit Readout(const State& s) {
        const float peak = std::max(s.last_peak[0], s.last_peak[1]);
        if (peak > kFloorDb) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.1f dB", peak);
            text = buffer;
        }
        colour = meter::colour(peak >= kRedDb ? kRed : kText);
    }
};

gfx::Rect readout_rect(const gfx::Rect& r, float k) {
    return {r.x, r.y, r.w - kLook.readout_right * k, kLook.title_h * k};
}

gfx::Rect badge_rect(const gfx::Rect& r, float k) {
    return {r.x + r.w - kLook.badge_w * k, r.y + kLook.badge_y * k, kLook.badge_w * k,
            kLook.badge_h * k};
}

// Where the two bars and their segments lie in `r` at scale `k`.
struct Bars {
    float top, bar_h, x0, bar_w;
    float span;  // from the first segment's left to the last one's left
    int n;       // segments in a bar
    bool apart;  // no two segments reach into one pixel

    Bars(const gfx::Rect& r, float k) {
        const Look& L = kLook;
        top = r.y + L.bars_top * k;
        bar_h = std::max((r.h - L.below_bars * k) / 2, L.bar_min_h * k);
        x0 = r.x + L.channel_w * k;
        bar_w = r.w - L.channel_w * k;
        span = bar_w - L.segment_w * k;
        const float gap = L.segment_pitch - L.segment_w;
        n = static_cast<int>(
            std::clamp((bar_w + gap * k) / (L.segment_pitch * k), 8.0f, kMaxSegments));
        apart = span / (n - 1) - L.segment_w * k >= 1;
        k_ = k;
    }
    float row_top(int row) const { return top + row * (bar_h + kLook.bar_gap * k_); }
    gfx::Rect segment(int row, int i) const {
        const Look& L = kLook;
        return {x0 + i * span / (n - 1), row_top(row) + L.segment_inset * k_, L.segment_w * k_,
                bar_h - 2 * L.segment_inset * k_};
    }

private:
    float k_;
};

// How the segments of one bar light up: up to the level, the peak hold in the strong colour.
struct Row {
    float lit;
    int hold = -1;
    int n;

    Row(const State& s, int row, int segments) : n(segments) {
        lit = std::clamp((s.level[row] - kFloorDb) / -kFloorDb, 0.0f, 1.0f);
        if (s.hold[row] > kFloorDb) {
            const float at = (s.hold[row] - kFloorDb) / -kFloorDb * (n - 1);
            hold = static_cast<int>(std::min(std::floor(at + 0.5f), static_cast<float>(n - 1)));
        }
    }
    gfx::Color colour(int i) const {
        if (i == hold) return meter::colour(kStrong);
        const float f = static_cast<float>(i) / (n - 1);
        const float db = f * -kFloorDb + kFloorDb;
        const gfx::Color c = meter::colour(db >= kRedDb ? kRed : db >= kAmberDb ? kAmber : kGreen);
        return f > lit ? gfx::with_alpha(c, 0x1E) : c;
    }
};

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

    const Readout readout(s);
    gfx::text(readout_rect(r, k), readout.text, size, readout.colour, gfx::Align::Right, false,
              true);

    const gfx::Rect badge = badge_rect(r, k);
    const bool clipping = s.clip_time > 0;
    gfx::fill_round_rect(badge, L.badge_corner * k,
                         clipping ? colour(kRed) : gfx::with_alpha(colour(kSecondary), 0x22));
    gfx::text(badge, "CLIP", size * L.badge_text,
              clipping ? 0xFFFFFFFF : gfx::with_alpha(colour(kSecondary), 0x88),
              gfx::Align::Center, false, true);

    const Bars bars(r, k);
    const int n = bars.n;
    std::vector<gfx::Rect> run;
    for (int row = 0; row < 2; ++row) {
        const float row_top = bars.row_top(row);
        gfx::text({r.x, row_top, L.channel_w * k, bars.bar_h}, row == 0 ? "L" : "R",
                  size * L.channel_text, colour(kSecondary), gfx::Align::Left, false, true);
        gfx::fill_round_rect({bars.x0, row_top, bars.bar_w, bars.bar_h}, L.bar_corner * k,
                             colour(kTrack));

        // Neighbouring segments of one colour are filled together, as a fill costs about the
        // same for one segment as for many; not where segments crowd so that two could share a
        // pixel, which separate fills would paint twice.
        const Row lights(s, row, n);
        run.clear();
        gfx::Color run_colour = 0;
        for (int i = 0; i < n; ++i) {
            const gfx::Color c = lights.colour(i);
            if ((c != run_colour || !bars.apart) && !run.empty()) {
                gfx::fill_round_rects(run.data(), run.size(), L.segment_corner * k, run_colour);
                run.clear();
            }
            run_colour = c;
            run.push_back(bars.segment(row, i));
        }
        gfx::fill_round_rects(run.data(), run.size(), L.segment_corner * k, run_colour);
    }

    const float y1 = bars.top + 2 * bars.bar_h + L.bar_gap * k;
    for (float tick : kScaleTicks) {
        const float tx =
            bars.x0 + (tick - kFloorDb) / -kFloorDb * bars.span + L.segment_w / 2 * k;
        gfx::line(tx, y1, tx, y1 + L.tick_h * k, gfx::with_alpha(colour(kSecondary), 0x66), k);
        char label[8];
        std::snprintf(label, sizeof label, "%d", static_cast<int>(tick));
        const float box_w = gfx::text_width(label, size * L.tick_text, false) + L.tick_label_pad * k;
        gfx::text({tx - box_w / 2, y1 + L.tick_label_y * k, box_w, L.tick_label_h * k}, label,
                  size * L.tick_text, colour(kSecondary), gfx::Align::Center, false, true);
    }
}

std::vector<gfx::Rect> changed_parts(const gfx::Rect& r, const State& before, const State& after,
                                     float scale) {
    std::vector<gfx::Rect> parts;
    if (!(r.w > 0) || !(r.h > 0) || !(scale > 0)) return parts;
    const float k = scale;
    const Readout was(before), is(after);
    if (was.text != is.text || was.colour != is.colour) parts.push_back(readout_rect(r, k));
    if ((before.clip_time > 0) != (after.clip_time > 0)) parts.push_back(badge_rect(r, k));

    const Bars bars(r, k);
    for (int row = 0; row < 2; ++row) {
        const Row old_lights(before, row, bars.n), new_lights(after, row, bars.n);
        for (int i = 0; i < bars.n; ++i) {
            if (old_lights.colour(i) == new_lights.colour(i)) continue;
            int last = i;
            while (last + 1 < bars.n && old_lights.colour(last + 1) != new_lights.colour(last + 1))
                ++last;
            const gfx::Rect first = bars.segment(row, i), end = bars.segment(row, last);
            parts.push_back({first.x, first.y, end.x + end.w - first.x, first.h});
            i = last;
        }
    }
    return parts;
}

}  // namespace meter
