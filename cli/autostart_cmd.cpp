#include "cli/autostart_cmd.h"

#include <string>

#include "cli/con.h"
#include "core/scanner.h"
#include "system/autostart_linux.h"
#include "system/paths.h"

int cmd_autostart(const Args& args) {
    const bool on = arg_value(args, "--autostart", "") != "off";
    const std::string folder = scanner::normalize(arg_value(args, "--folder", ""));
    const std::string extra = folder.empty() ? "" : "--folder \"" + paths::display(folder) + "\"";
    // The outcome is read back below rather than taken from these results, so the lines
    // show what is in place even when an entry was already there.
    autostart::set(on, extra);
    autostart::desktop_shortcut(on, extra);
    const std::string suffix = autostart::enabled() ? "  →  " + autostart::command() : "";
    con::printf("Autostart: %s%s\n", autostart::enabled() ? "an" : "aus", suffix.c_str());
    con::printf("Desktop-Verknuepfung: %s\n", autostart::has_desktop_shortcut() ? "da" : "keine");
    return 0;
}
