// devagent: the device emulator. Serves a folder as the navigation device's file system over
// the device protocol on a loopback port, until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devicekit/wire/client_session.h"
#include "tools/devagent/agent.h"

namespace {

void Usage() {
    std::fputs(
        "usage: devagent --root DIR [--listen 127.0.0.1:PORT] [--model NAME]\n"
        "                [--navigator running|stopped] [--bare] [--quiet]\n"
        "                [--refuse-writes] [--drop-after BYTES] [--fail-copies N] [--slow KIB_PER_S]\n"
        "                [--fault SPEC]... [--test-control] [--frame-timeout MS]\n"
        "  --listen        loopback address and port (default $ZARNIK_DEVICE or 127.0.0.1:9470; port 0 picks one)\n"
        "  --bare          do not create the navigation program's folders and program file\n"
        "  --refuse-writes every write, delete, move and folder change is refused (write-protected storage)\n"
        "  --drop-after    drop the connection once BYTES of file data have passed (once)\n"
        "  --fail-copies   the next N file copies fail with an input/output error\n"
        "  --slow          limit file transfers to KIB_PER_S kibibytes per second\n"
        "  --fault         arm a fault: fail|corrupt STEP [NTH [TIMES]], midway STEP BYTES [NTH [TIMES]],\n"
        "                  refuse COUNT (STEP: upload, download, copy, move); see docs/device-protocol.md\n"
        "  --test-control  serve the DevAgentFault command, which arms faults while the agent runs\n"
        "  --frame-timeout the longest wait in milliseconds for the rest of a frame (default 10000)\n",
        stderr);
}

bool ParseNumber(const char* text, unsigned long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
    devagent::AgentOptions options;
    options.listen = klxpwire::DeviceAddressFromEnvironment();
    bool refuse = false;
    unsigned long long drop_after = 0, fail_copies = 0, slow = 0;
    std::vector<std::string> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        unsigned long long number = 0;
        if (arg == "--root" && has_value) options.root = argv[++i];
        else if (arg == "--listen" && has_value) options.listen = argv[++i];
        else if (arg == "--model" && has_value) options.model = argv[++i];
        else if (arg == "--navigator" && has_value && std::strcmp(argv[i + 1], "running") == 0) options.navigator_running = (++i, true);
        else if (arg == "--navigator" && has_value && std::strcmp(argv[i + 1], "stopped") == 0) options.navigator_running = (++i, false);
        else if (arg == "--bare") options.create_layout = false;
        else if (arg == "--quiet") options.log_commands = false;
        else if (arg == "--refuse-writes") refuse = true;
        else if (arg == "--drop-after" && has_value && ParseNumber(argv[i + 1], number) && number > 0) drop_after = (++i, number);
        else if (arg == "--fail-copies" && has_value && ParseNumber(argv[i + 1], number) && number < 1000000) fail_copies = (++i, number);
        else if (arg == "--fault" && has_value) faults.emplace_back(argv[++i]);
        else if (arg == "--test-control") options.test_control = true;
        else if (arg == "--frame-timeout" && has_value && ParseNumber(argv[i + 1], number) && number > 0 && number <= 3600000)
            options.frame_timeout_ms = (++i, static_cast<int>(number));
        else if (arg == "--slow" && has_value && ParseNumber(argv[i + 1], number) && number > 0 && number < (1ULL << 32)) slow = (++i, number);
        else {
            std::fprintf(stderr, "devagent: unknown or incomplete option: %s\n", arg.c_str());
            Usage();
            return 2;
        }
    }
    if (options.root.empty()) {
        Usage();
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    devagent::Agent agent(options);
    agent.device().refuse_writes = refuse;
    agent.device().drop_after_bytes = drop_after;
    agent.device().fail_copies = static_cast<int>(fail_copies);
    agent.device().slow_kib_per_second = static_cast<std::uint32_t>(slow);
    for (const std::string& fault : faults) {
        std::string reason;
        if (!agent.device().faults.Apply(fault, reason)) {
            std::fprintf(stderr, "devagent: --fault %s: %s\n", fault.c_str(), reason.c_str());
            Usage();
            return 2;
        }
    }
    std::string error;
    if (!agent.Start(error)) {
        std::fprintf(stderr, "devagent: %s\n", error.c_str());
        return 1;
    }
    std::printf("devagent: listening on %s, device folder %s, model %s\n", agent.address().c_str(),
                options.root.c_str(), options.model.c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    agent.Stop();
    return 0;
}
