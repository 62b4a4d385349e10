// A private Wayland compositor for tests of the window: Weston with its headless back end, which
// has no input devices and so offers no seat at all, on a socket in a folder of its own.
//
//   testsupport::Weston w;                    // started; if (!w.up()) skip with w.failure()
//   spawn({QM_BINARY}, w.env(), out, err, {"DISPLAY"});   // GTK on Wayland, no X11 to fall to
//
// Create and destroy it on the test's main thread (see child.h).
#pragma once
#include <sys/types.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

class Weston {
public:
    Weston();
    ~Weston();
    Weston(const Weston&) = delete;
    Weston& operator=(const Weston&) = delete;

    bool up() const { return pid_ > 0; }
    // Why it did not come up: the last line of its log.
    std::string failure() const;
    // WAYLAND_DISPLAY (the socket's full path) and GDK_BACKEND=wayland.
    EnvChanges env() const;

private:
    TempDir dir_;  // its runtime folder, private to the user as Wayland requires
    pid_t pid_ = -1;
};

}  // namespace testsupport
