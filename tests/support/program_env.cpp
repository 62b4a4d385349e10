#include "support/program_env.h"

namespace testsupport {

EnvChanges program_env(const PulseServer& server, const TempDir& home) {
    EnvChanges e = server.env();
    e["HOME"] = home.path();
    e["XDG_CONFIG_HOME"] = home / ".config";
    return e;
}

EnvChanges window_env(const PulseServer& server, const TempDir& home, const EnvChanges& display) {
    EnvChanges e = program_env(server, home);
    for (const auto& [k, v] : display) e[k] = v;
    e["XDG_RUNTIME_DIR"] = home.path();
    e["QVML_LANG"] = "en";
    return e;
}

std::string program_log(const TempDir& home) {
    return read_file(home / ".config/Quavermill/Quavermill.log");
}

}  // namespace testsupport
