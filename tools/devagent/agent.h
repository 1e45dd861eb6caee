#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "devicekit/wire/frame.h"
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
    // How long a new client waits for the one being served to finish before it is refused
    // as busy; a client whose peer has already hung up is waited for longer (the frame
    // timeout), since its session is only winding down.
    int busy_grace_ms = 500;
    std::uint32_t max_payload = klxpwire::kMaxPayload;  // announced in Welcome (at least 4096)
    bool test_control = false;                          // serve the "DevAgentFault" control command
};

// The device emulator: serves one client at a time over the device protocol; a second client
// is refused with a Busy message, but a client that reconnects right after saying goodbye (or
// closing its socket) is served. At start it clears what a killed agent left behind. Runs its
// own threads; Stop (or the destructor) ends them.
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
    // Clients welcomed so far.
    int sessions_served() const { return sessions_.load(); }

private:
    void AcceptLoop();
    // Waits, within the grace, for the session being served to end; true when it has.
    bool WaitForSessionEnd();
    void Refuse(int fd, klxpwire::Status status, const char* reason) const;
    void Serve(int fd);

    AgentOptions options_;
    DeviceState device_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> sessions_{0};
    // The session's socket, -1 while none is served; closed only under the mutex, so the
    // acceptor may look at it.
    std::mutex session_mutex_;
    std::condition_variable session_ended_;
    int session_fd_ = -1;
    std::thread acceptor_;
    std::thread session_;
};

// Prints one line to standard error (a mutex keeps lines whole).
void LogLine(const std::string& line);
// Text from a client made safe for the log: control bytes (line breaks, escapes) become "?",
// and what is longer than `limit` is cut, so no client can forge or flood log lines.
std::string LoggableText(std::string_view text, std::size_t limit = 1024);

}  // namespace devagent
