#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/status.h"

namespace klxpwire {

constexpr const char* kDefaultDeviceAddress = "127.0.0.1:9470";
constexpr int kDefaultTimeoutMs = 15000;

// The agent's address: ZARNIK_DEVICE, or the loopback default.
std::string DeviceAddressFromEnvironment();

// Called after each piece of a file transfer with the bytes done and the total.
using TransferProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// The client side of the device protocol, shared by every client façade: one connection with
// the version handshake, requests with their replies, and whole-file transfers. A transport
// failure (timeout, lost connection, malformed frame) closes the session, because the frame
// boundaries can no longer be trusted; later calls then give kNotConnected.
class ClientSession {
public:
    ClientSession() = default;
    ~ClientSession() = default;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    Status Open(const std::string& address, const std::string& client_name);
    // Says goodbye and closes; harmless when not open.
    void Close();
    bool is_open() const { return channel_.is_open(); }

    void set_timeout_ms(int timeout_ms) { timeout_ms_ = timeout_ms; }
    // The largest payload the next Open announces to the agent (kMinNegotiatedPayload to
    // kMaxPayload); the agent's frames never exceed it.
    void set_receive_limit(std::uint32_t limit);
    int timeout_ms() const { return timeout_ms_; }
    const std::string& device_model() const { return device_model_; }
    // What the last failed call met, for a person: the status's own text, or more where the
    // session knows it (refused at which address, the agent's reason for refusing, no answer
    // within how long).
    std::string FailureText(Status status) const;

    // Paths are device paths in the device's 8-bit code page.
    Status Stat(const std::string& path, std::uint64_t& size, std::uint32_t& attributes);
    Status Delete(const std::string& path);
    Status CreateProcess(const std::string& program, const std::string& arguments);
    Status Command(std::uint8_t code, const std::vector<std::string>& texts, std::uint16_t max_reply,
                   std::vector<std::uint8_t>& reply);
    Status CommonCall(const std::string& name, const void* input, std::size_t input_size, std::uint32_t max_reply,
                      std::vector<std::uint8_t>& reply);

    // Whole-file copies. A download replaces the local file only once every byte arrived; an
    // upload replaces the device file only once the agent has every byte.
    Status Download(const std::string& remote, const std::string& local, const TransferProgress& progress = {});
    Status Upload(const std::string& local, const std::string& remote, const TransferProgress& progress = {});

private:
    Status Send(MessageType type, const std::vector<std::uint8_t>& payload);
    Status Receive(Frame& frame);
    // Sends a request and waits for its Reply; gives the agent's status with the reply data.
    Status Exchange(MessageType type, const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>& data);
    Status ReadReply(std::vector<std::uint8_t>& data);
    Status Fail(Status status);
    std::string Peer() const;
    Status ReceiveFileData(std::uint64_t size, const std::string& local, const TransferProgress& progress);
    Status SendFileData(int fd, std::uint64_t size, const TransferProgress& progress);

    Channel channel_;
    int timeout_ms_ = kDefaultTimeoutMs;
    std::uint32_t receive_limit_ = kMaxPayload;
    std::string device_model_;
    std::string address_;
    std::string failure_;  // more than the status says, for the call under way; empty when nothing
};

}  // namespace klxpwire
