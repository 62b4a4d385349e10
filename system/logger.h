// The run's log: one line per message ("HH:MM:SS", level tag, text) into the log file, flushed
// at once, and into an in-memory tail of the last 500 lines. Callable from every thread, before
// init (tail only) and after shutdown (tail only). The logger mutex is a leaf lock.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace logger {

// Opens dir/name.log, truncating it, for appending (another start may empty it meanwhile);
// does nothing while a log file is open.
void init(const std::string& dir, const std::string& name);
void shutdown();
std::string file_path();

void info(const std::string& text);
void warn(const std::string& text);
void error(const std::string& text);

// The newest min(n, held) lines, oldest first.
std::vector<std::string> tail(size_t n);

}  // namespace logger
