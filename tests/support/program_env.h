// The surroundings in which the window and bus tests start the built program: a home of its own,
// where it keeps its settings and its log, and the test's sound server.
#pragma once
#include <string>

#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

// The sound server's variables, HOME and XDG_CONFIG_HOME in `home`.
EnvChanges program_env(const PulseServer& server, const TempDir& home);
// The same for a window on `display` (its variables): the runtime folder in `home` too, and
// English texts.
EnvChanges window_env(const PulseServer& server, const TempDir& home, const EnvChanges& display);
// The program's log in `home`.
std::string program_log(const TempDir& home);

}  // namespace testsupport
