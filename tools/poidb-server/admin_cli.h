#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace poidb {

// A command and the options given to it ("db" -> "poi.db"); a flag has an empty value. The
// command-line parser has already refused unknown options and missing required ones.
struct CommandLine {
    std::string command;
    std::map<std::string, std::string> options;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::optional<std::string> Text(const std::string& name) const;
};

// What the command line knows of an administration command's options.
struct AdminOption {
    const char* name;  // without the leading "--"
    const char* value;  // the kind of value for the help text; nullptr for a flag
    const char* description;
    bool required;
};

struct AdminCommand {
    const char* name;
    const char* description;
    bool createsDatabase;  // only these make a database file that does not exist yet
    std::vector<AdminOption> options;  // --db comes first in every command
};

// The administration commands (everything but "serve") in the order of the help text.
const std::vector<AdminCommand>& AdminCommands();

// Runs an administration command on its --db file. Messages go to standard error, results
// (labelled ids and counts) to standard output. Gives the exit status: 0, 1 for a failure
// (among them a database file that does not exist, for every command but those that create
// one), 2 for a bad value.
int RunAdminCommand(const CommandLine& line);

}  // namespace poidb
