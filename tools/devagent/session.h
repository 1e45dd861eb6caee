#pragma once
#include <string>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/payload.h"
#include "tools/devagent/device_state.h"

namespace devagent {

struct SessionLimits {
    int frame_timeout_ms;
    int idle_timeout_ms;
    bool log_commands;
    bool test_control;  // the fault control command is served
};

// One client's conversation after the handshake: requests until Bye, a timeout or a broken
// frame. Malformed payloads get a BadRequest reply; broken framing ends the session.
class Session {
public:
    Session(DeviceState& device, klxpwire::Channel& channel, SessionLimits limits, std::string client)
        : device_(device), channel_(channel), limits_(limits), client_(std::move(client)) {}

    void Run();
    // Handles one request frame; false when the session must end.
    bool Handle(const klxpwire::Frame& frame);

private:
    bool Reply(klxpwire::Status status, const std::vector<std::uint8_t>& data = {});
    // The largest reply data the client can take.
    std::size_t ReplyRoom() const;
    bool SendFile(const std::string& ansi_path);
    bool ReceiveFile(std::uint64_t size, const std::string& ansi_path);
    klxpwire::Status PrepareWrite(const std::string& host);
    bool Command(klxpwire::PayloadReader& r);
    bool CommonCall(klxpwire::PayloadReader& r);
    // Counts file bytes against the drop fault; gives how many of `n` may still pass and
    // whether the connection is to be dropped after them.
    std::size_t AllowBeforeDrop(std::size_t n, bool& drop);
    void Throttle(std::size_t n) const;
    void Log(const std::string& what, klxpwire::Status status) const;

    DeviceState& device_;
    klxpwire::Channel& channel_;
    SessionLimits limits_;
    std::string client_;
};

}  // namespace devagent
