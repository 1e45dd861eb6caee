// zarnik-sync: the headless tool. Each command lives in a cmd_<group>.cpp; this file only
// finds the command and runs it.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace zsync {

namespace {

const Command kCommands[] = {
    {"build-mtc", "[--cache F] [--out F]",
     "build the speed-camera file from a camera cache (default .\\local.cache -> .\\zarniks.mtc)", RunBuildMtc},
    {"count-mtc", "F", "print the number of cameras in the speed-camera file F", RunCountMtc},
    {"sync", "[--pc-only]",
     "synchronise the device of the chosen model with the service; with --pc-only the working folder "
     "($ZARNIK_HOME) alone: .\\poiupdates.upd in, .\\zarniks.mtc out",
     RunSync},
    {"status", "",
     "the start-up exchanges with the service (alerts, information messages, version) and the counts of "
     "the service and the PC",
     RunStatus},
    {"settings", "[show | set [--url U] [--name N] [--serial S] [--email E] [--device D] [--language L]]",
     "show or set the registration data, service folder, device model and language", RunSettings},
};

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: zarnik-sync COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(to, "  %s %s\n      %s\n", c.name, c.synopsis, c.summary);
    std::fprintf(to, "  help\n      show this text\n");
}

}  // namespace

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "zarnik-sync: %s\n", message.c_str());
    return status;
}

}  // namespace zsync

int main(int argc, char** argv) {
    using namespace zsync;
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) return c.run(Args(argv + 2, argv + argc));
    }
    Fail(kExitUsage, "unknown command " + name);
    PrintUsage(stderr);
    return kExitUsage;
}
