// The device agent on a hostile client, in process: a real agent on a loopback port serves a
// fresh device folder, and the input is a sequence of frames the client sends, each as
// [type selector: 1 byte][payload length: 2 bytes, little-endian][payload]; the harness frames
// them properly (magic, type, length) so that the agent's request handling is reached, and
// opens with a valid Hello unless the input begins with one of its own. The fault control
// command is served too. Whatever the frames, the agent must not crash, must end the
// conversation within its timeouts, and must keep every file inside the device folder.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devicekit/wire/frame.h"
#include "devicekit/wire/payload.h"
#include "temp_dir.h"
#include "tools/devagent/agent.h"

namespace {

using klxpwire::MessageType;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "session_fuzz: %s\n", what);
        std::abort();
    }
}

constexpr MessageType kTypes[] = {
    MessageType::kHello,      MessageType::kBye,           MessageType::kStat,    MessageType::kReadFile,
    MessageType::kWriteFile,  MessageType::kDeleteFile,    MessageType::kCreateProcess,
    MessageType::kCommand,    MessageType::kCommonCall,    MessageType::kData,    MessageType::kEnd,
    MessageType::kReply,      MessageType::kWelcome,
};

std::vector<std::uint8_t> ClientBytes(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    auto append = [&](MessageType type, const std::vector<std::uint8_t>& payload) {
        const std::vector<std::uint8_t> frame = klxpwire::EncodeFrame(type, payload);
        out.insert(out.end(), frame.begin(), frame.end());
    };
    const bool ownHello = size > 0 && kTypes[data[0] % std::size(kTypes)] == MessageType::kHello;
    if (!ownHello) {
        append(MessageType::kHello, klxpwire::PayloadWriter().U16(1).U16(1).U32(64 * 1024).Text("fuzz").bytes());
    }
    std::size_t at = 0;
    while (at + 3 <= size) {
        const MessageType type = kTypes[data[at] % std::size(kTypes)];
        std::size_t length = data[at + 1] | (static_cast<std::size_t>(data[at + 2]) << 8);
        at += 3;
        if (length > size - at) length = size - at;
        append(type, std::vector<std::uint8_t>(data + at, data + at + length));
        at += length;
    }
    return out;
}

// Sends everything, half-closes, and reads until the agent closes; false when the agent did
// not end the conversation within the deadline.
bool Converse(const std::string& address, const std::vector<std::uint8_t>& bytes) {
    const std::size_t colon = address.rfind(':');
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1))));
    inet_pton(AF_INET, address.substr(0, colon).c_str(), &sa.sin_addr);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    Require(fd >= 0, "no socket");
    // Non-blocking: the connection completes (or fails, and the poll below sees it) meanwhile.
    const int started = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    Require(started == 0 || errno == EINPROGRESS, "cannot connect to the agent");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::size_t sent = 0;
    bool halfClosed = false;
    bool ended = false;
    char sink[65536];
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, static_cast<short>(POLLIN | (halfClosed ? 0 : POLLOUT)), 0};
        if (poll(&p, 1, 100) <= 0) continue;
        if ((p.revents & POLLOUT) != 0 && !halfClosed) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<std::size_t>(n);
            if (n < 0 || sent == bytes.size()) {
                shutdown(fd, SHUT_WR);
                halfClosed = true;
            }
        }
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = recv(fd, sink, sizeof sink, 0);
            ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        }
    }
    close(fd);
    return ended;
}

// Every entry of the device folder is a plain file or folder inside it.
void CheckFolder(const std::string& root) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec)) {
        Require(!entry.is_symlink(), "the agent made a symbolic link");
    }
}

struct RunningAgent {
    testsupport::TempDir folder;
    std::string root = folder.path() + "/device";
    std::unique_ptr<devagent::Agent> agent;

    RunningAgent() {
        std::filesystem::create_directory(root);
        devagent::AgentOptions options;
        options.root = root;
        options.listen = "127.0.0.1:0";
        options.log_commands = false;
        options.test_control = true;
        options.frame_timeout_ms = 300;
        options.idle_timeout_ms = 1000;
        agent = std::make_unique<devagent::Agent>(options);
        std::string error;
        Require(agent->Start(error), error.c_str());
    }
};

}  // namespace

// One agent for the whole run (starting one costs a tenth of a second); each input finds the
// device as new: an empty folder with the navigation program's layout, no fault armed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RunningAgent running;
    devagent::DeviceState& device = running.agent->device();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(running.root, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
    std::string error;
    Require(device.CreateLayout(error), error.c_str());
    device.faults.Clear();
    device.navigator_running = (size % 2) == 0;

    Require(Converse(running.agent->address(), ClientBytes(data, size)), "the agent did not end the conversation");
    CheckFolder(running.root);
    // Nothing may have been written beside the device folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(running.folder.path())) ++entries;
    Require(entries == 1, "a file appeared beside the device folder");
    return 0;
}
