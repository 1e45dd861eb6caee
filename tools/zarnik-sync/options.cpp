#include "options.h"

#include <algorithm>

namespace zsync {

namespace {
bool Contains(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}
}  // namespace

bool ParsedArgs::Has(const std::string& flag) const { return Contains(flags, flag); }

std::string ParsedArgs::ValueOr(const std::string& option, const std::string& fallback) const {
    const auto it = values.find(option);
    return it == values.end() ? fallback : it->second;
}

bool ParseArgs(const Args& args, const std::vector<std::string>& withValue, const std::vector<std::string>& flags,
               ParsedArgs& out, std::string& error) {
    out = {};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
            out.positional.push_back(word);
        } else if (Contains(withValue, word)) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = word + " needs a value";
                return false;
            }
            out.values[word] = args[++i];
        } else if (Contains(flags, word)) {
            out.flags.push_back(word);
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

}  // namespace zsync
