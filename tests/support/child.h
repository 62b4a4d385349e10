// Background processes for tests: servers, recorders and the program itself, started with their
// output in files and ended with a signal. A child is killed when the thread that started it
// ends, so a crashed test leaves nothing behind: start and end children on the test's main thread.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/run_program.h"

namespace testsupport {

// Starts `argv` with stdout appended to `output` and stderr to `log`; its pid, or -1. `unset`
// names variables the child does not inherit.
pid_t spawn(std::vector<std::string> argv, const EnvChanges& changes, const std::string& output,
            const std::string& log, const std::vector<std::string>& unset = {});
// Sends `sig` and reaps the child; SIGKILL follows when it has not ended after `grace`.
void end_child(pid_t pid, int sig, std::chrono::milliseconds grace);
// True once the child has ended (and is reaped); `status` gets its wait status.
bool exited(pid_t pid, int* status = nullptr);

}  // namespace testsupport
