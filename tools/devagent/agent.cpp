#include "tools/devagent/agent.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/payload.h"
#include "tools/devagent/device_file.h"
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

std::string LoggableText(std::string_view text, std::size_t limit) {
    std::string out;
    out.reserve(std::min(text.size(), limit));
    for (const char c : text.substr(0, limit)) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
    }
    if (text.size() > limit) out += "...";
    return out;
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
    if (options_.max_payload < klxpwire::kMinNegotiatedPayload || options_.max_payload > klxpwire::kMaxPayload) {
        error = "the payload limit must lie between 4096 and 1048576 bytes";
        return false;
    }
    if (options_.create_layout && !device_.CreateLayout(error)) return false;
    // A killed agent leaves its unfinished uploads under temporary names; no device shows them.
    const int leftovers = RemoveLeftoverUploads(options_.root);
    if (leftovers > 0 && options_.log_commands) {
        LogLine("removed " + std::to_string(leftovers) + " unfinished upload(s) of an earlier run");
    }
    listen_fd_ = klxpwire::ListenTcp(options_.listen, port_, error);
    if (listen_fd_ < 0) return false;
    stopping_ = false;
    acceptor_ = std::thread(&Agent::AcceptLoop, this);
    return true;
}

void Agent::Stop() {
    {
        const std::lock_guard<std::mutex> lock(session_mutex_);
        stopping_ = true;
        if (session_fd_ >= 0) ::shutdown(session_fd_, SHUT_RDWR);
    }
    session_ended_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    if (session_.joinable()) session_.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
}

void Agent::Refuse(int fd, Status status, const char* reason) const {
    Channel refused(fd);
    refused.Send(MessageType::kRefused, PayloadWriter().U32(static_cast<std::uint32_t>(status)).Text(reason).bytes(),
                 1000);
    if (options_.log_commands) LogLine(std::string("refused a client: ") + reason);
}

bool Agent::WaitForSessionEnd() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(session_mutex_);
    // A client that said goodbye and reconnects at once may arrive before its old session has
    // read the goodbye: a session whose peer has hung up is only winding down.
    auto deadline = Clock::now() + std::chrono::milliseconds(options_.busy_grace_ms);
    bool peer_gone = false;
    while (session_fd_ >= 0 && !stopping_) {
        if (!peer_gone) {
            pollfd p{session_fd_, POLLRDHUP, 0};
            peer_gone = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
            if (peer_gone) deadline = Clock::now() + std::chrono::milliseconds(options_.frame_timeout_ms);
        }
        const auto now = Clock::now();
        if (now >= deadline) break;
        session_ended_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(5)));
    }
    return session_fd_ < 0 && !stopping_;
}

void Agent::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (device_.faults.TakeRefusal()) {
            Refuse(fd, Status::kBusy, "refused by an armed fault");
            continue;
        }
        if (!WaitForSessionEnd()) {
            Refuse(fd, Status::kBusy, "another client is connected");
            continue;
        }
        if (session_.joinable()) session_.join();
        const std::lock_guard<std::mutex> lock(session_mutex_);
        if (stopping_) {
            ::close(fd);
            break;
        }
        session_fd_ = fd;
        session_ = std::thread(&Agent::Serve, this, fd);
    }
}

void Agent::Serve(int fd) {
    Channel channel(fd);
    channel.set_receive_limit(options_.max_payload);
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
        // Each side sends at most what the other announced.
        channel.set_send_limit(std::min(limit, klxpwire::kMaxPayload));
        ++sessions_;  // counted before the client can see its welcome
        s = channel.Send(
            MessageType::kWelcome,
            PayloadWriter().U16(klxpwire::kProtocolVersion).U32(options_.max_payload).Text(options_.model).bytes(),
            options_.frame_timeout_ms);
    }
    const std::string name = client.empty() ? "client" : LoggableText(client, 64);
    if (options_.log_commands) LogLine("client \"" + name + "\" connects -> " + klxpwire::StatusText(s));
    if (s == Status::kOk) {
        Session session(
            device_, channel,
            {options_.frame_timeout_ms, options_.idle_timeout_ms, options_.log_commands, options_.test_control}, name);
        session.Run();
    }
    {
        // Free the agent before the client can see the connection close, so that it may
        // reconnect at once.
        const std::lock_guard<std::mutex> lock(session_mutex_);
        session_fd_ = -1;
        channel.Close();
    }
    session_ended_.notify_all();
}

}  // namespace devagent
