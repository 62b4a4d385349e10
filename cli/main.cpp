// Entry point: the start-up sequence that runs before every command, then exactly one command,
// chosen in a fixed order whatever the order of the arguments.
#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "system/crash_handler.h"
#include "system/logger.h"
#include "system/paths.h"
#include "system/version.h"

namespace {

void start_up() {
    logger::init(paths::config_dir(), version::kProduct);
    crash_handler::set_log_path(logger::file_path());
    logger::info(std::string(version::kProduct) + " " + version::kVersion + " (Build " +
                 version::kBuild + ") — " + paths::package_kind());
}

int run_window() {
    std::fputs("Quavermill: the window is not available in this build; "
               "use --scan or --help.\n", stderr);
    return 1;
}

int dispatch(const Args& args) {
    if (has_arg(args, "--help") || has_arg(args, "-h")) return cmd_usage();
    if (has_arg(args, "--version")) return cmd_version();
    if (has_arg(args, "--scan")) return cmd_scan(args);
    return run_window();
}

}  // namespace

int main(int argc, char** argv) {
    crash_handler::install();
    const Args args(argv + 1, argv + argc);
    start_up();
    int status = dispatch(args);
    logger::shutdown();
    return status;
}
