// The identity the built program prints, from the header the build generates, so that tests
// follow a new version without being edited.
#pragma once
#include <string>

#include "system/version.h"

namespace testsupport {

// "1.0.0 (Build 1043)" for version 1.0.0 and build 1043.
inline std::string version_text() {
    return std::string(version::kVersion) + " (Build " + version::kBuild + ")";
}

}  // namespace testsupport
