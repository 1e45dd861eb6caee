// devagent: the device emulator. Serves a folder as the navigation device's file system over
// the device protocol on a loopback port, until interrupted.
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "devicekit/wire/client_session.h"
#include "tools/cli/program_cli.h"
#include "tools/devagent/agent.h"

namespace {

// The models of devices.ini that are reached through the agent, by their transport code; the
// agent names its model in its welcome. Memory-card models (MA) are plain folders, no agent.
const std::map<std::string, std::string> kModels = {
    {"M1", "a navigator on the maker's USB transfer library (KLX)"},
    {"M2", "a navigator on the transfer protocol (KlxpClnt), the default"},
    {"RA", "a Pocket PC or smartphone reached through the remote API (RAPI)"},
};

std::string ModelList() {
    std::string text = "Models (--model):";
    for (const auto& [code, what] : kModels) {
        text += "\n  ";
        text += code;
        text += "  ";
        text += what;
    }
    return text;
}

int Run(int argc, char** argv) {
    CLI::App app{"devagent: the device emulator. Serves a folder as the navigation device's file system over the "
                 "device protocol on a loopback port, until interrupted (SIGINT, SIGTERM).",
                 "devagent"};
    zcli::Describe(app);
    app.footer(ModelList() + "\n\n" + zcli::kExitStatusFooter);

    devagent::AgentOptions options;
    options.listen = klxpwire::DeviceAddressFromEnvironment();
    std::string navigator = "running";
    bool refuse = false;
    unsigned long long drop_after = 0;
    int fail_copies = 0;
    std::uint32_t slow = 0;
    std::vector<std::string> faults;
    app.add_option("--root", options.root, "the folder served as the device's file system (must exist)")
        ->required()
        ->type_name("DIR");
    app.add_option("--listen", options.listen,
                   "loopback address and port (default $ZARNIK_DEVICE or 127.0.0.1:9470; port 0 picks one)")
        ->type_name("127.0.0.1:PORT");
    app.add_option("--model", options.model, "the device model named in the welcome (see Models below)")
        ->check(CLI::IsMember(kModels))
        ->type_name("M1|M2|RA");
    app.add_option("--navigator", navigator, "state of the navigation program at start")
        ->check(CLI::IsMember({"running", "stopped"}))
        ->type_name("running|stopped");
    app.add_flag("--bare", [&options](std::int64_t) { options.create_layout = false; },
                 "do not create the navigation program's folders and program file");
    app.add_flag("--quiet", [&options](std::int64_t) { options.log_commands = false; }, "no command log on standard error");
    app.add_flag("--refuse-writes", refuse, "every write, delete, move and folder change is refused (write-protected)");
    app.add_option("--drop-after", drop_after, "drop the connection once BYTES of file data have passed (once)")
        ->check(CLI::Range(1ULL, 1ULL << 62))
        ->type_name("BYTES");
    app.add_option("--fail-copies", fail_copies, "the next N file copies fail with an input/output error")
        ->check(CLI::Range(0, 999999))
        ->type_name("N");
    app.add_option("--slow", slow, "limit file transfers to KIB_PER_S kibibytes per second")
        ->check(CLI::Range(1U, 0xffffffffU))
        ->type_name("KIB_PER_S");
    app.add_option("--fault", faults,
                   "arm a fault: fail|corrupt STEP [NTH [TIMES]], midway STEP BYTES [NTH [TIMES]], refuse COUNT "
                   "(STEP: upload, download, copy, move); see docs/device-protocol.md")
        ->type_name("SPEC")
        ->take_all()
        ->allow_extra_args(false);
    app.add_flag("--test-control", options.test_control, "serve the DevAgentFault command, which arms faults while the agent runs");
    app.add_option("--frame-timeout", options.frame_timeout_ms,
                   "the longest wait in milliseconds for the rest of a frame, 1 to 3600000 (default 10000)")
        ->check(CLI::Range(1, 3600000))
        ->type_name("MS");
    if (const int status = zcli::Parse(app, argc, argv); status >= 0) return status;
    options.navigator_running = navigator == "running";

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    devagent::Agent agent(options);
    agent.device().refuse_writes = refuse;
    agent.device().drop_after_bytes = drop_after;
    agent.device().fail_copies = fail_copies;
    agent.device().slow_kib_per_second = slow;
    for (const std::string& fault : faults) {
        std::string reason;
        if (!agent.device().faults.Apply(fault, reason)) {
            std::fprintf(stderr, "devagent: --fault %s: %s\nRun 'devagent --help' for help.\n", fault.c_str(),
                         reason.c_str());
            return zcli::kExitUsage;
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

}  // namespace

int main(int argc, char** argv) {
    return zcli::Guarded("devagent", [&] { return Run(argc, argv); });
}
