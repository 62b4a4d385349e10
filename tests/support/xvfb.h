// A private virtual display for tests of the window: Xvfb on a free display number, no window
// manager, 24-bit colour. Windows are driven with xdotool and looked at in screenshots.
//
//   testsupport::Xvfb x;                 // started; ASSERT_TRUE(x.up())
//   run_quavermill({}, home, x.env());   // or spawn the program with x.env() added
//   x.xdotool({"search", "--name", "^Quavermill$"});
//   x.screenshot(dir / "shot.png");
//
// Create and destroy it on the test's main thread (see child.h).
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

class Xvfb {
public:
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool up() const { return pid_ > 0; }
    std::string display() const { return display_; }
    EnvChanges env() const { return {{"DISPLAY", display_}}; }
    RunResult xdotool(const std::vector<std::string>& args) const;
    // The id of the first visible window whose title is exactly `title`, waiting up to
    // `seconds` for it to appear; "" when none did.
    std::string wait_window(const std::string& title, double seconds) const;
    // Asks the window (by id) to close, as a window manager's close button does: the client
    // gets WM_DELETE_WINDOW and decides itself. False when the message could not be sent.
    bool close_window(const std::string& window) const;
    // Saves the screen (or one window, by id) as a PNG file; false on failure.
    bool screenshot(const std::string& png, const std::string& window = "root") const;

private:
    TempDir dir_;
    std::string display_;
    pid_t pid_ = -1;
};

}  // namespace testsupport
