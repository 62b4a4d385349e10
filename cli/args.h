// Reading the command line: options are looked up by name anywhere in the argument list, as
// "--key value" or "--key=value"; arguments that are no option are ignored.
// Pure functions of the argument list; any thread, no lock. Nothing fails: a missing or
// unreadable value gives the stated fallback.
#pragma once
#include <string>
#include <vector>

#include "core/filters.h"

using Args = std::vector<std::string>;

// True if an argument equals `key` or begins with `key` followed by "=".
bool has_arg(const Args& args, const std::string& key);
// The first value given for `key`, else `fallback`.
std::string arg_value(const Args& args, const std::string& key, const std::string& fallback);
// The selection rules from the defaults and the rule options, with `folder` as the root.
FilterSet filters_from_args(const Args& args, const std::string& folder);
// An option value read as a base-10 integer narrowed to 32 bits; text that is no number is 0.
int int_value(const Args& args, const std::string& key, const std::string& fallback);
// An option value read as a number, `fallback` when none is given; nan, infinities and values
// beyond the float range read like text that is no number: 0.
float float_value(const Args& args, const std::string& key, float fallback);
