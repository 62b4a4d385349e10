// How often a text stands in the recent lines of this process's log, for tests that follow the
// program's threads through what they log.
#pragma once
#include <cstddef>
#include <string>

#include "system/logger.h"

namespace testsupport {

// The lines among the last 500 that contain `text`.
inline size_t log_count(const std::string& text) {
    size_t n = 0;
    for (const std::string& line : logger::tail(500))
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

}  // namespace testsupport
