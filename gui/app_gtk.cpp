// The window shell over GTK 3: one fixed-size window, one drawing area, every event handed to
// the user interface, which paints the whole panel on each draw.
#include "gui/app_gtk.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/a11y_atk.h"
#include "gui/gfx.h"
#include "gui/gobject_ptr.h"
#include "gui/key_map.h"
#include "gui/mpris.h"
#include "gui/platform.h"
#include "system/autostart_linux.h"
#include "system/logger.h"
#include "system/settings.h"

namespace shell {

namespace {

constexpr unsigned kTickMs = 100;
constexpr unsigned kCaretMs = 530;
constexpr const char* kAppId = "quavermill";
constexpr double kSmoothStep = 0.3;  // vertical delta of a smooth scroll that counts as a step

const Frontend* g_ui = nullptr;
GtkWidget* g_area = nullptr;
GtkWidget* g_window = nullptr;
gint64 g_opened_us = 0;  // when run_gui began; 0 once the first frame is logged

const char* cursor_name(Cursor kind) {
    switch (kind) {
    case Cursor::Text: return "text";
    case Cursor::Pointer: return "pointer";
    case Cursor::Default: break;
    }
    return "default";
}

gboolean on_draw(GtkWidget* area, cairo_t* cr, gpointer) {
    const float w = static_cast<float>(gtk_widget_get_allocated_width(area));
    const float h = static_cast<float>(gtk_widget_get_allocated_height(area));
    gfx::set_context(cr);
    gfx::resize(w, h);
    g_ui->layout(w, h);
    g_ui->draw(w, h);
    gfx::set_context(nullptr);
    if (g_opened_us != 0) {
        logger::info("Erstes Bild nach " +
                     std::to_string((g_get_monotonic_time() - g_opened_us) / 1000) + " ms");
        g_opened_us = 0;
    }
    return TRUE;
}

// The first screen reader's question gets the tree of a layout and drawing pass run at once
// without a context, so it paints nothing.
void refresh_access() {
    if (!g_ui || !g_area) return;
    const float w = static_cast<float>(gtk_widget_get_allocated_width(g_area));
    const float h = static_cast<float>(gtk_widget_get_allocated_height(g_area));
    g_ui->layout(w, h);
    g_ui->draw(w, h);
}

// Only the single press of button 1; double and triple clicks add nothing to the press before
// them, and other buttons are swallowed.
gboolean on_button(GtkWidget* area, GdkEventButton* e, gpointer) {
    if (e->type != GDK_BUTTON_PRESS || e->button != 1) return TRUE;
    gtk_widget_grab_focus(area);
    g_ui->on_mouse_down(static_cast<float>(e->x), static_cast<float>(e->y));
    gtk_widget_queue_draw(area);
    return TRUE;
}

gboolean on_release(GtkWidget*, GdkEventButton* e, gpointer) {
    if (e->button == 1) g_ui->on_mouse_up();
    return TRUE;
}

gboolean on_motion(GtkWidget* area, GdkEventMotion* e, gpointer) {
    const float x = static_cast<float>(e->x), y = static_cast<float>(e->y);
    g_ui->on_mouse_move(x, y);
    GdkWindow* window = gtk_widget_get_window(area);
    if (!window) return TRUE;
    gobj::Ref<GdkCursor> cursor(
        gdk_cursor_new_from_name(gtk_widget_get_display(area), cursor_name(g_ui->cursor_at(x, y))));
    gdk_window_set_cursor(window, cursor.get());
    return TRUE;
}

gboolean on_scroll(GtkWidget* area, GdkEventScroll* e, gpointer) {
    int direction = 0;
    if (e->direction == GDK_SCROLL_UP) direction = -1;
    if (e->direction == GDK_SCROLL_DOWN) direction = 1;
    if (e->direction == GDK_SCROLL_SMOOTH) {
        if (e->delta_y > kSmoothStep) direction = 1;
        if (e->delta_y < -kSmoothStep) direction = -1;
    }
    if (direction == 0) return TRUE;
    g_ui->on_wheel(static_cast<float>(e->x), static_cast<float>(e->y), direction);
    gtk_widget_queue_draw(area);
    return TRUE;
}

// Typed text asks for its own repaint through the user interface; keys get one here.
gboolean on_key_press(GtkWidget* area, GdkEventKey* e, gpointer) {
    const keymap::Press p = keymap::translate(e->keyval, e->state);
    if (p.code != keymap::None) {
        g_ui->on_key(p.code, p.shift, p.ctrl);
        gtk_widget_queue_draw(area);
    } else if (!p.text.empty()) {
        g_ui->on_text(p.text);
    }
    return TRUE;
}

// The geometry is recorded while the window still exists; the window is then destroyed.
gboolean on_close(GtkWidget*, GdkEvent*, gpointer) {
    g_ui->persist(true);
    return FALSE;
}

void on_destroy(GtkWidget*, gpointer) {
    g_window = nullptr;
    gtk_main_quit();
}

gboolean on_tick(gpointer) {
    g_ui->on_tick();
    return G_SOURCE_CONTINUE;
}

gboolean on_caret_tick(gpointer) {
    g_ui->on_caret_tick();
    return G_SOURCE_CONTINUE;
}

// The end of a session asks its programs to go with SIGTERM, a terminal with SIGINT: the window
// then closes as by its close button, keeping the settings and its place.
gboolean on_quit_signal(gpointer window) {
    gtk_window_close(GTK_WINDOW(window));
    return G_SOURCE_CONTINUE;
}

// The media controls act through the user interface, so that their changes show and are saved
// like the window's own.
void media_command(mpris::Command command, double value) {
    if (g_ui) g_ui->on_media(static_cast<int>(command), value);
}

void raise_window() {
    if (g_window) gtk_window_present(GTK_WINDOW(g_window));
}

const char* icon_name() {
    const char* flatpak = std::getenv("FLATPAK_ID");
    return flatpak && *flatpak ? flatpak : "quavermill";
}

}  // namespace

int run_gui(Player* player, Settings* settings, const Frontend& ui) {
    g_opened_us = g_get_monotonic_time();
    // Everything is drawn with cairo; probing OpenGL at start would load the GL driver (with a
    // software renderer, an LLVM of some 40 MB) into a window that never uses it.
    g_setenv("GDK_GL", "disable", FALSE);
    // The toolkit's key bindings ask the keymap for the modifiers of shortcuts while it starts,
    // and a Wayland keymap asks the seat's keyboard without looking whether there is a seat: a
    // compositor without input devices has none. The value is the one every keymap gives.
    gtk_accelerator_set_default_mod_mask(static_cast<GdkModifierType>(
        GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_HYPER_MASK |
        GDK_META_MASK));
    // The desktop matches the window to its menu entry quavermill.desktop by the X11 class and
    // the Wayland app id, both taken from these two names.
    g_set_prgname(kAppId);
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* line = "Keine Anzeige erreichbar (WAYLAND_DISPLAY und DISPLAY fehlen oder "
                           "antworten nicht) — das Fenster kann nicht aufgehen";
        logger::error(line);
        std::fprintf(stderr, "%s\n", line);
        return 1;
    }
    gdk_set_program_class(kAppId);  // the toolkit's default capitalises the first letter
    // Files and the console keep "." as the decimal mark whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    g_ui = &ui;

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Quavermill");
    gtk_window_set_icon_name(GTK_WINDOW(window), icon_name());
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    if (settings->win_x >= 0 && settings->win_y >= 0 && platform::places_windows())
        gtk_window_move(GTK_WINDOW(window), settings->win_x, settings->win_y);

    GtkWidget* area = a11y::new_area("Quavermill");
    gtk_widget_set_size_request(area, kWindowWidth, kWindowHeight);
    gtk_widget_set_can_focus(area, TRUE);
    gtk_widget_add_events(area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                    GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                                    GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    gtk_container_add(GTK_CONTAINER(window), area);

    g_signal_connect(area, "draw", G_CALLBACK(on_draw), nullptr);
    g_signal_connect(area, "button-press-event", G_CALLBACK(on_button), nullptr);
    g_signal_connect(area, "button-release-event", G_CALLBACK(on_release), nullptr);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(on_motion), nullptr);
    g_signal_connect(area, "scroll-event", G_CALLBACK(on_scroll), nullptr);
    g_signal_connect(area, "key-press-event", G_CALLBACK(on_key_press), nullptr);
    g_signal_connect(window, "delete-event", G_CALLBACK(on_close), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), nullptr);

    if (!gfx::init(area)) {
        logger::error("Cairo/Pango nicht verfuegbar");
        gtk_widget_destroy(window);
        g_ui = nullptr;
        return 1;
    }
    platform::attach(window, area);
    g_area = area;
    a11y::attach(area, ui.access, refresh_access);
    ui.init(player, settings, autostart::enabled());

    const guint tick = g_timeout_add(kTickMs, on_tick, nullptr);
    const guint caret = g_timeout_add(kCaretMs, on_caret_tick, nullptr);
    const guint term = g_unix_signal_add(SIGTERM, on_quit_signal, window);
    const guint interrupt = g_unix_signal_add(SIGINT, on_quit_signal, window);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(area);
    ui.start_on_launch();
    {
        mpris::Hooks hooks;
        hooks.command = media_command;
        hooks.raise = raise_window;
        g_window = window;
        mpris::Service media(player, hooks, mpris::Service::Where::CallerContext);
        gtk_main();
    }

    g_source_remove(tick);
    g_source_remove(caret);
    g_source_remove(term);
    g_source_remove(interrupt);
    ui.persist(false);
    ui.shutdown();
    a11y::detach();
    gfx::shutdown();
    platform::detach();
    g_area = nullptr;
    g_ui = nullptr;
    return 0;
}

}  // namespace shell
