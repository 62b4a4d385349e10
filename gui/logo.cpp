#include "gui/logo.h"

#include <algorithm>
#include <cmath>

namespace logo {

namespace {

// Half-heights of the large form's bars as fractions of the size, and their colours, green to
// red from left to right.
constexpr float kBarH[5] = {0.090f, 0.164f, 0.221f, 0.146f, 0.082f};
constexpr gfx::Color kBars[5] = {0xFF43D67F, 0xFF7BD95B, 0xFFE9C93C, 0xFFF2933B, 0xFFEE5D5D};
// The small form: fewer, wider bars that stay legible at icon sizes.
constexpr float kSmallBarH[3] = {0.129f, 0.211f, 0.117f};
constexpr gfx::Color kSmallBars[3] = {0xFF43D67F, 0xFFE9C93C, 0xFFEE5D5D};

constexpr gfx::Color kBackground = 0xFF252C3B;
constexpr gfx::Color kBand = 0xFF3B4557;
constexpr gfx::Color kRing = 0x389FB4D8;
constexpr gfx::Color kArc = 0xFF3F9BF5;
constexpr gfx::Color kEndDot = 0xFFCFF6FB;
constexpr float kDefaultFrom = 90.0f, kDefaultTo = 300.0f;
constexpr float kLargeSize = 40.0f;

void bar(float cx, float cy, float half_w, float half_h, gfx::Color c) {
    gfx::fill_round_rect({cx - half_w, cy - half_h, 2 * half_w, 2 * half_h}, half_w, c);
}

}  // namespace

void draw(float x, float y, float size, bool colourful, gfx::Color tint) {
    draw_window(x, y, size, 6, 20, colourful, tint);
}

void draw_window(float x, float y, float size, float from_hour, float to_hour, bool colourful,
                 gfx::Color tint) {
    if (!(size >= 4)) return;
    const float cx = x + size / 2, cy = y + size / 2, r = 0.344f * size;
    const bool large = size >= kLargeSize;
    if (colourful) {
        const float corner = size / 4.57f;
        gfx::fill_round_rect({x, y, size, size}, corner, kBackground);
        gfx::fill_round_rect({x, y, size, size / 2}, corner, kBand);
        gfx::fill_round_rect({x, y + 0.16f * size, size, 0.84f * size}, corner, kBackground);
    }
    if (large) gfx::stroke_circle(cx, cy, r, kRing, 0.012f * size);

    const float from = std::max(from_hour, 0.0f), to = std::min(to_hour, 24.0f);
    const float from_deg = from < to ? from * 15 : kDefaultFrom;
    const float to_deg = from < to ? to * 15 : kDefaultTo;
    gfx::stroke_arc(cx, cy, r, from_deg, to_deg, colourful ? kArc : tint,
                    (large ? 0.039f : 0.074f) * size);
    if (large && colourful) {
        for (float deg : {from_deg, to_deg}) {
            const double a = (deg - 90.0) * M_PI / 180.0;
            gfx::fill_circle(cx + r * std::cos(a), cy + r * std::sin(a), 0.0098f * size, kEndDot);
        }
    }

    if (large) {
        for (int i = 0; i < 5; ++i)
            bar(cx + (i - 2) * 0.0723f * size, cy, 0.0244f * size, kBarH[i] * size,
                colourful ? kBars[i] : tint);
    } else {
        for (int i = 0; i < 3; ++i)
            bar(cx + (i - 1) * 0.127f * size, cy, 0.043f * size, kSmallBarH[i] * size,
                colourful ? kSmallBars[i] : tint);
    }
}

}  // namespace logo
