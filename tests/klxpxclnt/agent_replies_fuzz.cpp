// CKlxpXClient on a hostile agent: a stand-in agent on a loopback port answers the client's
// Hello and each of its requests with the input's frames, each given as
// [type selector: 1 byte][payload length: 2 bytes, little-endian][payload]; a selected Data
// frame is followed at once by the next one, as in a transfer. The client runs every remote
// command with out-parameters of exactly the documented sizes (so AddressSanitizer sees any
// write past them) and walks the storage list to its end. Whatever the replies, nothing may
// be written past an out-parameter, texts come back terminated, a registry value never claims
// more bytes than its buffer, and the storage walk ends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/frame.h"
#include "devicekit/wire/payload.h"
#include "klxpxclnt/klxp_xclient.h"

namespace {

using klxpwire::Frame;
using klxpwire::MessageType;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "agent_replies_fuzz: %s\n", what);
        std::abort();
    }
}

constexpr MessageType kTypes[] = {
    MessageType::kReply, MessageType::kReply,   MessageType::kReply, MessageType::kReply,
    MessageType::kData,  MessageType::kEnd,     MessageType::kRefused, MessageType::kWelcome,
    MessageType::kBye,   MessageType::kCommand,
};

struct Record {
    MessageType type;
    std::vector<std::uint8_t> payload;
};

std::vector<Record> Records(const std::uint8_t* data, std::size_t size) {
    std::vector<Record> out;
    std::size_t at = 0;
    while (at + 3 <= size) {
        const MessageType type = kTypes[data[at] % std::size(kTypes)];
        std::size_t length = data[at + 1] | (static_cast<std::size_t>(data[at + 2]) << 8);
        at += 3;
        if (length > size - at) length = size - at;
        out.push_back({type, std::vector<std::uint8_t>(data + at, data + at + length)});
        at += length;
    }
    return out;
}

// Serves one connection: a Welcome (unless the input opens with a Welcome or Refused of its
// own), then the input's frames, one answer for each request; closes when they run out.
void ServeAgent(int listener, const std::vector<Record>& records) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    klxpwire::Channel channel(fd);
    Frame frame;
    if (channel.Receive(frame, 1000) != klxpwire::Status::kOk) return;
    // Whether the next frame waits for a request: not when it answers the Hello.
    bool answer = true;
    if (!records.empty() && (records[0].type == MessageType::kWelcome || records[0].type == MessageType::kRefused)) {
        answer = false;
    } else {
        channel.Send(MessageType::kWelcome, klxpwire::PayloadWriter().U16(1).U32(64 * 1024).Text("M2").bytes(), 1000);
    }
    std::size_t next = 0;
    while (next < records.size()) {
        if (answer && channel.Receive(frame, 1000) != klxpwire::Status::kOk) return;
        const Record& r = records[next++];
        if (channel.Send(r.type, r.payload, 1000) != klxpwire::Status::kOk) return;
        answer = r.type != MessageType::kData;
    }
    channel.Close();
}

// A heap block of exactly `size` bytes, so a write past it is caught.
template <class T = std::uint8_t>
std::unique_ptr<T[]> Exact(std::size_t count) {
    return std::make_unique<T[]>(count);
}

void Terminated(const char* text, std::size_t size) { Require(std::memchr(text, '\0', size) != nullptr, "text not terminated"); }

void RunClient(const std::string& address) {
    klxp::CKlxpXClient client;
    client.SetAddress(address.c_str());
    client.SetTimeout(200);
    if (!client.Connect()) return;
    const char* path = "\\My Flash Disk\\VyoMap";
    client.RemoteDeleteTree(path);
    client.RemoteEnumFiles(path, true);
    client.RemoteCreateProcess("\\Windows\\shutdown.exe");
    std::uint64_t freeBytes = 0;
    client.RemoteGetDiskFreeSpace(path, &freeBytes);
    client.RemoteGetDiskFreeSpace(nullptr, &freeBytes);
    client.RemoteCreateDirectory(path);
    client.RemoteCopyFile(path, "\\b", true);
    client.RemoteMoveFile(path, "\\b");
    client.RemoteDeleteFile(path);
    client.RemoteDeleteDirectory(path);
    auto attributes = Exact<klxp::WIN32_FILE_ATTRIBUTE_DATA>(1);
    client.RemoteGetFileAttributesEx(path, attributes.get());

    auto power = Exact<klxp::SYSTEM_POWER_STATUS>(1);
    client.RemoteGetSystemPowerStatus(power.get());
    auto version = Exact<char>(64);
    if (client.RemoteGetImageVersion(version.get(), 64)) Terminated(version.get(), 64);
    client.RemoteFormatPartition("Part00");
    std::uint32_t identifier = 0;
    client.RemoteRegisterWindowMessage("WM_FUZZ", &identifier);
    auto memory = Exact<klxp::MEMORYSTATUS>(1);
    client.RemoteGlobalMemoryStatus(memory.get());
    client.RemoteBroadCastMessage(1, 2, -3);

    const std::size_t textSize = klxp::CKlxpXClient::kRemoteTextSize;
    auto first = Exact<char>(textSize);
    auto second = Exact<char>(textSize);
    if (client.RemoteGetFileInfo(path, attributes.get(), first.get(), second.get())) {
        Terminated(first.get(), textSize);
        Terminated(second.get(), textSize);
    }
    client.RemoteGetFileInfo(path, attributes.get(), nullptr, nullptr);

    auto list = Exact(512);
    if (client.RemoteGetStroageList(list.get(), 512)) {
        std::uint64_t value = 0;
        auto name = Exact<char>(textSize);
        int entries = 0;
        while (client.RemoteGetStroageInfo(&value, name.get())) {
            Terminated(name.get(), textSize);
            Require(++entries <= 512 / 9, "the storage walk went past its list");
        }
    }
    auto output = Exact(64);
    std::uint32_t returned = 0;
    const std::uint8_t input[4] = {1, 2, 3, 4};
    client.RemoteKernelIoControl(0x1234, input, sizeof input, output.get(), 64, &returned);
    std::uint32_t type = 0, dataSize = 64;
    auto value = Exact(64);
    if (client.RemoteRegQueryValueEx(0x80000002U, "Version", &type, value.get(), &dataSize)) {
        Require(dataSize <= 64, "a registry value larger than its buffer");
    }
    client.Disconnect();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Require(listener >= 0, "no socket");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    Require(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(listener, 4) == 0 &&
                getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &length) == 0,
            "cannot listen on loopback");
    const std::vector<Record> records = Records(data, size);
    std::thread agent(ServeAgent, listener, std::cref(records));
    RunClient("127.0.0.1:" + std::to_string(ntohs(sa.sin_port)));
    // A client that never connected leaves the agent waiting in accept: wake it.
    shutdown(listener, SHUT_RDWR);
    agent.join();
    close(listener);
    return 0;
}
