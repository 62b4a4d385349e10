// Runs the built program (or any command) as a child process and collects what it wrote.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    std::string out;     // standard output, byte for byte
    std::string err;     // standard error
    int exit_code = -1;  // -1 when ended by a signal
    int signal = 0;      // the ending signal, 0 when it exited
};

// Environment changes for the child: a value sets the variable, an absent optional unsets it.
using EnvChanges = std::map<std::string, std::string>;

// argv[0] is the program; `unset` names variables removed from the child's environment.
RunResult run(const std::vector<std::string>& argv, const EnvChanges& env = {},
              const std::vector<std::string>& unset = {}, double timeout_s = 60);

// Runs the built quavermill with `args`, HOME and XDG_CONFIG_HOME pointing at `home` so that no
// run touches the user's real configuration.
RunResult run_quavermill(const std::vector<std::string>& args, const std::string& home,
                         const EnvChanges& env = {});

}  // namespace testsupport
