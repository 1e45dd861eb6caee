#include "tools/poidb-server/server.h"

#include <httplib.h>

#include <chrono>
#include <thread>

#include "tools/poidb-server/connection_pool.h"
#include "tools/poidb-server/endpoints.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/sessions.h"

namespace poidb {

namespace {

constexpr std::size_t kSpareConnections = 4;
constexpr time_t kReadTimeoutSeconds = 10;
// An idle kept-alive connection holds a worker, and stopping waits for it: keep this short.
constexpr time_t kKeepAliveSeconds = 3;

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
    http_ = std::make_unique<httplib::Server>();
    const std::size_t threads = options.threads;
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http_->set_payload_max_length(options.max_body);
    http_->set_read_timeout(kReadTimeoutSeconds, 0);
    http_->set_tcp_nodelay(true);
    http_->set_keep_alive_timeout(kKeepAliveSeconds);
    if (options.port == 0) {
        port_ = http_->bind_to_any_port(options.address);
        if (port_ <= 0) {
            error = "cannot listen on " + options.address;
            return false;
        }
    } else {
        if (!http_->bind_to_port(options.address, options.port)) {
            error = "cannot listen on " + options.address + ":" + std::to_string(options.port);
            return false;
        }
        port_ = options.port;
    }
    context_ = std::make_unique<ServiceContext>(
        ServiceContext{*pool_, *sessions_, DefaultServerUrl(options.address, port_), options.log_requests});
    RegisterStartupEndpoints(*http_, *context_);
    RegisterSyncEndpoints(*http_, *context_);
    SetUpErrorReplies(*http_, *context_);
    return true;
}

bool PoiServer::Run() {
    if (http_ == nullptr) return false;
    run_requested_ = true;
    if (stop_requested_) return true;
    return http_->listen_after_bind();
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
