#include "scripted_http_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "loopback.h"

namespace testsupport {

bool HttpConnection::Write(std::string_view bytes) {
    while (!bytes.empty() && fd_ >= 0) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return bytes.empty();
}

void HttpConnection::Reset() {
    if (fd_ < 0) return;
    linger lg{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    close(fd_);
    fd_ = -1;
}

void HttpConnection::Close() {
    if (fd_ < 0) return;
    shutdown(fd_, SHUT_WR);
    close(fd_);
    fd_ = -1;
}

bool SendReply(HttpConnection& conn, std::string_view body, std::string_view extra_headers) {
    // One write: a reply split in two would wait on the peer's delayed acknowledgement.
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n" + std::string(extra_headers) + "\r\n";
    reply.append(body);
    return conn.Write(reply);
}

bool SendChunkedReply(HttpConnection& conn, const std::vector<std::string>& chunks,
                      std::string_view extra_headers) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n" +
                       std::string(extra_headers) + "\r\n";
    if (!conn.Write(head)) return false;
    for (const auto& c : chunks) {
        if (c.empty()) continue;
        char size[32];
        snprintf(size, sizeof size, "%zx\r\n", c.size());
        if (!conn.Write(size) || !conn.Write(c) || !conn.Write("\r\n")) return false;
    }
    return conn.Write("0\r\n\r\n");
}

ScriptedHttpServer::ScriptedHttpServer(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
    listen_fd_ = ListenOnFreeLoopback(port, address_);
    if (listen_fd_ >= 0) acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stopping_ = true;
    if (listen_fd_ >= 0) shutdown(listen_fd_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& w : workers_) w.join();
    if (listen_fd_ >= 0) close(listen_fd_);
}

std::vector<HttpRequest> ScriptedHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ScriptedHttpServer::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        workers_.emplace_back([this, fd] { Serve(fd); });
    }
}

namespace {

// Reads until `buffer` holds at least `want` bytes; false on end of stream or shutdown.
bool Fill(int fd, std::string& buffer, size_t want, const std::atomic<bool>& stopping) {
    char chunk[65536];
    while (buffer.size() < want) {
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, 50);
        if (stopping) return false;
        if (r <= 0) continue;
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

bool ReadRequest(int fd, std::string& buffer, HttpRequest& req, const std::atomic<bool>& stopping) {
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(fd, buffer, buffer.size() + 1, stopping)) return false;
    }
    const std::string head = buffer.substr(0, end);
    buffer.erase(0, end + 4);
    size_t line_end = head.find("\r\n");
    const std::string request_line = head.substr(0, line_end);
    const size_t sp1 = request_line.find(' ');
    const size_t sp2 = request_line.find(' ', sp1 + 1);
    req.method = request_line.substr(0, sp1);
    req.path = request_line.substr(sp1 + 1, sp2 - sp1 - 1);
    while (line_end != std::string::npos) {
        const size_t next = head.find("\r\n", line_end + 2);
        const std::string line = head.substr(line_end + 2, next == std::string::npos ? std::string::npos : next - line_end - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            req.headers[name] = value;
        }
        line_end = next;
    }
    const auto it = req.headers.find("content-length");
    const size_t length = it == req.headers.end() ? 0 : std::strtoul(it->second.c_str(), nullptr, 10);
    if (!Fill(fd, buffer, length, stopping)) return false;
    req.body = buffer.substr(0, length);
    buffer.erase(0, length);
    return true;
}

}  // namespace

void ScriptedHttpServer::Serve(int fd) {
    HttpConnection conn(fd);
    std::string buffer;
    while (conn.open() && !stopping_) {
        HttpRequest req;
        if (!ReadRequest(conn.fd(), buffer, req, stopping_)) break;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(req);
        }
        handler_(req, conn);
    }
    conn.Close();
}

}  // namespace testsupport
