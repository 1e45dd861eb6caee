#pragma once
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace poidb {

// What one client may take of the service.
struct ConnectionLimits {
    std::chrono::milliseconds request_time{std::chrono::seconds(5)};  // first byte of a request to the end of its body
    std::chrono::milliseconds idle_time{std::chrono::seconds(3)};     // wait for the next request of a kept-alive connection
    std::chrono::milliseconds write_time{std::chrono::seconds(10)};   // wait for the client to take more of a reply
    std::size_t header_bytes = std::size_t{16} * 1024;  // request line and headers
    std::size_t body_bytes = std::size_t{1024} * 1024; // the body, as the handlers read it
    std::size_t connections = 512;         // open at once; more are closed as they arrive
    std::size_t workers = 32;
    int requests_per_connection = 100;
};

struct Connection;

// An httplib server whose workers never wait for a client's request. A connection waits for its
// request line and headers, and between requests, in one polling thread, so slow or idle
// clients hold no worker and are dropped at their deadline; a worker takes the connection once
// the headers are in. Every read of a request is bounded by the request's deadline and by a
// byte budget, whatever the framing of its body, and reads past either fail.
class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(const ConnectionLimits& limits);
    ~GuardedServer() override;
    GuardedServer(const GuardedServer&) = delete;
    GuardedServer& operator=(const GuardedServer&) = delete;

    // Serves on the bound socket until stop(). Requests that have begun are answered before it
    // returns; connections waiting for a request are closed.
    bool Serve();

private:
    // The library calls this on its accepting thread for each new connection.
    bool process_and_close_socket(socket_t sock) override;

    void Admit(std::unique_ptr<Connection> connection);
    void Dispatch(std::unique_ptr<Connection> connection);
    void Close(std::unique_ptr<Connection> connection);
    void IntakeLoop();
    void WorkerLoop();
    void ServeRequest(std::unique_ptr<Connection> connection);

    ConnectionLimits limits_;
    std::atomic<std::size_t> open_{0};
    std::atomic<bool> stopping_{false};
    int wake_fd_ = -1;

    std::mutex intake_mutex_;
    std::vector<std::unique_ptr<Connection>> arrivals_;  // new, or back from a worker

    std::mutex work_mutex_;
    std::condition_variable work_ready_;
    std::deque<std::unique_ptr<Connection>> ready_;  // headers complete, waiting for a worker
    bool workers_stop_ = false;

    std::thread intake_;
    std::vector<std::thread> workers_;
};

}  // namespace poidb
