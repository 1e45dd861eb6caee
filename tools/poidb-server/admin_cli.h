#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace poidb {

// "command --name value ... --flag": options keep their last value; a name followed by another
// option or by nothing is a flag with an empty value.
struct CommandLine {
    std::string command;
    std::map<std::string, std::string> options;
    std::vector<std::string> stray;  // words that are not options

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::optional<std::string> Text(const std::string& name) const;
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Runs an administration command (everything but "serve") on its --db file. Messages go to
// standard error, results (ids, counts) to standard output. Gives the exit status.
int RunAdminCommand(const CommandLine& line);

// The usage text of the program.
std::string UsageText();

}  // namespace poidb
