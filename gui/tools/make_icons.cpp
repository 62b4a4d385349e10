// Build tool: the application icon "quavermill" in the hicolor theme, drawn by the same logo code
// as the window, so that icon and logo cannot drift apart. Writes below the given folder
// hicolor/<n>x<n>/apps/quavermill.png for each size and hicolor/scalable/apps/quavermill.svg.
// Usage: qm_make_icons <folder>; status 1 with a message when a file cannot be written.
#include <cairo-svg.h>
#include <cairo.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "gui/gfx.h"
#include "gui/logo.h"

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
constexpr double kSvgSize = 256;

void make_dirs(const std::string& path) {
    for (size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
        if (at == std::string::npos) return;
    }
}

void paint(cairo_surface_t* surface, float size) {
    cairo_t* cr = cairo_create(surface);
    gfx::set_context(cr);
    logo::draw(0, 0, size, true, 0xFFFFFFFF);
    gfx::set_context(nullptr);
    cairo_destroy(cr);
}

bool fail(const std::string& path, cairo_status_t status) {
    std::fprintf(stderr, "qm_make_icons: %s: %s\n", path.c_str(), cairo_status_to_string(status));
    return false;
}

bool write_png(const std::string& root, int size) {
    const std::string dir = root + "/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
    make_dirs(dir);
    const std::string path = dir + "/quavermill.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    paint(s, static_cast<float>(size));
    const cairo_status_t status = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return status == CAIRO_STATUS_SUCCESS || fail(path, status);
}

bool write_svg(const std::string& root) {
    const std::string dir = root + "/hicolor/scalable/apps";
    make_dirs(dir);
    const std::string path = dir + "/quavermill.svg";
    cairo_surface_t* s = cairo_svg_surface_create(path.c_str(), kSvgSize, kSvgSize);
    paint(s, static_cast<float>(kSvgSize));
    cairo_surface_finish(s);
    const cairo_status_t status = cairo_surface_status(s);
    cairo_surface_destroy(s);
    return status == CAIRO_STATUS_SUCCESS || fail(path, status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qm_make_icons <folder>\n");
        return 2;
    }
    bool ok = write_svg(argv[1]);
    for (int size : kSizes) ok = write_png(argv[1], size) && ok;
    return ok ? 0 : 1;
}
