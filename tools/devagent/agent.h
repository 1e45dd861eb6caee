#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/devagent/device_state.h"

namespace devagent {

struct AgentOptions {
    std::string root;
    std::string listen = "127.0.0.1:9470";  // port 0 picks a free one
    std::string model = "M2";
    bool navigator_running = true;
    bool create_layout = true;
    bool log_commands = true;
    int frame_timeout_ms = 10000;   // the longest wait for the rest of a frame or a transfer's next piece
    int idle_timeout_ms = 600000;   // a connected client may stay silent this long
};

// The device emulator: serves one client at a time over the device protocol; a second client
// is refused with a Busy message. Runs its own threads; Stop (or the destructor) ends them.
class Agent {
public:
    explicit Agent(AgentOptions options);
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool Start(std::string& error);
    void Stop();

    std::string address() const;
    std::uint16_t port() const { return port_; }
    DeviceState& device() { return device_; }
    int sessions_served() const { return sessions_.load(); }

private:
    void AcceptLoop();
    void Serve(int fd);

    AgentOptions options_;
    DeviceState device_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> busy_{false};
    std::atomic<int> session_fd_{-1};
    std::atomic<int> sessions_{0};
    std::thread acceptor_;
    std::thread session_;
};

// Prints one line to standard error (a mutex keeps lines whole).
void LogLine(const std::string& line);

}  // namespace devagent
