#pragma once
#include <string>
#include <vector>

namespace zsync {

using Args = std::vector<std::string>;  // the words after the command name

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for the usage text
    const char* summary;
    int (*run)(const Args& args);
};

// One group per file (cmd_<group>.cpp); main.cpp lists them in its command table.
int RunBuildMtc(const Args& args);
int RunCountMtc(const Args& args);
int RunSync(const Args& args);
int RunStatus(const Args& args);
int RunSettings(const Args& args);

// Prints "zarnik-sync: <message>" on stderr and gives the status to exit with.
int Fail(int status, const std::string& message);

}  // namespace zsync
