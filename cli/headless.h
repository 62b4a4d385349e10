// Headless commands of the command line: playing a folder or one file without a window, and
// listing the output devices. Both run on the main thread and write to the console only.
#pragma once
#include <string>

#include "cli/args.h"

// "--play": 0 after the time limit, 2 for a missing folder or a --file without a full path,
// 3 when the player reports an error; without a time limit it runs until ended from outside.
int cmd_play(const Args& args);
// "--devices": 0 when at least one device is listed, 1 when there is none.
int cmd_devices(const Args& args);

// A duration as "M:SS" or "H:MM:SS"; a negative value or not a number gives "0:00".
std::string hhmmss(double seconds);
