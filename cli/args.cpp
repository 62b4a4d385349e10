#include "cli/args.h"

#include <cstdlib>

#include "core/numbers.h"
#include "core/scanner.h"
#include "core/timeutil.h"

namespace {

bool starts_with_assignment(const std::string& arg, const std::string& key) {
    return arg.size() > key.size() && arg.compare(0, key.size(), key) == 0 && arg[key.size()] == '=';
}

// A clock-time option, or `fallback` (the record's default) when it is absent or no valid
// clock time.
int32_t clock_value(const Args& args, const std::string& key, int32_t fallback) {
    int32_t minutes = timeutil::parse_hhmm(arg_value(args, key, ""));
    return minutes >= 0 ? minutes : fallback;
}

// The first value given for `key`; null when there is none.
const std::string* find_value(const Args& args, const std::string& key, std::string* assigned) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == key && i + 1 < args.size()) return &args[i + 1];
        if (starts_with_assignment(args[i], key)) return &(*assigned = args[i].substr(key.size() + 1));
    }
    return nullptr;
}

}  // namespace

bool has_arg(const Args& args, const std::string& key) {
    for (const auto& arg : args)
        if (arg == key || starts_with_assignment(arg, key)) return true;
    return false;
}

std::string arg_value(const Args& args, const std::string& key, const std::string& fallback) {
    std::string assigned;
    const std::string* value = find_value(args, key, &assigned);
    return value ? *value : fallback;
}

int int_value(const Args& args, const std::string& key, const std::string& fallback) {
    return static_cast<int>(std::strtol(arg_value(args, key, fallback).c_str(), nullptr, 10));
}

float float_value(const Args& args, const std::string& key, float fallback) {
    std::string assigned;
    const std::string* value = find_value(args, key, &assigned);
    return value ? numbers::finite_float(std::strtod(value->c_str(), nullptr)) : fallback;
}

FilterSet filters_from_args(const Args& args, const std::string& folder) {
    FilterSet rules;
    rules.root = scanner::normalize(folder);
    rules.patterns = arg_value(args, "--pattern", "*.mp3");
    rules.recursive = !has_arg(args, "--no-recursive");
    rules.window.from = clock_value(args, "--from", rules.window.from);
    rules.window.to = clock_value(args, "--to", rules.window.to);
    rules.win_files = !has_arg(args, "--no-window-files");
    rules.win_play = !has_arg(args, "--no-window-play");
    return rules;
}
