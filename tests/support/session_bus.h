// A private session bus for tests, optionally with the accessibility bus on it: a dbus-daemon
// with a configuration of its own (no service activation, monitors allowed) on a socket in a
// fresh temporary folder, and at-spi-bus-launcher, which starts the accessibility bus and, on
// first use, its registry. A program started with env() talks to this bus only; nothing reaches
// the user's session, and parallel tests never meet.
//
//   testsupport::SessionBus bus;                       // started; ASSERT_TRUE(bus.up())
//   testsupport::SessionBus bus(true, x.display());    // with the accessibility bus
//   spawn({QM_BINARY}, bus.env(), ...);
//   testsupport::BusMonitor signals(bus);              // dbus-monitor of every signal
//   bus.client({"playerctl", "-p", "quavermill", "status"}).out;
//   bus.kill();                                        // the bus goes away
//
// Create and destroy both on the test's main thread (see child.h): their daemons end with them.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

class SessionBus {
public:
    // `display`: the virtual display the accessibility bus serves ("" for none).
    explicit SessionBus(bool accessibility = false, const std::string& display = "");
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // The daemons answered within 10 s.
    bool up() const { return up_; }
    std::string address() const { return "unix:path=" + dir_ / "bus"; }
    EnvChanges env() const { return {{"DBUS_SESSION_BUS_ADDRESS", address()}}; }
    // Runs a client of the bus (playerctl, gdbus, dbus-send) with env() and a 10 s limit.
    RunResult client(const std::vector<std::string>& argv) const;
    // The names on the bus, one per line.
    std::string names() const;
    // Ends the bus daemon at once with SIGKILL.
    void kill();

private:
    TempDir dir_;
    pid_t bus_ = -1;
    pid_t launcher_ = -1;
    bool up_ = false;
};

// dbus-monitor on a bus, writing every signal it sees to a file.
class BusMonitor {
public:
    explicit BusMonitor(const SessionBus& bus);  // waits up to 10 s until it listens
    ~BusMonitor();
    BusMonitor(const BusMonitor&) = delete;
    BusMonitor& operator=(const BusMonitor&) = delete;

    std::string text() const;  // everything seen so far
    // How often `needle` occurs in what was seen so far.
    size_t count(const std::string& needle) const;

private:
    TempDir dir_;
    pid_t pid_ = -1;
};

}  // namespace testsupport
