#include "ui/widgets.h"

#include <algorithm>

#include "gui/theme.h"
#include "ui/style.h"
#include "ui/text_field.h"

namespace ui {

namespace {

constexpr uint8_t kDimAlpha = 0x59;
using style::kLabelSize;
constexpr float kValueSize = style::kTextSize;
constexpr float kHairline = 1;  // outline width in pixels, not scaled

// Buttons and fields.
constexpr float kCorner = 6;

// Check box and radio button.
constexpr float kBox = 18, kBoxCorner = 4, kLabelIndent = 18 + 8;
constexpr float kTick[3][2] = {{4.5f, 9.5f}, {7.5f, 13}, {13.5f, 5.5f}};
constexpr float kTickWidth = 2;
constexpr float kDisc = 9, kDot = 3.5f, kHole = 7.5f;

// Slider.
constexpr float kTrackHalf = 3, kKnob = 7.5f, kKnobHover = 9, kValueGap = 12, kValueWidth = 90,
                kValueOverhang = 8;

// Field: selection and caret inset from the top and bottom.
constexpr float kSelectionInset = 4, kCaretInset = 5;

float scale() { return g_ui.scale; }

// Check boxes and radio buttons fade as a whole when disabled.
gfx::Color tone(int role, bool enabled) { return colour(role, !enabled); }

void draw_choice_label(const gfx::Rect& r, std::string_view label, bool enabled) {
    const float indent = kLabelIndent * scale();
    gfx::text({r.x + indent, r.y, r.w - indent, r.h}, label, kLabelSize * scale(),
              tone(role::kText, enabled), gfx::Align::Left, false, true);
}

// gfx clips a text to the rectangle it starts in, so a text scrolled past the inner left edge
// goes in two pieces: the character cut by that edge, aligned right against where it ends, and
// everything after it, from where it starts up to the inner right edge.
void draw_scrolled_text(const Field& f, float x0, float iw, const gfx::Rect& r) {
    const std::string& t = f.text;
    const float size = kFieldTextSize * scale();
    const size_t first = boundary_reaching(t, f.scroll);
    const float edge = width_before(t, first) - f.scroll;  // where `first` lies right of x0
    if (first > 0 && edge > 0) {
        const size_t cut = prev_boundary(t, first);
        gfx::text({x0, r.y, std::min(edge, iw), r.h}, std::string_view(t).substr(cut, first - cut),
                  size, colour(role::kText), gfx::Align::Right, false, true);
    }
    if (edge < iw)
        gfx::text({x0 + std::max(edge, 0.0f), r.y, iw - std::max(edge, 0.0f), r.h},
                  std::string_view(t).substr(first), size, colour(role::kText), gfx::Align::Left, false,
                  true);
}

}  // namespace

gfx::Color colour(int role, bool dimmed) {
    const gfx::Color c = theme::colors()[role];
    return dimmed ? gfx::with_alpha(c, kDimAlpha) : c;
}

void draw_button(const gfx::Rect& r, std::string_view label, bool primary, bool hover,
                 bool enabled) {
    int fill = role::kSurfaceHover, text = role::kSecondary;
    bool outline = !primary;
    if (enabled && primary) {
        fill = hover ? role::kAccentHover : role::kAccent;
        text = role::kOnAccent;
    } else if (enabled) {
        fill = hover ? role::kSurfaceHover : role::kSurface;
        text = role::kText;
    }
    const float corner = kCorner * scale();
    gfx::fill_round_rect(r, corner, colour(fill));
    if (outline) gfx::stroke_round_rect(r, corner, colour(role::kBorder), kHairline);
    gfx::text(r, label, kLabelSize * scale(), colour(text), gfx::Align::Center, false, true);
}

void draw_check(const gfx::Rect& r, bool ticked, std::string_view label, bool hover, bool enabled) {
    const float s = scale();
    const gfx::Rect box = {r.x, r.y + (r.h - kBox * s) / 2, kBox * s, kBox * s};
    if (ticked) {
        gfx::fill_round_rect(box, kBoxCorner * s, tone(role::kAccent, enabled));
        gfx::stroke_round_rect(box, kBoxCorner * s, tone(role::kAccent, enabled), kHairline);
        for (int i = 0; i < 2; ++i)
            gfx::line(box.x + kTick[i][0] * s, box.y + kTick[i][1] * s, box.x + kTick[i + 1][0] * s,
                      box.y + kTick[i + 1][1] * s, tone(role::kOnAccent, enabled), kTickWidth * s);
    } else {
        gfx::fill_round_rect(box, kBoxCorner * s, tone(role::kInput, enabled));
        gfx::stroke_round_rect(box, kBoxCorner * s,
                               tone(hover && enabled ? role::kFocus : role::kInputBorder, enabled), kHairline);
    }
    draw_choice_label(r, label, enabled);
}

void draw_radio(const gfx::Rect& r, bool selected, std::string_view label, bool hover,
                bool enabled) {
    const float s = scale();
    const float cx = r.x + kDisc * s, cy = r.y + r.h / 2;
    if (selected) {
        gfx::fill_circle(cx, cy, kDisc * s, tone(role::kAccent, enabled));
        gfx::fill_circle(cx, cy, kDot * s, tone(role::kOnAccent, enabled));
    } else {
        gfx::fill_circle(cx, cy, kDisc * s,
                         tone(hover && enabled ? role::kFocus : role::kInputBorder, enabled));
        gfx::fill_circle(cx, cy, kHole * s, tone(role::kInput, enabled));
    }
    draw_choice_label(r, label, enabled);
}

void draw_slider(const gfx::Rect& r, float value, std::string_view text, bool hover) {
    const float s = scale();
    const float v = value > 0 ? std::min(value, 1.0f) : 0.0f;
    const float cy = r.y + r.h / 2;
    const float half = kTrackHalf * s;
    gfx::fill_round_rect({r.x, cy - half, r.w, 2 * half}, half, colour(role::kTrack));
    gfx::fill_round_rect({r.x, cy - half, r.w * v, 2 * half}, half, colour(role::kFilled));
    gfx::fill_circle(r.x + r.w * v, cy, (hover ? kKnobHover : kKnob) * s,
                     colour(hover ? role::kAccentHover : role::kAccent));
    if (!text.empty())
        gfx::text({r.x + r.w + kValueGap * s, r.y - kValueOverhang * s, kValueWidth * s,
                   r.h + 2 * kValueOverhang * s},
                  text, kValueSize * s, colour(role::kSecondary), gfx::Align::Left, false, true);
}

void draw_field(const gfx::Rect& r, const Field& f, bool focused, std::string_view placeholder,
                bool invalid) {
    const float s = scale();
    const float x0 = inner_left(r), iw = inner_width(r);
    gfx::fill_round_rect(r, kCorner * s, colour(role::kInput));
    gfx::stroke_round_rect(r, kCorner * s,
                           colour(invalid   ? role::kError
                                  : focused ? role::kFocus
                                            : role::kInputBorder),
                           focused || invalid ? 2 * kHairline : kHairline);
    if (f.text.empty() && !focused) {
        gfx::text({x0, r.y, iw, r.h}, placeholder, kFieldTextSize * s, colour(role::kSecondary),
                  gfx::Align::Left, false, true);
        return;
    }
    const float origin = x0 - f.scroll;
    if (f.caret != f.anchor) {
        const float a = origin + width_before(f.text, std::min(f.caret, f.anchor));
        const float b = origin + width_before(f.text, std::max(f.caret, f.anchor));
        const float left = std::max(a, x0), right = std::min(b, x0 + iw);
        if (right > left)
            gfx::fill_rect(
                {left, r.y + kSelectionInset * s, right - left, r.h - 2 * kSelectionInset * s},
                colour(role::kSelection));
    }
    draw_scrolled_text(f, x0, iw, r);
    if (focused && g_caret_on) {
        const float xc = origin + width_before(f.text, f.caret);
        if (xc >= x0 - 1 && xc <= x0 + iw)
            gfx::fill_rect(
                {xc, r.y + kCaretInset * s, std::max(s, 1.0f), r.h - 2 * kCaretInset * s},
                colour(role::kText));
    }
}

}  // namespace ui
