// The commands of the command line that need no player: each prints its German console texts
// and returns the process exit status. Main thread only, no lock; failures are reported by the
// status and on the console, never thrown.
#pragma once
#include "cli/args.h"

// The usage text and the version line; both end with status 0.
int cmd_usage();
int cmd_version();
// Lists what the rules from the command line select: 0 matches found, 1 none, 2 no folder,
// 3 folder not reachable.
int cmd_scan(const Args& args);
