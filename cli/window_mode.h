// The window mode of the command line: one window per user (an advisory lock on a file in the
// configuration folder), the overrides that --folder applies to the loaded settings, and the
// hand-over to the window shell. Main thread only.
#pragma once
#include "cli/args.h"
#include "system/settings.h"

// True when this process may open the window: it holds the lock from now until it ends, or the
// lock file could not be opened at all (a window without the lock beats no window).
bool claim_single_instance();
// With --folder, the rule options given beside it replace the loaded values in memory; without
// it, nothing changes.
void apply_folder_overrides(const Args& args, Settings& settings);
// The whole window mode; the process exit status.
int cmd_window(const Args& args, Settings& settings);
