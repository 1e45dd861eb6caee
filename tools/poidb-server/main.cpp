// poidb-server: the reference camera database service and its administration commands.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli/program_cli.h"
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

// Every option becomes a text (or an empty text for a flag), checked by the command itself, so
// the administration commands keep one way of telling what is wrong with a value.
struct OptionSlots {
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
};

void AddOptions(CLI::App* command, const std::vector<poidb::AdminOption>& options, OptionSlots& slots) {
    for (const poidb::AdminOption& option : options) {
        const std::string name = std::string("--") + option.name;
        if (option.value == nullptr) {
            command->add_flag(name, slots.flags[option.name], option.description);
            continue;
        }
        CLI::Option* added = command->add_option(name, slots.values[option.name], option.description);
        added->type_name(option.value);
        if (option.required) added->required();
    }
}

poidb::CommandLine LineOf(const CLI::App* command, const std::vector<poidb::AdminOption>& options,
                          const OptionSlots& slots) {
    poidb::CommandLine line;
    line.command = command->get_name();
    for (const poidb::AdminOption& option : options) {
        if (command->count(std::string("--") + option.name) == 0) continue;
        line.options[option.name] = option.value == nullptr ? std::string() : slots.values.at(option.name);
    }
    return line;
}

int Run(int argc, char** argv) {
    CLI::App app{"poidb-server: the reference camera database service on SQLite, and its administration.",
                 "poidb-server"};
    zcli::Describe(app);
    app.require_subcommand(1);

    const std::vector<poidb::AdminOption> serveOptions = {
        {"address", "A", "loopback or other address to listen on", true},
        {"port", "PORT", "port, 0 to 65535 (default 80; 0 picks one)", false},
        {"db", "FILE", "the database file (created when missing)", true},
        {"threads", "N", "worker threads, 1 to 1024", false},
        {"max-body", "BYTES", "largest request body accepted", false},
        {"request-timeout", "SECONDS", "longest wait for a request, 1 to 3600", false},
        {"max-connections", "N", "connections served at once", false},
        {"quiet", nullptr, "no request log on standard error", false},
    };
    std::map<std::string, OptionSlots> slots;
    std::function<int()> run;
    CLI::App* serve = app.add_subcommand("serve", "serve the database over HTTP until SIGINT or SIGTERM; each request "
                                                  "is logged on standard error with its time");
    AddOptions(serve, serveOptions, slots["serve"]);
    serve->callback([&] { run = [&] { return Serve(LineOf(serve, serveOptions, slots["serve"])); }; });
    for (const poidb::AdminCommand& admin : poidb::AdminCommands()) {
        CLI::App* command = app.add_subcommand(admin.name, admin.description);
        AddOptions(command, admin.options, slots[admin.name]);
        command->callback([&run, command, &admin, &slots] {
            run = [command, &admin, &slots] {
                return poidb::RunAdminCommand(LineOf(command, admin.options, slots[admin.name]));
            };
        });
    }
    if (const int status = zcli::CheckCommandWord(app, argc, argv); status >= 0) return status;
    if (const int status = zcli::Parse(app, argc, argv); status >= 0) return status;
    return run ? run() : zcli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    return zcli::Guarded("poidb-server", [&] { return Run(argc, argv); });
}
