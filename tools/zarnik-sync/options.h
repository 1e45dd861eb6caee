#pragma once
#include <map>
#include <string>
#include <vector>

#include "commands.h"

namespace zsync {

struct ParsedArgs {
    std::map<std::string, std::string> values;  // "--name" -> value
    std::vector<std::string> flags;             // "--name" without a value
    std::vector<std::string> positional;

    bool Has(const std::string& flag) const;
    std::string ValueOr(const std::string& option, const std::string& fallback) const;
};

// Splits a command's words into "--option VALUE" (for the options named in withValue), bare
// "--flags" (those named in flags) and positional words. Anything else is an error, described
// in `error`.
bool ParseArgs(const Args& args, const std::vector<std::string>& withValue, const std::vector<std::string>& flags,
               ParsedArgs& out, std::string& error);

}  // namespace zsync
