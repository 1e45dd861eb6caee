#include "tools/devagent/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "devicekit/wire/payload.h"
#include "tools/devagent/agent.h"
#include "tools/devagent/device_file.h"

namespace devagent {

using klxpwire::Frame;
using klxpwire::MessageType;
using klxpwire::PayloadReader;
using klxpwire::PayloadWriter;
using klxpwire::Status;

namespace {

// The control command of the tests (served only with AgentOptions::test_control).
constexpr const char* kFaultCommand = "DevAgentFault";

}  // namespace

void Session::Log(const std::string& what, Status status) const {
    if (limits_.log_commands) LogLine(client_ + " " + LoggableText(what) + " -> " + klxpwire::StatusText(status));
}

std::size_t Session::ReplyRoom() const { return channel_.send_limit() - 4; }

bool Session::Reply(Status status, const std::vector<std::uint8_t>& data) {
    if (data.size() > ReplyRoom()) return Reply(Status::kMoreData);
    PayloadWriter w;
    w.U32(static_cast<std::uint32_t>(status)).Bytes(data.data(), data.size());
    return channel_.Send(MessageType::kReply, w.bytes(), limits_.frame_timeout_ms) == Status::kOk;
}

std::size_t Session::AllowBeforeDrop(std::size_t n, bool& drop) {
    drop = false;
    std::uint64_t limit = device_.drop_after_bytes.load();
    if (limit == 0) return n;
    if (n < limit) {
        // Count down what is left before the drop; another thread may have disarmed it.
        device_.drop_after_bytes.compare_exchange_strong(limit, limit - n);
        return n;
    }
    if (!device_.drop_after_bytes.compare_exchange_strong(limit, 0)) return n;
    drop = true;
    return static_cast<std::size_t>(limit);
}

void Session::Throttle(std::size_t n) const {
    const std::uint32_t rate = device_.slow_kib_per_second.load();
    if (rate == 0) return;
    const auto micros = static_cast<std::int64_t>(n) * 1000000 / (static_cast<std::int64_t>(rate) * 1024);
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

Status Session::PrepareWrite(const std::string& host) {
    if (device_.refuse_writes) return Status::kAccessDenied;
    if (device_.IsHeldOpen(host)) return Status::kSharingViolation;
    struct stat st {};
    if (lstat(host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return Status::kAccessDenied;
    const std::string parent = host.substr(0, host.rfind('/'));
    if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Status::kNotFound;
    return Status::kOk;
}

bool Session::ReceiveFile(std::uint64_t size, const std::string& ansi_path) {
    std::string host;
    std::optional<StepFault> fault;
    Status s = ResolveAnsi(device_, ansi_path, host);
    if (s == Status::kOk) s = PrepareWrite(host);
    if (s == Status::kOk) s = device_.BeginStep(Step::kUpload, fault);
    // The data goes to a temporary name and replaces the file only once all of it is there.
    DeviceFileWriter out;
    if (s == Status::kOk && !out.Open(host)) s = Status::kIoError;
    if (s != Status::kOk) {
        Log("upload " + ansi_path, s);
        return Reply(s);
    }
    if (!Reply(Status::kOk)) return false;
    // A midway fault keeps its first bytes and fails the upload whatever follows.
    const bool midway = fault && fault->kind == FaultKind::kFailMidway;
    const std::uint64_t keep = midway ? fault->at_byte : UINT64_MAX;
    if (fault && fault->kind == FaultKind::kCorrupt && size > 0) out.CorruptAt(std::min(fault->at_byte, size - 1));
    std::uint64_t got = 0;
    Status result = Status::kOk;
    for (;;) {
        Frame frame;
        const Status r = channel_.Receive(frame, limits_.frame_timeout_ms);
        if (r != Status::kOk) {
            Log("upload " + ansi_path + " broken off", r);
            return false;
        }
        if (frame.type == MessageType::kEnd) {
            PayloadReader reader(frame.payload);
            std::uint32_t code = 0;
            if (!reader.U32(code) || (code == 0 && result == Status::kOk && got != size)) result = Status::kBadRequest;
            else if (code != 0) result = Status::kAborted;
            else if (midway) result = Status::kIoError;
            if (result == Status::kOk && !out.Commit()) result = Status::kIoError;
            if (result != Status::kOk) out.Abort();
            Log("upload " + ansi_path + " (" + std::to_string(got) + " bytes)", result);
            return Reply(result);
        }
        if (frame.type != MessageType::kData) {
            Log("upload " + ansi_path + ": unexpected message", Status::kProtocolError);
            return false;
        }
        if (frame.payload.size() > size - got) {
            result = Status::kBadRequest;  // more than announced: drain, then refuse
            continue;
        }
        bool drop = false;
        const std::size_t allowed = AllowBeforeDrop(frame.payload.size(), drop);
        const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(allowed, keep - std::min(keep, got)));
        if (result == Status::kOk && !out.Write(frame.payload.data(), kept)) result = Status::kIoError;
        got += allowed;
        if (drop) {
            Log("upload " + ansi_path + ": dropping the connection after " + std::to_string(got) + " bytes",
                Status::kConnectionLost);
            return false;
        }
        Throttle(allowed);
    }
}

bool Session::SendFile(const std::string& ansi_path) {
    std::string host;
    std::optional<StepFault> fault;
    Status s = ResolveAnsi(device_, ansi_path, host);
    struct stat st {};
    int fd = -1;
    if (s == Status::kOk && (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) s = Status::kNotFound;
    if (s == Status::kOk) s = device_.BeginStep(Step::kDownload, fault);
    if (s == Status::kOk && (fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC)) < 0) s = Status::kAccessDenied;
    if (s != Status::kOk) {
        Log("download " + ansi_path, s);
        return Reply(s);
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    bool alive = Reply(Status::kOk, PayloadWriter().U64(size).bytes());
    // Never more per frame than the client announced it takes.
    std::vector<std::uint8_t> chunk(std::min<std::size_t>(klxpwire::kDataChunk, channel_.send_limit()));
    const bool midway = fault && fault->kind == FaultKind::kFailMidway;
    const std::uint64_t stop_at = midway ? std::min(fault->at_byte, size) : size;
    const std::uint64_t bad_byte =
        fault && fault->kind == FaultKind::kCorrupt && size > 0 ? std::min(fault->at_byte, size - 1) : UINT64_MAX;
    std::uint64_t sent = 0;
    Status result = midway ? Status::kIoError : Status::kOk;
    while (alive && sent < stop_at) {
        const ssize_t n =
            ::read(fd, chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), stop_at - sent)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result = Status::kIoError;  // the file shrank while it was read
            break;
        }
        bool drop = false;
        const std::size_t allowed = AllowBeforeDrop(static_cast<std::size_t>(n), drop);
        CorruptPiece(chunk.data(), allowed, sent, bad_byte);
        alive = channel_.Send(MessageType::kData, chunk.data(), allowed, limits_.frame_timeout_ms) == Status::kOk;
        sent += allowed;
        if (drop) {
            Log("download " + ansi_path + ": dropping the connection after " + std::to_string(sent) + " bytes",
                Status::kConnectionLost);
            alive = false;
        }
        Throttle(allowed);
    }
    ::close(fd);
    if (!alive) return false;
    Log("download " + ansi_path + " (" + std::to_string(sent) + " bytes)", result);
    return channel_.Send(MessageType::kEnd, PayloadWriter().U32(static_cast<std::uint32_t>(result)).bytes(),
                         limits_.frame_timeout_ms) == Status::kOk;
}

bool Session::Command(PayloadReader& r) {
    std::uint8_t code = 0, count = 0;
    std::uint16_t max_reply = 0;
    std::vector<std::string> texts;
    bool ok = r.U8(code) && r.U16(max_reply) && r.U8(count) && count <= 2;
    for (std::uint8_t i = 0; ok && i < count; ++i) ok = r.Text(texts.emplace_back());
    if (!ok || !r.AtEnd()) return Reply(Status::kBadRequest);
    const auto room = static_cast<std::uint16_t>(std::min<std::size_t>(max_reply, ReplyRoom()));
    std::vector<std::uint8_t> data;
    const Status s = RunNumberedCommand(device_, code, texts, room, data);
    std::string what = "command " + std::to_string(code);
    for (const auto& t : texts) what += " \"" + t + "\"";
    Log(what, s);
    return Reply(s, data);
}

bool Session::CommonCall(PayloadReader& r) {
    std::string name;
    std::uint32_t max_reply = 0;
    if (!r.Text(name) || !r.U32(max_reply)) return Reply(Status::kBadRequest);
    const std::uint8_t* input = nullptr;
    std::size_t size = 0;
    r.Rest(input, size);
    std::vector<std::uint8_t> data;
    Status s = Status::kOk;
    if (limits_.test_control && name == kFaultCommand) {
        std::string error;
        const std::string text(reinterpret_cast<const char*>(input), size);
        s = device_.faults.Apply(text, error) ? Status::kOk : Status::kBadRequest;
        Log("fault " + text + (error.empty() ? "" : ": " + error), s);
        return Reply(s);
    }
    const auto room = static_cast<std::uint32_t>(std::min<std::size_t>({max_reply, 0xFFFF, ReplyRoom()}));
    s = RunNamedCommand(device_, name, input, size, room, data);
    Log("call " + name + " (" + std::to_string(size) + " bytes in, " + std::to_string(data.size()) + " out)", s);
    return Reply(s, data);
}

bool Session::Handle(const Frame& frame) {
    PayloadReader r(frame.payload);
    std::string path, second;
    std::vector<std::uint8_t> data;
    switch (frame.type) {
        case MessageType::kBye:
            Log("bye", Status::kOk);
            return false;
        case MessageType::kStat: {
            if (!r.Text(path)) return Reply(Status::kBadRequest);
            std::string host;
            Status s = ResolveAnsi(device_, path, host);
            struct stat st {};
            if (s == Status::kOk && stat(host.c_str(), &st) != 0) s = Status::kNotFound;
            if (s == Status::kOk) {
                std::vector<std::uint8_t> record;
                AppendAttributeRecord(host, record);
                const auto size = S_ISDIR(st.st_mode) ? 0ULL : static_cast<std::uint64_t>(st.st_size);
                data = PayloadWriter().U64(size).Bytes(record.data(), 4).bytes();
            }
            Log("stat " + path, s);
            return Reply(s, data);
        }
        case MessageType::kReadFile:
            return r.Text(path) ? SendFile(path) : Reply(Status::kBadRequest);
        case MessageType::kWriteFile: {
            std::uint64_t size = 0;
            return (r.U64(size) && r.Text(path)) ? ReceiveFile(size, path) : Reply(Status::kBadRequest);
        }
        case MessageType::kDeleteFile: {
            if (!r.Text(path)) return Reply(Status::kBadRequest);
            std::string host;
            Status s = ResolveAnsi(device_, path, host);
            if (s == Status::kOk) s = DeleteFileAt(device_, host);
            Log("delete " + path, s);
            return Reply(s);
        }
        case MessageType::kCreateProcess: {
            if (!r.Text(path) || !r.Text(second)) return Reply(Status::kBadRequest);
            std::string host;
            Status s = ResolveAnsi(device_, path, host);
            if (s == Status::kOk) s = device_.StartProgram(host);
            Log("start " + path + " " + second + (device_.navigator_running ? " [navigator running]" : " [navigator stopped]"), s);
            return Reply(s);
        }
        case MessageType::kCommand:
            return Command(r);
        case MessageType::kCommonCall:
            return CommonCall(r);
        default:
            Log("unexpected message " + std::to_string(static_cast<int>(frame.type)), Status::kProtocolError);
            return false;
    }
}

void Session::Run() {
    for (;;) {
        Frame frame;
        const Status s = channel_.ReceiveAfterIdle(frame, limits_.idle_timeout_ms, limits_.frame_timeout_ms);
        if (s != Status::kOk) {
            Log("connection ends", s);
            return;
        }
        if (!Handle(frame)) return;
    }
}

}  // namespace devagent
