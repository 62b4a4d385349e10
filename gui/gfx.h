// The drawing vocabulary of the window: filled and stroked shapes and one-line text in colours
// written 0xAARRGGBB, painted with cairo into the context of the repaint in progress and laid
// out with pango ("Sans", sizes in pixels). Text can be measured outside a repaint through a
// measuring context of the module's own, which needs no window and no display.
//
// Main thread only; nothing is locked. Drawing calls do nothing while no context is set. Before
// init and after shutdown text_width and fit_chars give 0; drawing still works on a context set
// meanwhile. No call leaves the cairo context in an error state: rectangles without area, radii,
// line widths and text sizes that are not positive, and text that is not UTF-8 are all accepted.
#pragma once
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

typedef struct _GtkWidget GtkWidget;

namespace gfx {

// Alpha in bits 24-31 (0xFF opaque, 0 invisible), then red, green, blue.
using Color = uint32_t;

constexpr Color with_alpha(Color c, uint8_t alpha) {
    return (c & 0x00FFFFFFu) | static_cast<Color>(alpha) << 24;
}

struct Rect {
    float x, y, w, h;
};

enum class Align { Left = 0, Center = 1, Right = 2 };

// Makes the measuring context; false when pango has no font map for cairo. The widget is not
// used (it may be null). Calling it again keeps the context it has.
bool init(GtkWidget* widget);
// Frees every cached font and the measuring context and forgets the current context.
void shutdown();

// The context the drawing calls paint into, until cleared with nullptr; not owned.
void set_context(cairo_t* cr);
void resize(float w, float h);
bool begin();  // true when a context is set
void end();

// Every pixel becomes `c`, alpha included (not blended).
void clear(Color c);
// Rectangles with no area draw nothing; the corner radius is limited to half the shorter side,
// and a radius of 0 or less gives sharp corners.
void fill_rect(const Rect& r, Color c);
void fill_round_rect(const Rect& r, float radius, Color c);
// The same for `count` rectangles in one fill, which costs about what one does. Where they
// overlap, the overlap is painted once.
void fill_round_rects(const Rect* rects, size_t count, float radius, Color c);
// The outer edge of the line lies on `r`; a line wider than the rectangle fills it.
void stroke_round_rect(const Rect& r, float radius, Color c, float width);
void fill_circle(float cx, float cy, float radius, Color c);
void stroke_circle(float cx, float cy, float radius, Color c, float width);
// Round ends; the round cap stays set for the rest of the repaint.
void line(float x1, float y1, float x2, float y2, Color c, float width);
void fill_triangle(float x1, float y1, float x2, float y2, float x3, float y3, Color c);
// Degrees, 0 at twelve o'clock, clockwise; nothing unless to_deg > from_deg; a span of 360 or
// more is the full circle. Partial arcs get round ends.
void stroke_arc(float cx, float cy, float radius, float from_deg, float to_deg, Color c,
                float width);

// One line of text (line breaks are shown as glyphs) inside `r`, cut at its edges, at the top
// of `r` or centred in its height. Bytes that are not UTF-8 show as replacement characters.
void text(const Rect& r, std::string_view text, float size, Color c, Align align, bool bold,
          bool vcenter);
// Bytes of the longest leading part of `text` at most max_width pixels wide at regular weight;
// never ends inside a UTF-8 character. One measurement per character removed.
size_t fit_chars(std::string_view text, float size, float max_width);
float text_width(std::string_view text, float size, bool bold);

// How many fonts are cached: one per size (to 1/100 pixel) and weight used since init.
size_t cached_fonts();

}  // namespace gfx
