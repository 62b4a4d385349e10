// What the drawing benchmarks paint into: gfx set up without a display and drawing into an
// ARGB32 image surface of the window's size for the object's life. Main thread only.
#pragma once
#include <cairo.h>

#include <cstdio>
#include <memory>

#include "gui/gfx.h"

namespace bench {

class ImageSurface {
public:
    // `name` begins the messages; ok() is false when pango has no font map.
    ImageSurface(const char* name, int w, int h)
        : name_(name),
          surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), cairo_surface_destroy),
          cr_(cairo_create(surface_.get()), cairo_destroy) {
        ok_ = gfx::init(nullptr);
        if (!ok_) std::fprintf(stderr, "%s: no pango font map\n", name_);
        gfx::set_context(cr_.get());
    }
    ~ImageSurface() {
        gfx::set_context(nullptr);
        gfx::shutdown();
    }
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    bool ok() const { return ok_; }
    // Waits for the drawing to reach the pixels, as a repaint's end does.
    void flush() const { cairo_surface_flush(surface_.get()); }
    // False, with a message, when cairo reported an error while drawing.
    bool drawn_cleanly() const {
        if (cairo_status(cr_.get()) == CAIRO_STATUS_SUCCESS) return true;
        std::fprintf(stderr, "%s: cairo reported an error\n", name_);
        return false;
    }

private:
    const char* name_;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr_;
    bool ok_ = false;
};

}  // namespace bench
