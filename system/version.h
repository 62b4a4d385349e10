// The program's identity, compiled in.
#pragma once

namespace version {

constexpr const char* kProduct = "Quavermill";
constexpr const char* kVersion = "1.0.0";
constexpr const char* kBuild = "1043";

}  // namespace version
