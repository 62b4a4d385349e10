#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {

double monotonic_s() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

[[noreturn]] void exec_child(const std::vector<std::string>& argv, const EnvChanges& env,
                             const std::vector<std::string>& unset, int out_fd, int err_fd) {
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    for (const auto& name : unset) unsetenv(name.c_str());
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Reads both pipes until they close or the time is up; returns false on timeout.
bool drain(int out_fd, int err_fd, RunResult& r, double deadline) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_fds = 2;
    char buf[65536];
    while (open_fds > 0) {
        int wait_ms = static_cast<int>((deadline - monotonic_s()) * 1000);
        if (wait_ms <= 0) return false;
        if (poll(fds, 2, wait_ms) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    return true;
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const EnvChanges& env,
              const std::vector<std::string>& unset, double timeout_s) {
    RunResult r;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return r;
    pid_t pid = fork();
    if (pid == 0) exec_child(argv, env, unset, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    bool finished = drain(out[0], err[0], r, monotonic_s() + timeout_s);
    close(out[0]);
    close(err[0]);
    if (!finished) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

RunResult run_quavermill(const std::vector<std::string>& args, const std::string& home,
                         const EnvChanges& env) {
    std::vector<std::string> argv{QM_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    EnvChanges full{{"HOME", home}, {"XDG_CONFIG_HOME", home + "/.config"},
                    {"XDG_RUNTIME_DIR", home}};
    for (const auto& [k, v] : env) full[k] = v;
    return run(argv, full);
}

}  // namespace testsupport
