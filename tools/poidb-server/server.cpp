#include "tools/poidb-server/server.h"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tools/poidb-server/connection_pool.h"
#include "tools/poidb-server/endpoints.h"
#include "tools/poidb-server/guarded_server.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/sessions.h"

namespace poidb {

namespace {

constexpr std::size_t kSpareConnections = 4;
constexpr std::chrono::seconds kKeepAlive{3};

// Only SO_REUSEADDR: the library's default adds SO_REUSEPORT, with which a second service on
// the same address binds without complaint and the kernel shares the clients between both.
void ExclusiveAddress(socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

void SetUpErrorReplies(httplib::Server& http, ServiceContext& context) {
    // Refusals that happen before any handler runs (unknown path, body too large) still get a
    // reply text and a log line.
    http.set_error_handler([&context](const httplib::Request& req, httplib::Response& res) {
        const std::string text = res.status == 413 ? "ERROR:Request_Too_Large" : "ERROR:Not_Found";
        res.set_content(text, "text/plain");
        if (!context.log_requests) return;
        RequestInfo info;
        info.method = req.method;
        info.path = req.path;
        info.status = res.status;
        info.bytes = text.size();
        LogRequest(info);
    });
}

// Why the bind failed, as the system told it.
std::string BindFailure() { return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string(); }

}  // namespace

PoiServer::PoiServer() = default;
PoiServer::~PoiServer() = default;

std::string DefaultServerUrl(const std::string& address, int port) {
    return "http://" + address + (port == 80 ? std::string() : ":" + std::to_string(port)) + "/";
}

bool PoiServer::Open(const ServerOptions& options, std::string& error) {
    options_ = options;
    {
        // Creates the file and its tables once; the pool's connections then only open it.
        Database db;
        if (!OpenStore(db, options.db_path, true, error)) {
            error = "cannot open database " + options.db_path + ": " + error;
            return false;
        }
    }
    pool_ = std::make_unique<ConnectionPool>(options.db_path, options.threads + kSpareConnections);
    sessions_ = std::make_unique<SessionTable>();
    official_list_ = std::make_unique<OfficialListCache>();
    ConnectionLimits limits;
    limits.request_time = options.request_timeout;
    limits.idle_time = kKeepAlive;
    limits.body_bytes = options.max_body;
    limits.connections = options.max_connections;
    limits.workers = options.threads;
    http_ = std::make_unique<GuardedServer>(limits);
    http_->set_payload_max_length(options.max_body);
    http_->set_tcp_nodelay(true);
    http_->set_socket_options(ExclusiveAddress);
    errno = 0;
    if (options.port == 0) {
        port_ = http_->bind_to_any_port(options.address);
        if (port_ <= 0) {
            error = "cannot listen on " + options.address + BindFailure();
            return false;
        }
    } else {
        if (!http_->bind_to_port(options.address, options.port)) {
            error = "cannot listen on " + options.address + ":" + std::to_string(options.port) + BindFailure();
            return false;
        }
        port_ = options.port;
    }
    context_ = std::make_unique<ServiceContext>(ServiceContext{*pool_, *sessions_, *official_list_,
                                                               DefaultServerUrl(options.address, port_),
                                                               options.max_body, options.log_requests});
    RegisterStartupEndpoints(*http_, *context_);
    RegisterSyncEndpoints(*http_, *context_);
    RegisterFallbacks(*http_, *context_);
    SetUpErrorReplies(*http_, *context_);
    return true;
}

bool PoiServer::Run() {
    if (http_ == nullptr) return false;
    run_requested_ = true;
    if (stop_requested_) return true;
    return http_->Serve();
}

void PoiServer::Stop() {
    stop_requested_ = true;
    if (http_ == nullptr || !run_requested_) return;
    // The listener may not be up yet when Stop follows Run closely; stopping earlier would be
    // lost and leave Run serving for ever.
    for (int i = 0; i < 500 && !http_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    http_->stop();
}

}  // namespace poidb
