// The window system's services for the user interface: a monotonic clock, repaint requests, the
// clipboard, the window's geometry, the folder dialog and the opening of web and mail addresses.
// Main thread only (the toolkit's). They work on the window and drawing area the window shell
// hands over with attach(); while none are attached, or once the toolkit has destroyed them, no
// repaint is queued, window_rect leaves its arguments as they were, and the dialog and the
// address handler get no parent. Without a display (the toolkit not initialised) the clipboard
// reads empty and takes nothing, the folder dialog answers as if cancelled, and addresses go
// straight to GIO's default handler.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "gui/gfx.h"

typedef struct _GtkWidget GtkWidget;

namespace platform {

// The shell's window and drawing area; not owned. They are forgotten when the toolkit finalises
// them, and by detach().
void attach(GtkWidget* window, GtkWidget* area);
void detach();

// Milliseconds of the monotonic clock; only differences mean anything.
int64_t ticks_ms();
// Queues one repaint of the drawing area; requests before the next paint are merged.
void request_redraw();
// The same for the part of the drawing area inside `r` (pixels, rounded outward).
void request_redraw(const gfx::Rect& r);
// Failure is logged as a warning with the reason.
void open_uri(const std::string& uri);
// The CLIPBOARD selection's text (not the primary selection), waiting for its owner; "" if none.
std::string clipboard_get();
void clipboard_set(const std::string& text);
// Whether the display lets the program place its window and tells where it is (X11 only).
bool places_windows();
// Position and size of the window in screen pixels; without places_windows() x and y keep the
// values they had.
void window_rect(int& x, int& y, int& w, int& h);
// Runs the folder dialog modally (in `start` when not empty) and calls `done` before returning,
// with the chosen folder or "" when cancelled.
void choose_folder(const std::string& start, const std::function<void(const std::string&)>& done);

// The document portal hands out folders as paths below /run/user/ containing /doc/, with the real
// folder in an extended attribute. The folder the program is given for such a path: the real one
// when it can be opened from here (logged), else the portal path (logged); any other path, and a
// portal path without the attribute, unchanged. `host_path_of` reads the attribute ("" when
// absent); tests substitute it.
using HostPathReader = std::string (*)(const std::string& path);
std::string portal_host_path(const std::string& path);
std::string resolve_portal_folder(const std::string& chosen,
                                  HostPathReader host_path_of = portal_host_path);

}  // namespace platform
