#include "gui/platform.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#include <sys/xattr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/scanner.h"
#include "gui/gobject_ptr.h"
#include "i18n/i18n.h"
#include "system/logger.h"
#include "system/paths.h"

namespace platform {

namespace {

struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};

// A widget pointer that the toolkit clears when it finalises the widget, so that nothing here
// can reach a window that is gone.
class WeakWidget {
public:
    WeakWidget() = default;
    WeakWidget(const WeakWidget&) = delete;
    WeakWidget& operator=(const WeakWidget&) = delete;
    ~WeakWidget() { set(nullptr); }

    void set(GtkWidget* w) {
        if (w_) g_object_remove_weak_pointer(G_OBJECT(w_), reinterpret_cast<gpointer*>(&w_));
        w_ = w;
        if (w_) g_object_add_weak_pointer(G_OBJECT(w_), reinterpret_cast<gpointer*>(&w_));
    }
    GtkWidget* get() const { return w_; }

private:
    GtkWidget* w_ = nullptr;
};

WeakWidget g_window;
WeakWidget g_area;

constexpr char kPortalPrefix[] = "/run/user/";
constexpr char kPortalDoc[] = "/doc/";
constexpr char kHostPathAttr[] = "user.document-portal.host-path";

GtkWindow* parent() { return g_window.get() ? GTK_WINDOW(g_window.get()) : nullptr; }

GtkClipboard* clipboard() {
    GdkDisplay* display = gdk_display_get_default();
    return display ? gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD) : nullptr;
}

}  // namespace

void attach(GtkWidget* window, GtkWidget* area) {
    g_window.set(window);
    g_area.set(area);
}

void detach() { attach(nullptr, nullptr); }

int64_t ticks_ms() { return g_get_monotonic_time() / 1000; }

void request_redraw() {
    if (g_area.get()) gtk_widget_queue_draw(g_area.get());
}

void request_redraw(const gfx::Rect& r) {
    if (!g_area.get() || !(r.w > 0) || !(r.h > 0)) return;
    const int x = static_cast<int>(std::floor(r.x)), y = static_cast<int>(std::floor(r.y));
    gtk_widget_queue_draw_area(g_area.get(), x, y, static_cast<int>(std::ceil(r.x + r.w)) - x,
                               static_cast<int>(std::ceil(r.y + r.h)) - y);
}

void open_uri(const std::string& uri) {
    GError* raw = nullptr;
    // Without a display GTK has nothing to launch on, but the desktop's handler needs none.
    const bool opened =
        gdk_display_get_default()
            ? gtk_show_uri_on_window(parent(), uri.c_str(), gtk_get_current_event_time(), &raw)
            : g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &raw);
    std::unique_ptr<GError, ErrorFree> error(raw);
    if (!opened)
        logger::warn(std::string("Adresse nicht zu oeffnen: ") +
                     (error && error->message ? error->message : "?"));
}

std::string clipboard_get() {
    GtkClipboard* cb = clipboard();
    if (!cb) return "";
    gobj::Text text(gtk_clipboard_wait_for_text(cb));
    return text ? text.get() : "";
}

void clipboard_set(const std::string& text) {
    if (GtkClipboard* cb = clipboard())
        gtk_clipboard_set_text(cb, text.data(),
                               static_cast<gint>(std::min<size_t>(text.size(), INT_MAX)));
}

// Only X11 places windows at the program's word; on Wayland the compositor alone decides.
bool places_windows() {
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display);
#else
    return false;
#endif
}

void window_rect(int& x, int& y, int& w, int& h) {
    GtkWindow* window = parent();
    if (!window) return;
    if (places_windows()) gtk_window_get_position(window, &x, &y);
    gtk_window_get_size(window, &w, &h);
}

void choose_folder(const std::string& start, const std::function<void(const std::string&)>& done) {
    std::string chosen;
    if (gdk_display_get_default()) {
        gobj::Ref<GtkFileChooserNative> dialog(gtk_file_chooser_native_new(
            i18n::T("folder"), parent(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
            i18n::T("browse"), i18n::T("close")));
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
        if (!start.empty()) gtk_file_chooser_set_current_folder(chooser, start.c_str());
        if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog.get())) == GTK_RESPONSE_ACCEPT) {
            gobj::Text name(gtk_file_chooser_get_filename(chooser));
            if (name) chosen = name.get();
        }
    }
    done(resolve_portal_folder(chosen));
}

std::string portal_host_path(const std::string& path) {
    char value[4095];
    const ssize_t n = getxattr(path.c_str(), kHostPathAttr, value, sizeof value);
    if (n <= 0) return "";
    return std::string(value, strnlen(value, static_cast<size_t>(n)));
}

std::string resolve_portal_folder(const std::string& chosen, HostPathReader host_path_of) {
    if (chosen.rfind(kPortalPrefix, 0) != 0 || chosen.find(kPortalDoc) == std::string::npos)
        return chosen;
    const std::string host = host_path_of(chosen);
    // A relative value names no folder of the host; taken as one it would depend on our cwd.
    if (host.empty() || host[0] != '/') return chosen;
    if (scanner::directory_exists(host)) {
        logger::info("Ordner ueber das Portal, direkt erreichbar: " + paths::display(host));
        return host;
    }
    logger::info("Ordner nur ueber das Portal erreichbar: " + paths::display(chosen) + " (" +
                 paths::display(host) + ")");
    return chosen;
}

}  // namespace platform
