// Writes Quavermill_crash.txt when a fatal signal arrives, then lets the signal end the process
// as it would have without the handler. The handler uses only async-signal-safe calls and reads
// buffers that are filled before any crash can be handled. A symbolic link, a file of another
// user or anything but a regular file at the report's place is left as it is, without a report.
// Main thread, before any other thread starts; no lock (the handler must not take one). A
// report that cannot be written is given up silently: the signal still ends the process.
#pragma once
#include <string>

namespace crash_handler {

// Fixes the report path and installs the handler; the first call in main.
void install();
// Remembers the log file's path for the report (cut to 1023 bytes).
void set_log_path(const std::string& path);

}  // namespace crash_handler
