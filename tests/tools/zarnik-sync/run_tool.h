#pragma once
#include <string>
#include <vector>

namespace tooltest {

struct ToolRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs build/bin/zarnik-sync with the arguments in the given working folder and collects
// what it printed.
ToolRun RunZarnikSync(const std::vector<std::string>& args, const std::string& workingFolder);

// The same for any program (looked up in PATH when the name has no slash); status 127 when it
// could not be started.
ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workingFolder);

// Runs build/bin/zarnik-sync and sends it the signal once its standard error holds `waitFor`
// (never, when it ends first); then waits for it to end.
ToolRun RunZarnikSyncSignalled(const std::vector<std::string>& args, const std::string& workingFolder,
                               const std::string& waitFor, int signal);

// Starts build/bin/zarnik-sync without waiting for it, its output dropped; gives its process id.
int StartZarnikSync(const std::vector<std::string>& args, const std::string& workingFolder);

}  // namespace tooltest
