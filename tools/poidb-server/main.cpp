// poidb-server: the reference camera database service and its administration commands.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tools/poidb-server/admin_cli.h"
#include "tools/poidb-server/server.h"
#include "tools/poidb-server/text_rules.h"

namespace {

// An optional whole-number option within [low, high]; says why on standard error when not.
bool RangeOption(const poidb::CommandLine& line, const char* name, std::int32_t low, std::int32_t high,
                 std::int32_t& value) {
    const auto text = line.Text(name);
    if (!text) return true;
    if (poidb::ParseInt32(*text, value) && value >= low && value <= high) return true;
    std::fprintf(stderr, "poidb-server serve: --%s must be a whole number from %d to %d\n", name, low, high);
    return false;
}

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
    std::int32_t threads = static_cast<std::int32_t>(options.threads);
    std::int32_t max_body = static_cast<std::int32_t>(options.max_body);
    std::int32_t timeout = static_cast<std::int32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(options.request_timeout).count());
    std::int32_t connections = static_cast<std::int32_t>(options.max_connections);
    constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
    if (!RangeOption(line, "port", 0, 65535, options.port) || !RangeOption(line, "threads", 1, 1024, threads) ||
        !RangeOption(line, "max-body", 1, kMaxInt, max_body) || !RangeOption(line, "request-timeout", 1, 3600, timeout) ||
        !RangeOption(line, "max-connections", 1, static_cast<std::int32_t>(poidb::kMostConnections), connections)) {
        return false;
    }
    options.threads = static_cast<std::size_t>(threads);
    options.max_body = static_cast<std::size_t>(max_body);
    options.request_timeout = std::chrono::seconds(timeout);
    options.max_connections = static_cast<std::size_t>(connections);
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
