#include "tools/devagent/agent.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/payload.h"
#include "tools/devagent/session.h"

namespace devagent {

using klxpwire::Channel;
using klxpwire::Frame;
using klxpwire::MessageType;
using klxpwire::PayloadReader;
using klxpwire::PayloadWriter;
using klxpwire::Status;

void LogLine(const std::string& line) {
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    std::fprintf(stderr, "devagent: %s\n", line.c_str());
}

Agent::Agent(AgentOptions options) : options_(std::move(options)), device_(options_.root) {
    device_.model = options_.model;
    device_.navigator_running = options_.navigator_running;
}

Agent::~Agent() { Stop(); }

std::string Agent::address() const {
    std::string host;
    std::uint16_t port = 0;
    klxpwire::ParseLoopbackAddress(options_.listen, host, port);
    return host + ":" + std::to_string(port_);
}

bool Agent::Start(std::string& error) {
    struct stat st {};
    if (options_.root.empty() || stat(options_.root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "the device folder does not exist: " + options_.root;
        return false;
    }
    if (options_.create_layout && !device_.CreateLayout(error)) return false;
    listen_fd_ = klxpwire::ListenTcp(options_.listen, port_, error);
    if (listen_fd_ < 0) return false;
    stopping_ = false;
    acceptor_ = std::thread(&Agent::AcceptLoop, this);
    return true;
}

void Agent::Stop() {
    stopping_ = true;
    const int fd = session_fd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    if (session_.joinable()) session_.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
}

void Agent::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (busy_) {
            Channel refused(fd);
            const auto payload = PayloadWriter().U32(static_cast<std::uint32_t>(Status::kBusy))
                                     .Text("another client is connected").bytes();
            refused.Send(MessageType::kRefused, payload, 1000);
            if (options_.log_commands) LogLine("refused a second client: busy");
            continue;
        }
        if (session_.joinable()) session_.join();
        busy_ = true;
        session_fd_ = fd;
        session_ = std::thread(&Agent::Serve, this, fd);
    }
}

void Agent::Serve(int fd) {
    Channel channel(fd);
    Frame hello;
    std::uint16_t low = 0, high = 0;
    std::uint32_t limit = 0;
    std::string client;
    Status s = channel.Receive(hello, options_.frame_timeout_ms);
    PayloadReader r(hello.payload);
    if (s == Status::kOk && (hello.type != MessageType::kHello || !r.U16(low) || !r.U16(high) || !r.U32(limit) || !r.Text(client))) {
        s = Status::kProtocolError;
    }
    if (s == Status::kOk && (low > klxpwire::kProtocolVersion || high < klxpwire::kProtocolVersion)) {
        s = Status::kVersionMismatch;
        channel.Send(MessageType::kRefused,
                     PayloadWriter().U32(static_cast<std::uint32_t>(s)).Text("this device speaks version 1").bytes(), 1000);
    }
    if (s == Status::kOk && limit < klxpwire::kMinNegotiatedPayload) s = Status::kProtocolError;
    if (s == Status::kOk) {
        channel.set_max_payload(std::min(limit, klxpwire::kMaxPayload));
        s = channel.Send(MessageType::kWelcome,
                         PayloadWriter().U16(klxpwire::kProtocolVersion).U32(klxpwire::kMaxPayload).Text(options_.model).bytes(),
                         options_.frame_timeout_ms);
    }
    if (options_.log_commands) LogLine("client \"" + client + "\" connects -> " + klxpwire::StatusText(s));
    if (s == Status::kOk) {
        ++sessions_;
        Session session(device_, channel, {options_.frame_timeout_ms, options_.idle_timeout_ms, options_.log_commands},
                        client.empty() ? "client" : client);
        session.Run();
    }
    // Free the agent before the client can see the connection close, so that it may
    // reconnect at once.
    session_fd_ = -1;
    busy_ = false;
    channel.Close();
}

}  // namespace devagent
