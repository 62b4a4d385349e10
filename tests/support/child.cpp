#include "support/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/poll.h"

extern char** environ;

namespace testsupport {

namespace {

// The process environment with `changes` applied, built before fork so that the child only execs.
std::vector<std::string> child_environment(const EnvChanges& changes,
                                           const std::vector<std::string>& unset) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name) && std::find(unset.begin(), unset.end(), name) == unset.end())
            env.push_back(entry);
    }
    for (const auto& [name, value] : changes) env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

pid_t spawn(std::vector<std::string> argv, const EnvChanges& changes, const std::string& output,
            const std::string& log, const std::vector<std::string>& unset) {
    std::vector<std::string> env = child_environment(changes, unset);
    std::vector<char*> c_argv = c_strings(argv);
    std::vector<char*> c_env = c_strings(env);
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    int out_fd = open(output.c_str(), flags, 0600);
    int log_fd = open(log.c_str(), flags, 0600);
    pid_t pid = out_fd < 0 || log_fd < 0 ? -1 : fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out_fd, 1);
        dup2(log_fd, 2);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        execvpe(c_argv[0], c_argv.data(), c_env.data());
        _exit(127);
    }
    if (out_fd >= 0) close(out_fd);
    if (log_fd >= 0) close(log_fd);
    return pid;
}

void end_child(pid_t pid, int sig, std::chrono::milliseconds grace) {
    ::kill(pid, sig);
    const double seconds = std::chrono::duration<double>(grace).count();
    if (poll_until([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, seconds)) return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool exited(pid_t pid, int* status) {
    int s = 0;
    if (waitpid(pid, &s, WNOHANG) != pid) return false;
    if (status) *status = s;
    return true;
}

}  // namespace testsupport
