#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace poidb {

class ConnectionPool;
class GuardedServer;
class OfficialListCache;
class SessionTable;
struct ServiceContext;

inline constexpr std::size_t kDefaultMaxBody = std::size_t{1024} * 1024;
// Above this the library answers every request with an error: it waits on sockets with
// select(), which takes no descriptor past 1023, and the store holds descriptors too.
inline constexpr std::size_t kMostConnections = 900;

struct ServerOptions {
    std::string address = "127.0.0.1";
    int port = 80;  // 0 picks a free port
    std::string db_path;
    std::size_t threads = 32;
    std::size_t max_body = kDefaultMaxBody;
    // From a request's first byte to the end of its body; a client slower than that is dropped.
    std::chrono::milliseconds request_timeout{std::chrono::seconds(5)};
    std::size_t max_connections = 512;
    bool log_requests = true;
};

// The database service: opens the store and binds its address in Open, serves in Run until
// Stop is called (from any thread). Requests in flight finish before Run returns.
class PoiServer {
public:
    PoiServer();
    ~PoiServer();
    PoiServer(const PoiServer&) = delete;
    PoiServer& operator=(const PoiServer&) = delete;

    bool Open(const ServerOptions& options, std::string& error);
    int port() const { return port_; }
    const std::string& address() const { return options_.address; }
    bool Run();
    void Stop();

private:
    ServerOptions options_;
    int port_ = 0;
    std::atomic<bool> run_requested_{false};
    std::atomic<bool> stop_requested_{false};
    std::unique_ptr<ConnectionPool> pool_;
    std::unique_ptr<SessionTable> sessions_;
    std::unique_ptr<OfficialListCache> official_list_;
    std::unique_ptr<ServiceContext> context_;
    std::unique_ptr<GuardedServer> http_;
};

// "http://ADDRESS/" (with ":PORT" when the port is not 80): the default server address text.
std::string DefaultServerUrl(const std::string& address, int port);

}  // namespace poidb
