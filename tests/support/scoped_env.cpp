#include "support/scoped_env.h"

#include <cstdlib>

namespace testsupport {

ScopedEnv::ScopedEnv(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        remember(name);
        unsetenv(name.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
        if (value) setenv(name.c_str(), value->c_str(), 1);
        else unsetenv(name.c_str());
    }
}

void ScopedEnv::set(const std::string& name, const std::string& value) {
    remember(name);
    setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::unset(const std::string& name) {
    remember(name);
    unsetenv(name.c_str());
}

void ScopedEnv::remember(const std::string& name) {
    if (saved_.count(name)) return;
    const char* value = std::getenv(name.c_str());
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace testsupport
