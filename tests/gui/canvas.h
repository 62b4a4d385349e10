// An ARGB32 image that a test's gfx calls paint into and that is read back pixel by pixel, with
// no window and no display: the canvas is gfx's current context for its life.
#pragma once
#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "gui/gfx.h"

namespace testsupport {

class Canvas {
public:
    explicit Canvas(int w, int h, uint32_t background = 0xFFFFFFFF)
        : w_(w), h_(h), background_(background),
          surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), cairo_surface_destroy),
          cr_(cairo_create(surface_.get()), cairo_destroy) {
        gfx::set_context(cr_.get());
        gfx::clear(background);
    }
    ~Canvas() { gfx::set_context(nullptr); }

    cairo_t* cr() const { return cr_.get(); }
    // 0xAARRGGBB as cairo keeps it: premultiplied, which for opaque pixels is as written.
    uint32_t at(int x, int y) const {
        cairo_surface_flush(surface_.get());
        const unsigned char* data = cairo_image_surface_get_data(surface_.get());
        return reinterpret_cast<const uint32_t*>(
            data + y * cairo_image_surface_get_stride(surface_.get()))[x];
    }
    std::vector<uint32_t> pixels() const {
        std::vector<uint32_t> all;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) all.push_back(at(x, y));
        return all;
    }
    // How many pixels are no longer the background, and the box {x0, y0, x1, y1} around them
    // (ends exclusive; all 0 when none).
    struct Change {
        int count = 0;
        std::array<int, 4> box{};
    };
    Change changed() const {
        Change c;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                if (at(x, y) == background_) continue;
                c.box = c.count++ ? std::array<int, 4>{std::min(c.box[0], x), std::min(c.box[1], y),
                                                       std::max(c.box[2], x + 1), y + 1}
                                  : std::array<int, 4>{x, y, x + 1, y + 1};
            }
        return c;
    }

private:
    int w_, h_;
    uint32_t background_;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr_;
};

// Each channel of `a` within `tolerance` of that of `b`.
inline bool close_to(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

// gfx initialised for one test and shut down after it, so that no font outlives the test.
struct GfxTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(gfx::init(nullptr)); }
    void TearDown() override { gfx::shutdown(); }
};

}  // namespace testsupport
