// poidb-server: the reference camera database service and its administration commands.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/poidb-server/admin_cli.h"
#include "tools/poidb-server/server.h"
#include "tools/poidb-server/text_rules.h"

namespace {

bool ReadServeOptions(const poidb::CommandLine& line, poidb::ServerOptions& options) {
    const auto address = line.Text("address");
    const auto db = line.Text("db");
    if (!address || address->empty() || !db || db->empty()) {
        std::fprintf(stderr, "poidb-server serve: --address and --db are required\n");
        return false;
    }
    options.address = *address;
    options.db_path = *db;
    options.log_requests = !line.Has("quiet");
    std::int32_t number = 0;
    if (const auto port = line.Text("port")) {
        if (!poidb::ParseInt32(*port, number) || number < 0 || number > 65535) {
            std::fprintf(stderr, "poidb-server serve: --port must be 0..65535\n");
            return false;
        }
        options.port = number;
    }
    if (const auto threads = line.Text("threads")) {
        if (!poidb::ParseInt32(*threads, number) || number < 1 || number > 1024) {
            std::fprintf(stderr, "poidb-server serve: --threads must be 1..1024\n");
            return false;
        }
        options.threads = static_cast<std::size_t>(number);
    }
    if (const auto max_body = line.Text("max-body")) {
        if (!poidb::ParseInt32(*max_body, number) || number < 1) {
            std::fprintf(stderr, "poidb-server serve: --max-body must be a positive number of bytes\n");
            return false;
        }
        options.max_body = static_cast<std::size_t>(number);
    }
    return true;
}

int Serve(const poidb::CommandLine& line) {
    poidb::ServerOptions options;
    if (!ReadServeOptions(line, options)) return 2;
    // Termination signals are taken by one waiting thread rather than a handler, so stopping
    // runs as ordinary code; every thread started from here on inherits the blocked mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    poidb::PoiServer server;
    std::string error;
    if (!server.Open(options, error)) {
        std::fprintf(stderr, "poidb-server: %s\n", error.c_str());
        return 1;
    }
    std::thread stopper([&server, &stop_signals] {
        int received = 0;
        sigwait(&stop_signals, &received);
        server.Stop();
    });
    std::fprintf(stderr, "listening on %s:%d\n", server.address().c_str(), server.port());
    const bool served = server.Run();
    // Wakes the waiting thread when the server ended on its own.
    kill(getpid(), SIGTERM);
    stopper.join();
    std::fprintf(stderr, "poidb-server: stopped\n");
    return served ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const poidb::CommandLine line = poidb::ParseCommandLine(args);
    if (line.command.empty() || line.command == "help" || line.Has("help")) {
        std::fputs(poidb::UsageText().c_str(), line.command.empty() ? stderr : stdout);
        return line.command.empty() ? 2 : 0;
    }
    if (line.command == "serve") return Serve(line);
    return poidb::RunAdminCommand(line);
}
