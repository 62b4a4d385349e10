// The numbers of the window's look that are not places of the main panel (those are the table
// in ui/layout.cpp): the margin, the text sizes, the ranges the level sliders show, the header,
// the overlays and the steps down the about panel. Pixels at scale 1. Constants only; any thread.
#pragma once

namespace style {

constexpr float kMargin = 16;

// Text sizes.
constexpr float kTitleSize = 21;  // the product name in the header and the overlays' titles
constexpr float kLabelSize = 15;  // labels of the left column, check boxes, buttons
constexpr float kTextSize = 13;   // values, secondary lines, the overlays' text
constexpr float kSmallSize = kTextSize * 0.92f;  // the about panel's fine print
constexpr float kHintSize = 11.7f;               // "hh:mm" under a clock time that is no time
constexpr float kAuthorSize = 15;

// What a level slider spans: the value at its left end and the width of the range.
struct Range {
    float lo, span;
    constexpr float hi() const { return lo + span; }
    float fraction(float value) const { return (value - lo) / span; }
    double fraction(double value) const { return (value - lo) / span; }
    float value(float fraction) const { return lo + span * fraction; }
};
constexpr Range kTargetRange{-40, 40};
constexpr Range kCeilingRange{-12, 12};

struct Header {
    float logo_x = 16, logo_y = 9, logo = 28;
    float title_x = 54, title_y = 10, title_w = 400, title_h = 30;
    // The version line ends this far left of the nearer of the two header buttons.
    float version_gap = 10, version_y = 12, version_w = 258, version_h = 26;
    float gear_inner = 5.5f, gear_outer = 10, gear_ring = 6, gear_stroke = 2.2f;
    float info_ring = 11, info_stroke = 1.4f;
};
constexpr Header kHeader{};

struct Overlay {
    float corner = 12;
    float close_w = 120, close_h = 34, close_gap = 18;  // the gap below the close button
};
constexpr Overlay kOverlay{};

// The about panel, top to bottom: each step is the distance from one line to the next. The
// wrapped texts add their own lines on top of base_height().
struct About {
    float max_width = 470, side_gap = 40, inset = 28;
    float logo_top = 26, logo = 72, logo_gap = 18;
    float title = 30;                      // then the tagline, one pitch a line
    float tagline_pitch = 20, tagline_gap = 6;
    float version = 20, formats = 20;      // then the third-party title
    float component_pitch = 17;            // before each line of components
    float author_gap = 26, author = 22, maker = 20, notice = 26;
    float rule = 12, disclaimer_title = 20;  // then the disclaimer, one line pitch a line
    float links_gap = 16, web = 22;
    float link_h = 20, link_pad = 6;
    float close_gap = 48;                  // from the mail link to the close button
    float line_pitch = 1.35f, box_pitch = 1.6f;  // times the text size

    // The panel's height with one line of components and no tagline or disclaimer lines.
    constexpr float base_height() const {
        return logo_top + logo + logo_gap + title + tagline_gap + version + formats +
               component_pitch + author_gap + author + maker + notice + rule + disclaimer_title +
               links_gap + web + link_h + close_gap + kOverlay.close_h + kOverlay.close_gap;
    }
};
constexpr About kAbout{};
static_assert(kAbout.base_height() == 493, "the about panel's steps changed its height");

}  // namespace style
