#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devicekit/wire/frame.h"
#include "devicekit/wire/status.h"

namespace klxpwire {

// One TCP connection that carries frames. Every wait (for bytes to read or for room to write)
// is bounded by a timeout over the whole frame, not over each piece of it, so a peer that
// trickles a byte now and then cannot hold the connection; a peer that goes away gives
// kConnectionLost, never a signal.
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

    // The whole frame must leave within timeout_ms. A payload above the peer's limit is not
    // sent (kBadRequest).
    Status Send(MessageType type, const std::vector<std::uint8_t>& payload, int timeout_ms);
    Status Send(MessageType type, const std::uint8_t* payload, std::size_t size, int timeout_ms);
    // The whole next frame must arrive within timeout_ms.
    Status Receive(Frame& frame, int timeout_ms);
    // Waits up to idle_ms for the next frame to begin; from its first byte, the rest must
    // arrive within frame_ms.
    Status ReceiveAfterIdle(Frame& frame, int idle_ms, int frame_ms);

    // The largest payload this side accepts (what it announced) and the largest it may send
    // (what the peer announced).
    void set_receive_limit(std::uint32_t limit) { decoder_.set_max_payload(limit); }
    void set_send_limit(std::uint32_t limit) { send_limit_ = limit; }
    std::uint32_t send_limit() const { return send_limit_; }
    std::uint64_t bytes_sent() const { return sent_; }
    std::uint64_t bytes_received() const { return received_; }

private:
    using Clock = std::chrono::steady_clock;
    Status WaitFor(short events, Clock::time_point deadline) const;
    bool HasBufferedBytes() const { return buffer_pos_ < buffer_end_ || decoder_.InFrame(); }

    int fd_ = -1;
    FrameDecoder decoder_;
    std::vector<std::uint8_t> buffer_;
    std::size_t buffer_pos_ = 0;
    std::size_t buffer_end_ = 0;
    std::uint64_t sent_ = 0;
    std::uint64_t received_ = 0;
    std::uint32_t send_limit_ = kMaxPayload;
};

// "127.0.0.1:9470" -> address and port. Only IPv4 loopback addresses are accepted: the device
// agent is never reachable from outside the machine.
bool ParseLoopbackAddress(const std::string& text, std::string& host, std::uint16_t& port);

// Connects with a bounded wait; gives the socket in fd.
Status ConnectTcp(const std::string& address, int timeout_ms, int& fd);
// The same, telling in `why` what a failed connection met: refused at the address, no answer
// within the time, or the system's reason.
Status ConnectTcp(const std::string& address, int timeout_ms, int& fd, std::string& why);
// "15 s", "750 ms": a time limit as the user reads it.
std::string MillisecondsText(int milliseconds);

// Binds and listens; port 0 picks a free port. Gives the socket or -1, and the bound port.
int ListenTcp(const std::string& address, std::uint16_t& bound_port, std::string& error);

}  // namespace klxpwire
