#include "support/session_bus.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <sstream>

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

// A session bus that starts no services of the machine by itself and lets dbus-monitor watch.
std::string config(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path=" + socket + "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

}  // namespace

SessionBus::SessionBus(bool accessibility, const std::string& display) {
    const std::string socket = dir_ / "bus";
    const std::string conf = dir_.write_text("bus.conf", config(socket));
    bus_ = spawn({"dbus-daemon", "--config-file=" + conf, "--nofork", "--nopidfile"}, {},
                 dir_ / "bus.out", dir_ / "bus.err");
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

RunResult SessionBus::client(const std::vector<std::string>& argv) const {
    return run(argv, env(), {}, 10);
}

// dbus-send prints the list as "array [ name name ... ]".
std::string SessionBus::names() const {
    std::istringstream reply(client({"dbus-send", "--print-reply=literal",
                                     "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus.ListNames"}).out);
    std::string word, lines;
    while (reply >> word)
        if (word != "array" && word != "[" && word != "]") lines += word + "\n";
    return lines;
}

void SessionBus::kill() {
    if (bus_ <= 0) return;
    end_child(bus_, SIGKILL, std::chrono::milliseconds(2000));
    bus_ = -1;
}

BusMonitor::BusMonitor(const SessionBus& bus) {
    pid_ = spawn({"dbus-monitor", "--address", bus.address(), "type='signal'"}, {}, dir_ / "seen",
                 dir_ / "err");
    // The monitor's own NameAcquired and NameLost are the first things it prints.
    poll_until([&] { return !text().empty(); }, kStartSeconds);
}

BusMonitor::~BusMonitor() {
    if (pid_ > 0) end_child(pid_, SIGTERM, std::chrono::milliseconds(2000));
}

std::string BusMonitor::text() const { return read_file(dir_ / "seen"); }

size_t BusMonitor::count(const std::string& needle) const {
    const std::string t = text();
    size_t n = 0;
    for (size_t at = t.find(needle); at != std::string::npos; at = t.find(needle, at + 1)) ++n;
    return n;
}

}  // namespace testsupport
