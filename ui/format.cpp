#include "ui/format.h"

#include <cstdio>

namespace ui {

namespace {
constexpr double kMaxSeconds = 100 * 3600.0;
}

std::string with_thousands(uint64_t n) {
    std::string digits = std::to_string(n);
    for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, '.');
    return digits;
}

std::string hhmmss(double seconds) {
    char text[16];
    if (!(seconds >= 0 && seconds <= kMaxSeconds)) {
        std::snprintf(text, sizeof text, "%d:%02d", 0, 0);
        return text;
    }
    const int n = static_cast<int>(seconds);
    if (n < 3600)
        std::snprintf(text, sizeof text, "%d:%02d", n / 60, n % 60);
    else
        std::snprintf(text, sizeof text, "%d:%02d:%02d", n / 3600, n / 60 % 60, n % 60);
    return text;
}

}  // namespace ui
