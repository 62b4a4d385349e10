#include "gui/gfx.h"

#include <fribidi.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gui/gobject_ptr.h"
#include "i18n/i18n.h"

namespace gfx {

namespace {

struct FontFree {
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
using LayoutPtr = gobj::Ref<PangoLayout>;

// Pango keeps sizes in ints of 1/1024 pixel; far above any window text and far below overflow.
constexpr float kMaxTextSize = 4096.0f;

cairo_t* g_cr = nullptr;
gobj::Ref<PangoContext> g_measure;
std::unordered_map<uint64_t, std::unique_ptr<PangoFontDescription, FontFree>> g_fonts;

// Shaping a text is most of what drawing or measuring it costs, and nearly every text of a
// frame is the same as in the frame before. So layouts drawn (on a context that follows the
// repaint's surface) and widths measured are kept by font and text for as long as frames keep
// using them. A tick repaints only part of the window, so what it leaves alone must outlast
// many repaints; and the numbers a tick shows (levels, gain) come back again and again within a
// minute of music. An entry goes at the first sweep after kKeepFrames repaints in a row have not
// used it; a sweep walks every entry, so it runs once in kSweepFrames repaints.
template <typename T>
struct Kept {
    T value;
    uint64_t frame;
};
gobj::Ref<PangoContext> g_draw;
std::unordered_map<std::string, Kept<LayoutPtr>> g_drawn;
std::unordered_map<std::string, Kept<float>> g_widths;
uint64_t g_frame = 0;
// The parts of the surface this repaint may change. What lies wholly outside them is neither
// drawn nor, for text, laid out: a tick repaints a few small parts far apart, and the box around
// them would take in most of the window between.
std::vector<Rect> g_dirty;
constexpr float kBleed = 1;  // antialiasing reaches into the pixel beyond an edge
constexpr size_t kMaxKept = 4096;  // more distinct texts start the cache afresh

// What pango takes from a repaint's context for shaping: the surface's and the context's font
// options and the linear part of the transformation. Pango marks its context changed whenever it
// is given a context, changed or not, which re-shapes every cached layout; so it is given one only
// when one of these differs from the last repaint's.
struct FontOptionsFree {
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsFree>;
struct DrawSettings {
    FontOptionsPtr surface{cairo_font_options_create()}, context{cairo_font_options_create()};
    double linear[4] = {};
    bool known = false;

    // True when `cr` shapes differently from the context last seen, which it then becomes.
    bool differ(cairo_t* cr) {
        FontOptionsPtr now_surface(cairo_font_options_create());
        FontOptionsPtr now_context(cairo_font_options_create());
        cairo_surface_get_font_options(cairo_get_target(cr), now_surface.get());
        cairo_get_font_options(cr, now_context.get());
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        const double now_linear[4] = {m.xx, m.yx, m.xy, m.yy};
        const bool same = known && cairo_font_options_equal(now_surface.get(), surface.get()) &&
                          cairo_font_options_equal(now_context.get(), context.get()) &&
                          std::equal(now_linear, now_linear + 4, linear);
        surface = std::move(now_surface);
        context = std::move(now_context);
        std::copy(now_linear, now_linear + 4, linear);
        known = true;
        return !same;
    }
};
DrawSettings g_draw_settings;
constexpr uint64_t kKeepFrames = 600;  // a minute of ticks
constexpr uint64_t kSweepFrames = 50;

constexpr double kPi = 3.14159265358979323846;
double radians(double deg) { return deg * kPi / 180.0; }

bool has_area(const Rect& r) { return r.w > 0 && r.h > 0; }

// False only for a box sure to miss every part being repainted; a box with a coordinate that is
// not a number is drawn and left to cairo.
bool may_show(float x0, float y0, float x1, float y1) {
    for (const Rect& d : g_dirty)
        if (!(x0 >= d.x + d.w + kBleed || y0 >= d.y + d.h + kBleed || x1 <= d.x - kBleed ||
              y1 <= d.y - kBleed))
            return true;
    return false;
}
bool may_show(const Rect& r) { return may_show(r.x, r.y, r.x + r.w, r.y + r.h); }
bool may_show_circle(float cx, float cy, float reach) {
    return may_show(cx - reach, cy - reach, cx + reach, cy + reach);
}

// Where the repaint of `cr` may change pixels, in user space: the clip's rectangles, or the box
// around the clip when it is not made of rectangles.
void find_dirty(cairo_t* cr) {
    g_dirty.clear();
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    if (list->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            g_dirty.push_back({static_cast<float>(r.x), static_cast<float>(r.y),
                               static_cast<float>(r.width), static_cast<float>(r.height)});
        }
    } else {
        double x1, y1, x2, y2;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        g_dirty.push_back({static_cast<float>(x1), static_cast<float>(y1),
                           static_cast<float>(x2 - x1), static_cast<float>(y2 - y1)});
    }
    cairo_rectangle_list_destroy(list);
}

void set_colour(Color c) {
    cairo_set_source_rgba(g_cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                          (c & 0xFF) / 255.0, (c >> 24) / 255.0);
}

// Clockwise quarter arcs from the top right corner, added to the path; a radius left at 0 or
// less after limiting it to the rectangle gives the plain rectangle.
void add_round_rect(double x, double y, double w, double h, double radius) {
    const double r = std::min({radius, w / 2, h / 2});
    if (!(r > 0)) {
        cairo_rectangle(g_cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(g_cr);
    cairo_arc(g_cr, x + w - r, y + r, r, radians(-90), 0);
    cairo_arc(g_cr, x + w - r, y + h - r, r, 0, radians(90));
    cairo_arc(g_cr, x + r, y + h - r, r, radians(90), radians(180));
    cairo_arc(g_cr, x + r, y + r, r, radians(180), radians(270));
    cairo_close_path(g_cr);
}

void round_rect_path(double x, double y, double w, double h, double radius) {
    cairo_new_path(g_cr);
    add_round_rect(x, y, w, h, radius);
}

void circle_path(double cx, double cy, double radius) {
    cairo_new_path(g_cr);
    cairo_arc(g_cr, cx, cy, radius, 0, 2 * kPi);
}

void stroke(Color c, double width) {
    set_colour(c);
    cairo_set_line_width(g_cr, width);
    cairo_stroke(g_cr);
}

uint64_t font_key(float size, bool bold) {
    return static_cast<uint64_t>(size * 100.0f) << 1 | (bold ? 1u : 0u);
}

const PangoFontDescription* font(float size, bool bold) {
    const uint64_t key = font_key(size, bold);
    auto& slot = g_fonts[key];
    if (!slot) {
        slot.reset(pango_font_description_new());
        pango_font_description_set_family_static(slot.get(), "Sans");
        pango_font_description_set_weight(slot.get(),
                                          bold ? PANGO_WEIGHT_SEMIBOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_absolute_size(slot.get(), size * PANGO_SCALE);
    }
    return slot.get();
}

// The mark that gives a line the direction of its first letter outside isolates, or "" when
// pango finds that direction by itself. Pango takes the first letter even from inside an
// isolate, which the bidirectional algorithm skips: a right-to-left line that begins with an
// isolated Latin name would otherwise run left to right.
std::string_view direction_mark(std::string_view text) {
    bool isolated_first = false;
    int depth = 0;
    for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
        const FriBidiCharType type = fribidi_get_bidi_type(g_utf8_get_char(p));
        if (type == FRIBIDI_TYPE_PDI) depth -= depth > 0;
        else if (FRIBIDI_IS_ISOLATE(type)) ++depth;
        else if (FRIBIDI_IS_LETTER(type) && depth > 0) isolated_first = true;
        else if (FRIBIDI_IS_LETTER(type)) {
            if (!isolated_first) return "";
            return FRIBIDI_IS_RTL(type) ? "\u200F" : "\u200E";  // RLM, LRM
        }
    }
    return "";
}

// Pango would otherwise warn on every call and patch the bytes itself.
void set_text(PangoLayout* layout, std::string_view text) {
    text = text.substr(0, INT_MAX);
    gobj::Text valid;
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        valid.reset(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
        text = valid.get();
    }
    std::string marked;
    if (const std::string_view mark = direction_mark(text); !mark.empty())
        text = marked.assign(mark).append(text);
    pango_layout_set_text(layout, text.data(),
                          static_cast<int>(std::min<size_t>(text.size(), INT_MAX)));
}

// One line whatever the text holds, on `context`, else on the repaint's context; null without
// either or for a size that cannot be shown.
LayoutPtr make_layout(PangoContext* context, std::string_view text, float size, bool bold) {
    if (!(size > 0)) return nullptr;
    LayoutPtr layout(context ? pango_layout_new(context)
                     : g_cr  ? pango_cairo_create_layout(g_cr)
                             : nullptr);
    if (!layout) return nullptr;
    pango_layout_set_font_description(layout.get(), font(std::min(size, kMaxTextSize), bold));
    set_text(layout.get(), text);
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_CHAR);
    pango_layout_set_width(layout.get(), -1);
    return layout;
}

std::string cache_key(std::string_view text, float size, bool bold) {
    const uint64_t k = font_key(std::min(size, kMaxTextSize), bold);
    std::string key(reinterpret_cast<const char*>(&k), sizeof k);
    key.append(text.data(), text.size());
    return key;
}

template <typename T>
void drop_unused(std::unordered_map<std::string, Kept<T>>& kept) {
    if (kept.size() > kMaxKept) kept.clear();
    if (g_frame % kSweepFrames != 0) return;
    for (auto it = kept.begin(); it != kept.end();)
        it = it->second.frame + kKeepFrames < g_frame ? kept.erase(it) : std::next(it);
}

// The layout to draw with; from the cache once init has made the drawing context. `owned`
// holds one made for this call alone.
PangoLayout* drawn_layout(std::string_view text, float size, bool bold, LayoutPtr& owned) {
    if (!g_draw || !(size > 0)) {
        owned = make_layout(nullptr, text, size, bold);
        return owned.get();
    }
    Kept<LayoutPtr>& kept = g_drawn[cache_key(text, size, bold)];
    if (!kept.value) kept.value = make_layout(g_draw.get(), text, size, bold);
    kept.frame = g_frame;
    return kept.value.get();
}

int pixel_width(PangoLayout* layout) {
    int w = 0;
    pango_layout_get_pixel_size(layout, &w, nullptr);
    return w;
}

}  // namespace

bool init(GtkWidget*) {
    if (g_measure) return true;
    PangoFontMap* map = pango_cairo_font_map_get_default();  // owned by pango
    if (!map) return false;
    g_measure.reset(pango_font_map_create_context(map));
    g_draw.reset(pango_font_map_create_context(map));
    return g_measure != nullptr && g_draw != nullptr;
}

void shutdown() {
    g_drawn.clear();
    g_widths.clear();
    g_fonts.clear();
    g_draw.reset();
    g_draw_settings.known = false;
    g_measure.reset();
    g_cr = nullptr;
}

// A new repaint begins: the cached layouts take on its surface's font settings, and what has
// long gone unused goes.
void set_context(cairo_t* cr) {
    g_cr = cr;
    if (!cr) return;
    find_dirty(cr);
    if (g_draw && g_draw_settings.differ(cr)) pango_cairo_update_context(cr, g_draw.get());
    ++g_frame;
    drop_unused(g_drawn);
    drop_unused(g_widths);
}
void resize(float, float) {}
bool begin() { return g_cr != nullptr; }
void end() {}

void clear(Color c) {
    if (!g_cr) return;
    cairo_save(g_cr);
    cairo_set_operator(g_cr, CAIRO_OPERATOR_SOURCE);
    set_colour(c);
    cairo_paint(g_cr);
    cairo_restore(g_cr);
}

void fill_rect(const Rect& r, Color c) { fill_round_rect(r, 0, c); }

void fill_round_rect(const Rect& r, float radius, Color c) {
    if (!g_cr || !has_area(r) || !may_show(r)) return;
    round_rect_path(r.x, r.y, r.w, r.h, radius);
    set_colour(c);
    cairo_fill(g_cr);
}

void fill_round_rects(const Rect* rects, size_t count, float radius, Color c) {
    if (!g_cr) return;
    cairo_new_path(g_cr);
    bool any = false;
    for (const Rect* r = rects; r < rects + count; ++r) {
        if (!has_area(*r) || !may_show(*r)) continue;
        add_round_rect(r->x, r->y, r->w, r->h, radius);
        any = true;
    }
    if (!any) return;
    set_colour(c);
    cairo_fill(g_cr);
}

void stroke_round_rect(const Rect& r, float radius, Color c, float width) {
    if (!g_cr || !has_area(r) || !(width > 0) || !may_show(r)) return;
    // Shrunk any further, the path would turn inside out and the line would leave `r`.
    if (width > r.w || width > r.h) {
        fill_round_rect(r, radius, c);
        return;
    }
    round_rect_path(r.x + width / 2.0, r.y + width / 2.0, r.w - width, r.h - width, radius);
    stroke(c, width);
}

void fill_circle(float cx, float cy, float radius, Color c) {
    if (!g_cr || !(radius > 0) || !may_show_circle(cx, cy, radius)) return;
    circle_path(cx, cy, radius);
    set_colour(c);
    cairo_fill(g_cr);
}

void stroke_circle(float cx, float cy, float radius, Color c, float width) {
    if (!g_cr || !(radius > 0) || !(width > 0) || !may_show_circle(cx, cy, radius + width / 2))
        return;
    circle_path(cx, cy, radius);
    stroke(c, width);
}

void line(float x1, float y1, float x2, float y2, Color c, float width) {
    if (!g_cr || !(width > 0)) return;
    if (!may_show(std::min(x1, x2) - width / 2, std::min(y1, y2) - width / 2,
                  std::max(x1, x2) + width / 2, std::max(y1, y2) + width / 2))
        return;
    cairo_set_line_cap(g_cr, CAIRO_LINE_CAP_ROUND);
    cairo_new_path(g_cr);
    cairo_move_to(g_cr, x1, y1);
    cairo_line_to(g_cr, x2, y2);
    stroke(c, width);
}

void fill_triangle(float x1, float y1, float x2, float y2, float x3, float y3, Color c) {
    if (!g_cr || !may_show(std::min({x1, x2, x3}), std::min({y1, y2, y3}),
                           std::max({x1, x2, x3}), std::max({y1, y2, y3})))
        return;
    cairo_new_path(g_cr);
    cairo_move_to(g_cr, x1, y1);
    cairo_line_to(g_cr, x2, y2);
    cairo_line_to(g_cr, x3, y3);
    cairo_close_path(g_cr);
    set_colour(c);
    cairo_fill(g_cr);
}

void stroke_arc(float cx, float cy, float radius, float from_deg, float to_deg, Color c,
                float width) {
    if (!g_cr || !(radius > 0) || !(width > 0) || !(to_deg > from_deg) ||
        !may_show_circle(cx, cy, radius + width / 2))
        return;
    if (static_cast<double>(to_deg) - from_deg >= 360.0) {
        circle_path(cx, cy, radius);
    } else {
        cairo_set_line_cap(g_cr, CAIRO_LINE_CAP_ROUND);
        cairo_new_path(g_cr);
        cairo_arc(g_cr, cx, cy, radius, radians(from_deg - 90.0), radians(to_deg - 90.0));
    }
    stroke(c, width);
}

void text(const Rect& r, std::string_view s, float size, Color c, Align align, bool bold,
          bool vcenter) {
    if (!g_cr || s.empty() || !has_area(r) || !may_show(r)) return;
    LayoutPtr owned;
    PangoLayout* layout = drawn_layout(s, size, bold, owned);
    if (!layout) return;
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    double x = r.x;
    if (align == Align::Center) x += (r.w - tw) / 2.0;
    if (align == Align::Right) x += r.w - tw;
    const double y = vcenter ? r.y + (r.h - th) / 2.0 : r.y;
    cairo_save(g_cr);
    cairo_new_path(g_cr);
    cairo_rectangle(g_cr, r.x, r.y, r.w, r.h);
    cairo_clip(g_cr);
    set_colour(c);
    cairo_move_to(g_cr, x, y);
    pango_cairo_show_layout(g_cr, layout);
    cairo_restore(g_cr);
}

size_t fit_chars(std::string_view s, float size, float max_width) {
    if (s.empty() || !g_measure) return 0;
    LayoutPtr layout = make_layout(g_measure.get(), s, size, false);
    size_t n = s.size();
    for (;;) {
        const float width = layout ? static_cast<float>(pixel_width(layout.get())) : 0.0f;
        if (width <= max_width) return n;
        n = i18n::cut_point(s, n - 1);
        if (n == 0) return 0;
        if (layout) set_text(layout.get(), s.substr(0, n));
    }
}

float text_width(std::string_view s, float size, bool bold) {
    if (s.empty() || !g_measure || !(size > 0)) return 0;
    Kept<float>& kept = g_widths[cache_key(s, size, bold)];
    if (kept.frame == 0) {
        LayoutPtr layout = make_layout(g_measure.get(), s, size, bold);
        kept.value = layout ? static_cast<float>(pixel_width(layout.get())) : 0.0f;
    }
    kept.frame = g_frame + 1;  // never 0, which marks a width not measured yet
    return kept.value;
}

size_t cached_fonts() { return g_fonts.size(); }

}  // namespace gfx
