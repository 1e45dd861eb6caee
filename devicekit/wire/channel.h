#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devicekit/wire/frame.h"
#include "devicekit/wire/status.h"

namespace klxpwire {

// One TCP connection that carries frames. Every wait (for bytes to read or for room to write)
// is bounded by a timeout, and a peer that goes away gives kConnectionLost, never a signal.
class Channel {
public:
    Channel() = default;
    explicit Channel(int fd) : fd_(fd) {}
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close();
    // Takes over a connected socket, forgetting anything buffered from an earlier one.
    void Adopt(int fd);
    // Closes with a reset, as a device that loses power would.
    void Abort();

    Status Send(MessageType type, const std::vector<std::uint8_t>& payload, int timeout_ms);
    Status Send(MessageType type, const std::uint8_t* payload, std::size_t size, int timeout_ms);
    // Waits at most timeout_ms for each piece of the next frame.
    Status Receive(Frame& frame, int timeout_ms);

    void set_max_payload(std::uint32_t max_payload) { decoder_.set_max_payload(max_payload); }
    std::uint64_t bytes_sent() const { return sent_; }
    std::uint64_t bytes_received() const { return received_; }

private:
    Status WaitFor(short events, int timeout_ms) const;

    int fd_ = -1;
    FrameDecoder decoder_;
    std::vector<std::uint8_t> buffer_;
    std::size_t buffer_pos_ = 0;
    std::size_t buffer_end_ = 0;
    std::uint64_t sent_ = 0;
    std::uint64_t received_ = 0;
};

// "127.0.0.1:9470" -> address and port. Only IPv4 loopback addresses are accepted: the device
// agent is never reachable from outside the machine.
bool ParseLoopbackAddress(const std::string& text, std::string& host, std::uint16_t& port);

// Connects with a bounded wait; gives the socket in fd.
Status ConnectTcp(const std::string& address, int timeout_ms, int& fd);

// Binds and listens; port 0 picks a free port. Gives the socket or -1, and the bound port.
int ListenTcp(const std::string& address, std::uint16_t& bound_port, std::string& error);

}  // namespace klxpwire
