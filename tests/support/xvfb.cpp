#include "support/xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/child.h"
#include "support/poll.h"

namespace testsupport {

// Xvfb picks a free display itself and writes its number to the descriptor it is given, so
// that parallel tests never meet on one display.
Xvfb::Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const pid_t pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                            {}, dir_ / "xvfb.log", dir_ / "xvfb.log");
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (pid > 0 && number.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (pid > 0 && number.find('\n') != std::string::npos) {
        display_ = ":" + number.substr(0, number.find('\n'));
        pid_ = pid;
    } else if (pid > 0) {
        end_child(pid, SIGKILL, std::chrono::milliseconds(1000));
    }
}

Xvfb::~Xvfb() {
    if (pid_ > 0) end_child(pid_, SIGTERM, std::chrono::milliseconds(3000));
}

RunResult Xvfb::xdotool(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env(), {}, 10);
}

std::string Xvfb::wait_window(const std::string& title, double seconds) const {
    std::string id;
    poll_until([&] {
        RunResult r = xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
        if (r.exit_code != 0 || r.out.empty()) return false;
        id = r.out.substr(0, r.out.find('\n'));
        return true;
    }, seconds);
    return id;
}

bool Xvfb::close_window(const std::string& window) const {
    Display* d = XOpenDisplay(display_.c_str());
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = static_cast<Window>(std::stoul(window));
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, e.xclient.window, False, NoEventMask, &e) != 0;
    XCloseDisplay(d);  // flushes the event out
    return sent;
}

bool Xvfb::screenshot(const std::string& png, const std::string& window) const {
    return run({"import", "-window", window, png}, env(), {}, 20).exit_code == 0;
}

}  // namespace testsupport
