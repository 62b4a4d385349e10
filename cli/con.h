// Console output without buffering: text reaches the terminal at once and in call order, so a
// line beginning with "\r" overwrites the terminal line immediately. Any thread, no lock (each
// call is a run of write(2) calls, so lines of two threads may interleave); a failing write
// drops the rest of its text silently.
#pragma once
#include <string>

namespace con {

// Writes all bytes to standard output; a failing write drops the rest silently.
void print(const std::string& text);
void printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace con
