#include "cli/con.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace con {

void print(const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(1, p, left);
        if (n < 1) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int len = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (len > 0) {
        std::vector<char> buf(static_cast<size_t>(len) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        print(std::string(buf.data(), static_cast<size_t>(len)));
    }
    va_end(args);
}

}  // namespace con
