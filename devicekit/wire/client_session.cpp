#include "devicekit/wire/client_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "devicekit/wire/payload.h"
#include "platform/atomic_file.h"

namespace klxpwire {

std::string DeviceAddressFromEnvironment() {
    const char* value = std::getenv("ZARNIK_DEVICE");
    return (value != nullptr && *value != '\0') ? value : kDefaultDeviceAddress;
}

Status ClientSession::Fail(Status status) {
    if (!IsTransportFailure(status)) return status;
    if (channel_.is_open()) {
        if (status == Status::kTimeout) {
            failure_ = Peer() + " did not answer within " + MillisecondsText(timeout_ms_);
        } else if (status == Status::kConnectionLost) {
            failure_ = Peer() + " closed the connection";
        } else if (status == Status::kProtocolError) {
            failure_ = Peer() + " sent a message that is not of this protocol";
        }
    }
    channel_.Abort();
    return status;
}

std::string ClientSession::Peer() const { return "the device at " + address_; }

std::string ClientSession::FailureText(Status status) const {
    if (status == Status::kOk) return {};
    if (!failure_.empty()) return failure_;
    if (status == Status::kNotConnected) return "not connected to " + Peer();
    return StatusText(status);
}

void ClientSession::set_receive_limit(std::uint32_t limit) {
    receive_limit_ = std::clamp(limit, kMinNegotiatedPayload, kMaxPayload);
}

Status ClientSession::Send(MessageType type, const std::vector<std::uint8_t>& payload) {
    if (!channel_.is_open()) return Status::kNotConnected;
    return Fail(channel_.Send(type, payload, timeout_ms_));
}

Status ClientSession::Receive(Frame& frame) {
    if (!channel_.is_open()) return Status::kNotConnected;
    return Fail(channel_.Receive(frame, timeout_ms_));
}

Status ClientSession::Open(const std::string& address, const std::string& client_name) {
    Close();
    address_ = address;
    failure_.clear();
    int fd = -1;
    const Status connected = ConnectTcp(address, timeout_ms_, fd, failure_);
    if (connected != Status::kOk) return connected;
    channel_.Adopt(fd);
    channel_.set_receive_limit(receive_limit_);
    PayloadWriter hello;
    hello.U16(kProtocolVersion).U16(kProtocolVersion).U32(receive_limit_).Text(client_name);
    Status s = Send(MessageType::kHello, hello.bytes());
    Frame frame;
    if (s == Status::kOk) s = Receive(frame);
    if (s != Status::kOk) return Fail(s);
    PayloadReader r(frame.payload);
    if (frame.type == MessageType::kRefused) {
        std::uint32_t code = 0;
        std::string reason;
        channel_.Close();
        const bool coded = r.U32(code) && code != 0;
        failure_ = Peer() + " refused the connection" + (coded && r.Text(reason) && !reason.empty() ? ": " + reason : "");
        return coded ? static_cast<Status>(code) : Status::kProtocolError;
    }
    std::uint16_t version = 0;
    std::uint32_t limit = 0;
    if (frame.type != MessageType::kWelcome || !r.U16(version) || !r.U32(limit) || !r.Text(device_model_) ||
        version != kProtocolVersion || limit < kMinNegotiatedPayload) {
        channel_.Abort();
        return Status::kProtocolError;
    }
    channel_.set_send_limit(std::min(limit, kMaxPayload));
    return Status::kOk;
}

void ClientSession::Close() {
    if (!channel_.is_open()) return;
    channel_.Send(MessageType::kBye, nullptr, 0, timeout_ms_);
    channel_.Close();
}

Status ClientSession::ReadReply(std::vector<std::uint8_t>& data) {
    Frame frame;
    const Status s = Receive(frame);
    if (s != Status::kOk) return s;
    PayloadReader r(frame.payload);
    std::uint32_t code = 0;
    if (frame.type != MessageType::kReply || !r.U32(code)) return Fail(Status::kProtocolError);
    const std::uint8_t* rest = nullptr;
    std::size_t size = 0;
    r.Rest(rest, size);
    data.assign(rest, rest + size);
    return static_cast<Status>(code);
}

Status ClientSession::Exchange(MessageType type, const std::vector<std::uint8_t>& payload,
                               std::vector<std::uint8_t>& data) {
    data.clear();
    failure_.clear();
    const Status s = Send(type, payload);
    return s == Status::kOk ? ReadReply(data) : s;
}

Status ClientSession::Stat(const std::string& path, std::uint64_t& size, std::uint32_t& attributes) {
    if (!FitsText(path)) return Status::kBadPath;
    std::vector<std::uint8_t> data;
    const Status s = Exchange(MessageType::kStat, PayloadWriter().Text(path).bytes(), data);
    if (s != Status::kOk) return s;
    PayloadReader r(data);
    std::uint64_t got_size = 0;
    std::uint32_t got_attributes = 0;
    if (!r.U64(got_size) || !r.U32(got_attributes)) return Fail(Status::kProtocolError);
    size = got_size;
    attributes = got_attributes;
    return Status::kOk;
}

Status ClientSession::Delete(const std::string& path) {
    if (!FitsText(path)) return Status::kBadPath;
    std::vector<std::uint8_t> data;
    return Exchange(MessageType::kDeleteFile, PayloadWriter().Text(path).bytes(), data);
}

Status ClientSession::CreateProcess(const std::string& program, const std::string& arguments) {
    if (!FitsText(program) || !FitsText(arguments)) return Status::kBadPath;
    std::vector<std::uint8_t> data;
    return Exchange(MessageType::kCreateProcess, PayloadWriter().Text(program).Text(arguments).bytes(), data);
}

Status ClientSession::Command(std::uint8_t code, const std::vector<std::string>& texts, std::uint16_t max_reply,
                              std::vector<std::uint8_t>& reply) {
    PayloadWriter w;
    w.U8(code).U16(max_reply).U8(static_cast<std::uint8_t>(texts.size()));
    for (const auto& text : texts) {
        if (!FitsText(text)) return Status::kBadPath;
        w.Text(text);
    }
    const Status s = Exchange(MessageType::kCommand, w.bytes(), reply);
    if (reply.size() > max_reply) return Fail(Status::kProtocolError);
    return s;
}

Status ClientSession::CommonCall(const std::string& name, const void* input, std::size_t input_size,
                                 std::uint32_t max_reply, std::vector<std::uint8_t>& reply) {
    // Name with its length, the reply limit, then the input: all within the agent's limit.
    if (!FitsText(name) || input_size > channel_.send_limit() || name.size() + 6 > channel_.send_limit() - input_size) {
        return Status::kBadRequest;
    }
    PayloadWriter w;
    w.Text(name).U32(max_reply).Bytes(input, input_size);
    const Status s = Exchange(MessageType::kCommonCall, w.bytes(), reply);
    if (reply.size() > max_reply) return Fail(Status::kProtocolError);
    return s;
}

Status ClientSession::ReceiveFileData(std::uint64_t size, const std::string& local, const TransferProgress& progress) {
    platform::AtomicFile out;
    bool local_ok = out.Open(local);
    std::uint64_t done = 0;
    for (;;) {
        Frame frame;
        const Status s = Receive(frame);
        if (s != Status::kOk) return s;
        if (frame.type == MessageType::kEnd) {
            PayloadReader r(frame.payload);
            std::uint32_t code = 0;
            if (!r.U32(code)) return Fail(Status::kProtocolError);
            if (code != 0) return static_cast<Status>(code);
            if (done != size) return Fail(Status::kProtocolError);
            return local_ok && out.Commit() ? Status::kOk : Status::kLocalFileError;
        }
        if (frame.type != MessageType::kData || frame.payload.size() > size - done) return Fail(Status::kProtocolError);
        // Keep reading after a local failure, so the connection stays in step with the agent.
        local_ok = local_ok && out.Write(frame.payload.data(), frame.payload.size());
        done += frame.payload.size();
        if (progress) progress(done, size);
    }
}

Status ClientSession::Download(const std::string& remote, const std::string& local, const TransferProgress& progress) {
    if (!FitsText(remote)) return Status::kBadPath;
    std::vector<std::uint8_t> data;
    const Status s = Exchange(MessageType::kReadFile, PayloadWriter().Text(remote).bytes(), data);
    if (s != Status::kOk) return s;
    PayloadReader r(data);
    std::uint64_t size = 0;
    if (!r.U64(size)) return Fail(Status::kProtocolError);
    return ReceiveFileData(size, local, progress);
}

Status ClientSession::SendFileData(int fd, std::uint64_t size, const TransferProgress& progress) {
    std::vector<std::uint8_t> chunk(std::min<std::uint32_t>(kDataChunk, channel_.send_limit()));
    std::uint64_t done = 0;
    Status local = Status::kOk;
    while (done < size) {
        const ssize_t n = ::read(fd, chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            local = Status::kLocalFileError;  // the file shrank or cannot be read
            break;
        }
        const Status s = Fail(channel_.Send(MessageType::kData, chunk.data(), static_cast<std::size_t>(n), timeout_ms_));
        if (s != Status::kOk) return s;
        done += static_cast<std::uint64_t>(n);
        if (progress) progress(done, size);
    }
    const Status s = Send(MessageType::kEnd, PayloadWriter().U32(static_cast<std::uint32_t>(local)).bytes());
    if (s != Status::kOk) return s;
    std::vector<std::uint8_t> data;
    const Status committed = ReadReply(data);
    return local != Status::kOk && !IsTransportFailure(committed) ? local : committed;
}

Status ClientSession::Upload(const std::string& local, const std::string& remote, const TransferProgress& progress) {
    if (!FitsText(remote)) return Status::kBadPath;
    if (!channel_.is_open()) return Status::kNotConnected;
    const int fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return Status::kLocalFileError;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::vector<std::uint8_t> data;
    Status s = Exchange(MessageType::kWriteFile, PayloadWriter().U64(size).Text(remote).bytes(), data);
    if (s == Status::kOk) s = SendFileData(fd, size, progress);
    ::close(fd);
    return s;
}

}  // namespace klxpwire
