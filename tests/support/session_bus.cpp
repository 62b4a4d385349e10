#include "support/session_bus.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>

#include "support/child.h"
#include "support/poll.h"

namespace testsupport {

namespace {

constexpr double kStartSeconds = 10;

bool answers(const std::string& address, const std::string& dest, const std::string& path,
             const std::string& method) {
    return run({"dbus-send", "--bus=" + address, "--dest=" + dest, "--print-reply", path, method},
               {}, {}, 5)
               .exit_code == 0;
}

}  // namespace

SessionBus::SessionBus(bool accessibility, const std::string& display) {
    const std::string socket = dir_ / "bus";
    bus_ = spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address()},
                 {}, dir_ / "bus.out", dir_ / "bus.err");
    struct stat st {};
    if (bus_ <= 0 || !poll_until([&] { return ::stat(socket.c_str(), &st) == 0; }, kStartSeconds))
        return;
    if (!answers(address(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                 "org.freedesktop.DBus.GetId"))
        return;
    if (accessibility) {
        // The accessibility bus's socket goes into a runtime folder of this bus alone. The
        // registry that the bus starts serves keyboard and mouse listeners on the display.
        const std::string runtime = dir_.make_dir("runtime");
        ::chmod(runtime.c_str(), 0700);
        launcher_ = spawn({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"},
                          {{"DBUS_SESSION_BUS_ADDRESS", address()}, {"DISPLAY", display},
                           {"XDG_RUNTIME_DIR", runtime}, {"HOME", dir_.path()}},
                          dir_ / "launcher.out", dir_ / "launcher.err");
        if (launcher_ <= 0 || !poll_until([&] {
                return answers(address(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress");
            }, kStartSeconds))
            return;
    }
    up_ = true;
}

SessionBus::~SessionBus() {
    if (launcher_ > 0) end_child(launcher_, SIGTERM, std::chrono::milliseconds(2000));
    if (bus_ > 0) end_child(bus_, SIGTERM, std::chrono::milliseconds(2000));
}

}  // namespace testsupport
