#include "tools/poidb-server/guarded_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace poidb {

using Clock = std::chrono::steady_clock;

struct Connection {
    int fd = -1;
    std::string pending;      // received and not yet taken by a request
    std::size_t scanned = 0;  // bytes of `pending` already searched for the end of the headers
    Clock::time_point deadline;
    int served = 0;
};

namespace {

constexpr std::size_t kReceiveBytes = std::size_t{16} * 1024;
constexpr std::string_view kHeadersEnd = "\r\n\r\n";
// The longest the polling thread sleeps; deadlines are checked at least this often.
constexpr std::chrono::milliseconds kLongestPoll{1000};

int MillisecondsUntil(Clock::time_point moment) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(moment - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

// Waits up to `timeout` milliseconds for `events` (or an error, which the next call on the
// socket then tells); false when the time ran out.
bool WaitFor(int fd, short events, int timeout) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int ready = poll(&p, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        return ready != 0;
    }
}

void AddressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, raw, &length) : getsockname(fd, raw, &length)) != 0) return;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(raw, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return;
    }
    ip = host;
    port = std::atoi(service);
}

// True once the request line and headers are all in `pending`.
bool HeadersComplete(Connection& connection) {
    const std::size_t from = connection.scanned >= kHeadersEnd.size() ? connection.scanned - (kHeadersEnd.size() - 1) : 0;
    connection.scanned = connection.pending.size();
    return connection.pending.find(kHeadersEnd, from) != std::string::npos;
}

// The body is taken as the client sent it, whatever it declares: the client labels its plain
// texts as form data, and the library would otherwise parse form and multipart bodies itself
// (capping form bodies at 8 KiB) and inflate compressed ones beyond any limit.
void TakeBodyAsSent(httplib::Request& req) {
    req.headers.erase("Content-Type");
    req.headers.erase("Content-Encoding");
}

// One request's view of its connection: reads come from the bytes the polling thread received,
// then from the socket, until the request's deadline or byte budget is spent.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(Connection& connection, std::size_t budget, std::chrono::milliseconds write_time)
        : connection_(connection), budget_(budget), write_time_(write_time) {}

    bool is_readable() const override {
        return taken_ < connection_.pending.size() || WaitFor(connection_.fd, POLLIN, 0);
    }
    bool is_writable() const override { return !broken_ && WaitFor(connection_.fd, POLLOUT, WriteWait()); }

    ssize_t read(char* ptr, size_t size) override {
        if (broken_ || ended_) return broken_ ? -1 : 0;
        if (taken_ == connection_.pending.size() && !Receive()) return broken_ ? -1 : 0;
        if (used_ == budget_) {
            broken_ = true;
            return -1;
        }
        const std::size_t n = std::min({size, connection_.pending.size() - taken_, budget_ - used_});
        std::memcpy(ptr, connection_.pending.data() + taken_, n);
        taken_ += n;
        used_ += n;
        return static_cast<ssize_t>(n);
    }

    // All or nothing: the library does not always write the rest of a short write.
    ssize_t write(const char* ptr, size_t size) override {
        std::size_t sent = 0;
        while (sent < size && !broken_) {
            const ssize_t n = send(connection_.fd, ptr + sent, size - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            const bool full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (!(n < 0 && errno == EINTR) && !(full && WaitFor(connection_.fd, POLLOUT, WriteWait()))) broken_ = true;
        }
        return broken_ ? -1 : static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { AddressOf(connection_.fd, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { AddressOf(connection_.fd, false, ip, port); }
    socket_t socket() const override { return connection_.fd; }

    // False when the connection cannot carry another request: the client went, or a read or
    // write failed, so the stream is out of step with the client.
    bool reusable() const { return !broken_ && !ended_; }

    // Leaves the bytes this request did not take (the start of the next one) to the connection.
    void Finish() {
        connection_.pending.erase(0, taken_);
        connection_.scanned = 0;
        taken_ = 0;
    }

private:
    int WriteWait() const { return static_cast<int>(write_time_.count()); }

    bool Receive() {
        connection_.pending.clear();
        taken_ = 0;
        for (;;) {
            const int left = MillisecondsUntil(connection_.deadline);
            if (left == 0 || !WaitFor(connection_.fd, POLLIN, left)) {
                broken_ = true;
                return false;
            }
            connection_.pending.resize(kReceiveBytes);
            const ssize_t n = recv(connection_.fd, connection_.pending.data(), kReceiveBytes, 0);
            connection_.pending.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            if (n > 0) return true;
            if (n == 0) {
                ended_ = true;
                return false;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                broken_ = true;
                return false;
            }
        }
    }

    Connection& connection_;
    std::size_t budget_;
    std::chrono::milliseconds write_time_;
    std::size_t taken_ = 0;
    std::size_t used_ = 0;
    bool broken_ = false;
    bool ended_ = false;
};

// Runs each new connection's job at once on the accepting thread: the job only hands the
// connection to the polling thread.
class InlineQueue final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

enum class Progress { kWaiting, kReady, kDropped };

}  // namespace

GuardedServer::GuardedServer(const ConnectionLimits& limits) : limits_(limits) {
    new_task_queue = [] { return new InlineQueue; };
}

GuardedServer::~GuardedServer() {
    // The library closes its socket only once it has listened on it; a server stopped before
    // that would keep its address bound.
    const socket_t bound = svr_sock_.exchange(INVALID_SOCKET);
    if (bound != INVALID_SOCKET) close(bound);
    if (wake_fd_ >= 0) close(wake_fd_);
}

bool GuardedServer::Serve() {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) return false;
    intake_ = std::thread([this] { IntakeLoop(); });
    for (std::size_t i = 0; i < std::max<std::size_t>(1, limits_.workers); ++i) {
        workers_.emplace_back([this] { WorkerLoop(); });
    }
    const bool served = listen_after_bind();

    stopping_ = true;
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
    intake_.join();
    {
        std::lock_guard lock(work_mutex_);
        workers_stop_ = true;
    }
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
    // Connections a worker handed back after the polling thread had gone.
    std::lock_guard lock(intake_mutex_);
    for (auto& connection : arrivals_) Close(std::move(connection));
    arrivals_.clear();
    return served;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    if (stopping_ || open_.load() >= limits_.connections) {
        close(sock);
        return false;
    }
    ++open_;
    const int flags = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, flags | O_NONBLOCK);
    auto connection = std::make_unique<Connection>();
    connection->fd = sock;
    // The first request's time runs from the connection, so a client cannot first wait idle.
    connection->deadline = Clock::now() + limits_.request_time;
    Admit(std::move(connection));
    return true;
}

void GuardedServer::Admit(std::unique_ptr<Connection> connection) {
    {
        std::lock_guard lock(intake_mutex_);
        arrivals_.push_back(std::move(connection));
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
}

void GuardedServer::Dispatch(std::unique_ptr<Connection> connection) {
    {
        std::lock_guard lock(work_mutex_);
        ready_.push_back(std::move(connection));
    }
    work_ready_.notify_one();
}

void GuardedServer::Close(std::unique_ptr<Connection> connection) {
    close(connection->fd);
    --open_;
}

void GuardedServer::IntakeLoop() {
    std::vector<std::unique_ptr<Connection>> waiting;
    std::vector<pollfd> polled;
    const auto receive = [this](Connection& connection) {
        char buffer[4096];
        // Headers longer than any client sends are not waited for.
        if (connection.pending.size() >= limits_.header_bytes) return Progress::kDropped;
        const std::size_t room = std::min(sizeof buffer, limits_.header_bytes - connection.pending.size());
        const ssize_t n = recv(connection.fd, buffer, room, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return Progress::kWaiting;
        if (n <= 0) return Progress::kDropped;
        connection.pending.append(buffer, static_cast<std::size_t>(n));
        return HeadersComplete(connection) ? Progress::kReady : Progress::kWaiting;
    };
    while (!stopping_) {
        {
            std::lock_guard lock(intake_mutex_);
            for (auto& connection : arrivals_) {
                // A kept-alive client may have sent its next request with the last one.
                if (!connection->pending.empty() && HeadersComplete(*connection)) {
                    Dispatch(std::move(connection));
                } else {
                    waiting.push_back(std::move(connection));
                }
            }
            arrivals_.clear();
        }
        polled.assign(1, pollfd{wake_fd_, POLLIN, 0});
        Clock::time_point next = Clock::now() + kLongestPoll;
        for (const auto& connection : waiting) {
            polled.push_back(pollfd{connection->fd, POLLIN, 0});
            next = std::min(next, connection->deadline);
        }
        if (poll(polled.data(), polled.size(), MillisecondsUntil(next)) < 0 && errno != EINTR) break;
        if (polled[0].revents != 0) {
            std::uint64_t count = 0;
            (void)!::read(wake_fd_, &count, sizeof count);
        }
        const auto now = Clock::now();
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            Progress progress = polled[i + 1].revents != 0 ? receive(*waiting[i]) : Progress::kWaiting;
            if (progress == Progress::kWaiting && now >= waiting[i]->deadline) progress = Progress::kDropped;
            if (progress == Progress::kReady) Dispatch(std::move(waiting[i]));
            if (progress == Progress::kDropped) Close(std::move(waiting[i]));
        }
        std::erase(waiting, nullptr);
    }
    for (auto& connection : waiting) Close(std::move(connection));
}

void GuardedServer::WorkerLoop() {
    for (;;) {
        std::unique_ptr<Connection> connection;
        {
            std::unique_lock lock(work_mutex_);
            work_ready_.wait(lock, [this] { return !ready_.empty() || workers_stop_; });
            // Requests already in are answered before the workers end.
            if (ready_.empty()) return;
            connection = std::move(ready_.front());
            ready_.pop_front();
        }
        ServeRequest(std::move(connection));
    }
}

void GuardedServer::ServeRequest(std::unique_ptr<Connection> connection) {
    // Room for the headers, the body and the framing of a chunked body.
    const std::size_t budget = limits_.header_bytes + 2 * limits_.body_bytes;
    ConnectionStream stream(*connection, budget, limits_.write_time);
    const bool last = ++connection->served >= limits_.requests_per_connection || stopping_;
    bool closed = false;
    const bool answered = process_request(stream, last, closed, TakeBodyAsSent);
    stream.Finish();
    if (!answered || closed || last || !stream.reusable() || stopping_) {
        Close(std::move(connection));
        return;
    }
    const auto now = Clock::now();
    connection->deadline = now + (connection->pending.empty() ? limits_.idle_time : limits_.request_time);
    Admit(std::move(connection));
}

}  // namespace poidb
