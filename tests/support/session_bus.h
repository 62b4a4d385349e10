// A private session bus for tests, optionally with the accessibility bus on it: a dbus-daemon
// on a socket in a fresh temporary folder, and at-spi-bus-launcher, which starts the
// accessibility bus and, on first use, its registry. A program started with env() talks to
// this bus only; nothing reaches the user's session.
//
//   testsupport::SessionBus bus(true, x.display());   // started; ASSERT_TRUE(bus.up())
//   spawn({QM_BINARY}, bus.env(), ...);  // a window whose bridge registers on that bus
//
// Create and destroy it on the test's main thread (see child.h): its daemons end with it.
#pragma once
#include <sys/types.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

class SessionBus {
public:
    // `display`: the virtual display the accessibility bus serves ("" for none).
    SessionBus(bool accessibility, const std::string& display);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // The daemons answered within 10 s.
    bool up() const { return up_; }
    std::string address() const { return "unix:path=" + dir_ / "bus"; }
    EnvChanges env() const { return {{"DBUS_SESSION_BUS_ADDRESS", address()}}; }

private:
    TempDir dir_;
    pid_t bus_ = -1;
    pid_t launcher_ = -1;
    bool up_ = false;
};

}  // namespace testsupport
