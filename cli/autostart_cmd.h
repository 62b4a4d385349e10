// `--autostart on|off`: sets the login entry and the desktop shortcut together (with the
// folder of `--folder`, if any), then prints what is in place now. Main thread; status 0.
#pragma once
#include "cli/args.h"

int cmd_autostart(const Args& args);
