// Entry point: the start-up sequence that runs before every command, then exactly one command,
// chosen in a fixed order whatever the order of the arguments.
#include <string>

#include "cli/args.h"
#include "cli/autostart_cmd.h"
#include "cli/commands.h"
#include "cli/headless.h"
#include "cli/window_mode.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "system/crash_handler.h"
#include "system/logger.h"
#include "system/paths.h"
#include "system/settings.h"
#include "system/version.h"

namespace {

// The settings are loaded before the log file opens, so their warnings reach the in-memory
// tail only; the window is the one command that uses them.
Settings start_up() {
    Settings settings = settings::load();
    i18n::set_language(settings.language);
    theme::set_dark(settings.theme == "dark");
    logger::init(paths::config_dir(), version::kProduct);
    crash_handler::set_log_path(logger::file_path());
    logger::info(std::string(version::kProduct) + " " + version::kVersion + " (Build " +
                 version::kBuild + ") — " + paths::package_kind());
    return settings;
}

int dispatch(const Args& args, Settings& settings) {
    if (has_arg(args, "--help") || has_arg(args, "-h")) return cmd_usage();
    if (has_arg(args, "--version")) return cmd_version();
    if (has_arg(args, "--scan")) return cmd_scan(args);
    if (has_arg(args, "--play")) return cmd_play(args);
    if (has_arg(args, "--devices")) return cmd_devices(args);
    if (has_arg(args, "--autostart")) return cmd_autostart(args);
    return cmd_window(args, settings);
}

}  // namespace

int main(int argc, char** argv) {
    crash_handler::install();
    const Args args(argv + 1, argv + argc);
    Settings settings = start_up();
    int status = dispatch(args, settings);
    logger::shutdown();
    return status;
}
