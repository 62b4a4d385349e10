#include "support/weston.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>

#include "support/child.h"
#include "support/poll.h"

namespace testsupport {

Weston::Weston() {
    chmod(dir_.path().c_str(), 0700);
    const pid_t pid = spawn({"weston", "--backend=headless-backend.so", "--socket=wayland-qm",
                             "--idle-time=0", "--no-config", "--width=1280", "--height=1024"},
                            {{"XDG_RUNTIME_DIR", dir_.path()}}, dir_ / "weston.log",
                            dir_ / "weston.log", {"DISPLAY", "WAYLAND_DISPLAY"});
    bool died = false;
    const bool listening = pid > 0 && poll_until([&] {
        died = exited(pid);
        return died || file_exists(dir_ / "wayland-qm");
    }, 15);
    if (listening && !died)
        pid_ = pid;
    else if (pid > 0 && !died)
        end_child(pid, SIGKILL, std::chrono::milliseconds(1000));
}

Weston::~Weston() {
    if (pid_ > 0) end_child(pid_, SIGTERM, std::chrono::milliseconds(3000));
}

std::string Weston::failure() const {
    std::string log = read_file(dir_ / "weston.log");
    while (!log.empty() && log.back() == '\n') log.pop_back();
    const size_t line = log.rfind('\n');
    return log.empty() ? "weston wrote nothing" : log.substr(line == std::string::npos ? 0 : line + 1);
}

EnvChanges Weston::env() const {
    return {{"WAYLAND_DISPLAY", dir_ / "wayland-qm"}, {"GDK_BACKEND", "wayland"}};
}

}  // namespace testsupport
