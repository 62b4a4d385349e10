// Numbers read from text (options, the settings file). A value that no float can hold (nan,
// an infinity, or beyond the float range) reads like text that is no number: 0. Pure; any thread.
#pragma once
#include <cfloat>
#include <cmath>

namespace numbers {

inline float finite_float(double v) {
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX ? static_cast<float>(v) : 0.0f;
}

}  // namespace numbers
