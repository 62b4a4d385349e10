// Clears a set of environment variables for one test and restores their values at the end, so
// that code reading the environment sees only what the test sets. Not for concurrent use.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ScopedEnv {
public:
    explicit ScopedEnv(const std::vector<std::string>& names);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets one variable; it is restored with the others even when it was not in the list.
    void set(const std::string& name, const std::string& value);
    // Removes one variable, restored like the others.
    void unset(const std::string& name);

private:
    void remember(const std::string& name);
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace testsupport
