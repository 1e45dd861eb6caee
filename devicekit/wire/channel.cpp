#include "devicekit/wire/channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace klxpwire {

namespace {

constexpr std::size_t kReadBuffer = std::size_t{512} * 1024U;

void TuneSocket(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int buffer = 1 << 21;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
}

bool ToSockaddr(const std::string& address, sockaddr_in& sa) {
    std::string host;
    std::uint16_t port = 0;
    if (!ParseLoopbackAddress(address, host, port)) return false;
    sa = sockaddr_in{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    return inet_pton(AF_INET, host.c_str(), &sa.sin_addr) == 1;
}

}  // namespace

Channel::~Channel() { Close(); }

void Channel::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Channel::Adopt(int fd) {
    Close();
    fd_ = fd;
    decoder_ = FrameDecoder();
    buffer_pos_ = buffer_end_ = 0;
    sent_ = received_ = 0;
    send_limit_ = kMaxPayload;
}

void Channel::Abort() {
    if (fd_ < 0) return;
    const linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

Status Channel::WaitFor(short events, Clock::time_point deadline) const {
    pollfd p{fd_, events, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Status::kTimeout;
        const int n = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
        if (n > 0) return Status::kOk;
        if (n < 0 && errno != EINTR) return Status::kConnectionLost;
    }
}

Status Channel::Send(MessageType type, const std::vector<std::uint8_t>& payload, int timeout_ms) {
    return Send(type, payload.data(), payload.size(), timeout_ms);
}

Status Channel::Send(MessageType type, const std::uint8_t* payload, std::size_t size, int timeout_ms) {
    if (fd_ < 0) return Status::kNotConnected;
    if (size > send_limit_) return Status::kBadRequest;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::uint8_t header[sizeof(FrameHeader)];
    EncodeHeader(type, static_cast<std::uint32_t>(size), header);
    iovec parts[2] = {{header, sizeof header}, {const_cast<std::uint8_t*>(payload), size}};
    std::size_t index = 0;
    while (index < 2) {
        if (parts[index].iov_len == 0) {
            ++index;
            continue;
        }
        msghdr msg{};
        msg.msg_iov = parts + index;
        msg.msg_iovlen = 2 - index;
        const ssize_t n = ::sendmsg(fd_, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Status::kConnectionLost;
            const Status waited = WaitFor(POLLOUT, deadline);
            if (waited != Status::kOk) return waited;
            continue;
        }
        sent_ += static_cast<std::uint64_t>(n);
        auto left = static_cast<std::size_t>(n);
        while (index < 2 && left >= parts[index].iov_len) {
            left -= parts[index].iov_len;
            ++index;
        }
        if (index < 2) {
            parts[index].iov_base = static_cast<std::uint8_t*>(parts[index].iov_base) + left;
            parts[index].iov_len -= left;
        }
    }
    return Status::kOk;
}

Status Channel::Receive(Frame& frame, int timeout_ms) {
    if (fd_ < 0) return Status::kNotConnected;
    if (buffer_.empty()) buffer_.resize(kReadBuffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        buffer_pos_ += decoder_.Feed(buffer_.data() + buffer_pos_, buffer_end_ - buffer_pos_);
        if (decoder_.error() != DecodeError::kNone) return Status::kProtocolError;
        if (decoder_.HasFrame()) {
            frame = decoder_.TakeFrame();
            return Status::kOk;
        }
        buffer_pos_ = buffer_end_ = 0;
        const Status waited = WaitFor(POLLIN, deadline);
        if (waited != Status::kOk) return waited;
        const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n == 0) return Status::kConnectionLost;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return Status::kConnectionLost;
        }
        received_ += static_cast<std::uint64_t>(n);
        buffer_end_ = static_cast<std::size_t>(n);
    }
}

Status Channel::ReceiveAfterIdle(Frame& frame, int idle_ms, int frame_ms) {
    if (fd_ < 0) return Status::kNotConnected;
    if (!HasBufferedBytes()) {
        // Readable also means closed or reset; Receive tells those apart.
        const Status waited = WaitFor(POLLIN, Clock::now() + std::chrono::milliseconds(idle_ms));
        if (waited != Status::kOk) return waited;
    }
    return Receive(frame, frame_ms);
}

bool ParseLoopbackAddress(const std::string& text, std::string& host, std::uint16_t& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value > 65535) {
        return false;
    }
    in_addr addr{};
    if (inet_pton(AF_INET, host.c_str(), &addr) != 1) return false;
    if ((ntohl(addr.s_addr) >> 24) != 127) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

Status ConnectTcp(const std::string& address, int timeout_ms, int& fd) {
    std::string why;
    return ConnectTcp(address, timeout_ms, fd, why);
}

Status ConnectTcp(const std::string& address, int timeout_ms, int& fd, std::string& why) {
    fd = -1;
    sockaddr_in sa{};
    if (!ToSockaddr(address, sa) || sa.sin_port == 0) {
        why = "\"" + address + "\" is no loopback address with a port";
        return Status::kBadRequest;
    }
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        why = std::string("no socket: ") + std::strerror(errno);
        return Status::kNotConnected;
    }
    TuneSocket(s);
    const auto failed = [&](int error) {
        why = error == ECONNREFUSED ? "connection refused at " + address + " (no device agent listening there)"
                                    : "cannot connect to " + address + ": " + std::strerror(error);
        ::close(s);
        return Status::kNotConnected;
    };
    if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS) return failed(errno);
        pollfd p{s, POLLOUT, 0};
        int error = 0;
        socklen_t len = sizeof error;
        int ready = ::poll(&p, 1, timeout_ms);
        while (ready < 0 && errno == EINTR) ready = ::poll(&p, 1, timeout_ms);  // a signal is no failure
        if (ready == 0) {
            why = "no answer from " + address + " within " + MillisecondsText(timeout_ms);
            ::close(s);
            return Status::kNotConnected;
        }
        if (ready < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return failed(errno);
        if (error != 0) return failed(error);
    }
    fd = s;
    return Status::kOk;
}

std::string MillisecondsText(int milliseconds) {
    if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
    return std::to_string(milliseconds) + " ms";
}

int ListenTcp(const std::string& address, std::uint16_t& bound_port, std::string& error) {
    sockaddr_in sa{};
    if (!ToSockaddr(address, sa)) {
        error = "not a loopback address with a port: " + address;
        return -1;
    }
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, 8) != 0) {
        error = "cannot listen on " + address + ": " + std::strerror(errno);
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    bound_port = ntohs(sa.sin_port);
    TuneSocket(s);
    return s;
}

}  // namespace klxpwire
