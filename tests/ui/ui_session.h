// One session of the user interface for a test, without a display: a private home, text measured
// through gfx, a clock the test moves, ui::init with the test's settings and player, and the
// panel laid out at the window's size. Input goes in as the shell sends it.
#pragma once
#include <gtest/gtest.h>

#include "gui/app_gtk.h"
#include "gui/canvas.h"
#include "gui/key_map.h"
#include "i18n/i18n.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "system/settings.h"
#include "ui/round_trip.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace testsupport {

class UiSession : public GfxTest {
protected:
    static constexpr float kWidth = shell::kWindowWidth, kHeight = shell::kWindowHeight;

    void SetUp() override {
        GfxTest::SetUp();
        env_.set("HOME", home.path());
        env_.set("XDG_CONFIG_HOME", home / "config");
        i18n::set_language("en");
        s_now = 1000;
        ui::testing::set_clock([] { return s_now; });
    }
    void TearDown() override {
        ui::shutdown();
        ui::testing::set_clock(nullptr);
        GfxTest::TearDown();
    }
    void open(const Settings& s, Player* player) {
        loaded = s;
        ui::init(player, &loaded, false);
        ui::layout(kWidth, kHeight);
    }
    // A draw event: the overlays record their rectangles.
    static void frame() {
        ui::layout(kWidth, kHeight);
        ui::draw(kWidth, kHeight);
    }
    static void click(const gfx::Rect& r) { drag(r, 0.5f, 0.5f); }
    // Pressed at `from` of the region's width, moved to `to`, released.
    static void drag(const gfx::Rect& r, float from, float to) {
        ui::on_mouse_down(r.x + r.w * from, r.y + r.h / 2);
        ui::on_mouse_move(r.x + r.w * to, r.y + r.h / 2);
        ui::on_mouse_up();
    }
    static void key(keymap::Code code, bool shift = false, bool ctrl = false) { ui::on_key(code, shift, ctrl); }
    static void tick_for(int64_t ms) {
        for (int64_t end = s_now + ms; s_now < end; ui::on_tick()) s_now += 100;
    }
    static bool saved() { return file_exists(settings::file_path()); }

    static inline int64_t s_now = 0;
    TempDir home;
    Settings loaded;

private:
    ScopedEnv env_{{"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR", "SNAP", "FLATPAK_ID", "APPDIR",
                    "QVML_LANG", "PULSE_SERVER", "ALSA_CONFIG_PATH"}};
};

}  // namespace testsupport
