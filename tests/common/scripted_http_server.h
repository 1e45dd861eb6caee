#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// One accepted connection, as the handler sees it: raw bytes out, or an abortive close.
class HttpConnection {
public:
    explicit HttpConnection(int fd) : fd_(fd) {}
    bool Write(std::string_view bytes);
    void Reset();  // close with RST, as a crashed server would
    void Close();
    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    int fd_;
};

// Writes a complete 200 reply with a Content-Length; extra_headers end with "\r\n" each.
bool SendReply(HttpConnection& conn, std::string_view body, std::string_view extra_headers = {});
// Writes a chunked 200 reply whose body is split into the given pieces on the wire.
bool SendChunkedReply(HttpConnection& conn, const std::vector<std::string>& chunks,
                      std::string_view extra_headers = {});

// A real HTTP/1.1 server on a loopback address whose replies the test scripts byte by byte.
// Requests are parsed (request line, headers, Content-Length body) and recorded; the handler
// writes whatever it likes. Connections are kept alive until the handler closes them.
class ScriptedHttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, HttpConnection&)>;

    explicit ScriptedHttpServer(Handler handler, std::uint16_t port = 80);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    bool ok() const { return listen_fd_ >= 0; }
    const std::string& address() const { return address_; }
    std::string BaseUrl() const { return "http://" + address_ + "/"; }
    std::vector<HttpRequest> requests() const;
    int connections_accepted() const { return accepted_.load(); }

private:
    void AcceptLoop();
    void Serve(int fd);

    Handler handler_;
    std::string address_;
    int listen_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    mutable std::mutex mutex_;
    std::vector<HttpRequest> requests_;
};

}  // namespace testsupport
