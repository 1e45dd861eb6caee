#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "devicekit/wire/channel.h"
#include "devicekit/wire/client_session.h"
#include "devicekit/wire/payload.h"
#include "tests/devicekit/running_agent.h"

namespace klxpwire {
namespace {

using testsupport::kPoisFolder;
using testsupport::ReadWholeFile;
using testsupport::RunningAgent;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

const std::string kDevicePois = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\";

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return bytes;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

TEST(ClientSessionTest, UploadAndDownloadRoundTripAtChunkBoundaries) {
    RunningAgent agent;
    TempDir pc;
    ClientSession session;
    ASSERT_EQ(session.Open(agent.address(), "test"), Status::kOk);
    EXPECT_EQ(session.device_model(), "M2");
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{kDataChunk - 1}, std::size_t{kDataChunk},
                                   std::size_t{kDataChunk + 1}, std::size_t{3 * kDataChunk + 7}}) {
        const std::string bytes = Pattern(size);
        WriteWholeFile(pc.file("up.bin"), bytes);
        std::uint64_t progress = 0;
        ASSERT_EQ(session.Upload(pc.file("up.bin"), kDevicePois + "ZARNIKS.MTC",
                                 [&](std::uint64_t done, std::uint64_t) { progress = done; }),
                  Status::kOk) << size;
        EXPECT_EQ(progress, size);
        EXPECT_EQ(ReadWholeFile(agent.file(std::string(kPoisFolder) + "/ZARNIKS.MTC")), bytes) << size;
        ASSERT_EQ(session.Download(kDevicePois + "zarniks.mtc", pc.file("down.bin")), Status::kOk) << size;
        EXPECT_EQ(ReadWholeFile(pc.file("down.bin")), bytes) << size;
        std::uint64_t stat_size = 0;
        std::uint32_t attributes = 0;
        ASSERT_EQ(session.Stat(kDevicePois + "Zarniks.mtc", stat_size, attributes), Status::kOk);
        EXPECT_EQ(stat_size, size);
    }
    EXPECT_EQ(FilesIn(agent.file(kPoisFolder)).size(), 1U) << "one file, no temporaries, no second spelling";
}

TEST(ClientSessionTest, FailedTransfersLeaveBothSidesAsTheyWere) {
    RunningAgent agent;
    TempDir pc;
    const std::string device_file = agent.file(std::string(kPoisFolder) + "/poiupdates.upd");
    WriteWholeFile(device_file, "old device bytes");
    WriteWholeFile(pc.file("local.upd"), "old pc bytes");
    WriteWholeFile(pc.file("new.upd"), Pattern(1 << 20));
    ClientSession session;
    ASSERT_EQ(session.Open(agent.address(), "test"), Status::kOk);

    EXPECT_EQ(session.Download(kDevicePois + "missing.upd", pc.file("local.upd")), Status::kNotFound);
    agent.device().fail_copies = 1;
    EXPECT_EQ(session.Download(kDevicePois + "poiupdates.upd", pc.file("local.upd")), Status::kIoError);
    agent.device().fail_copies = 1;
    EXPECT_EQ(session.Upload(pc.file("new.upd"), kDevicePois + "poiupdates.upd"), Status::kIoError);
    agent.device().refuse_writes = true;
    EXPECT_EQ(session.Upload(pc.file("new.upd"), kDevicePois + "poiupdates.upd"), Status::kAccessDenied);
    EXPECT_EQ(session.Delete(kDevicePois + "poiupdates.upd"), Status::kAccessDenied);
    agent.device().refuse_writes = false;
    EXPECT_EQ(session.Upload(pc.file("absent"), kDevicePois + "poiupdates.upd"), Status::kLocalFileError);
    EXPECT_EQ(session.Upload(pc.file("new.upd"), "\\No Such Folder\\x.upd"), Status::kNotFound);
    EXPECT_TRUE(session.is_open()) << "refusals keep the connection";
    EXPECT_EQ(ReadWholeFile(device_file), "old device bytes");
    EXPECT_EQ(ReadWholeFile(pc.file("local.upd")), "old pc bytes");

    // Dropped mid-upload: the device keeps its file and no temporary is left behind.
    agent.device().drop_after_bytes = 300000;
    EXPECT_EQ(session.Upload(pc.file("new.upd"), kDevicePois + "poiupdates.upd"), Status::kConnectionLost);
    EXPECT_FALSE(session.is_open());
    EXPECT_EQ(ReadWholeFile(device_file), "old device bytes");
    EXPECT_EQ(FilesIn(agent.file(kPoisFolder)), std::vector<std::string>{"poiupdates.upd"});

    // Dropped mid-download: the PC keeps its file.
    WriteWholeFile(device_file, Pattern(1 << 20));
    ASSERT_EQ(session.Open(agent.address(), "test"), Status::kOk);
    agent.device().drop_after_bytes = 500000;
    EXPECT_EQ(session.Download(kDevicePois + "poiupdates.upd", pc.file("local.upd")), Status::kConnectionLost);
    EXPECT_EQ(ReadWholeFile(pc.file("local.upd")), "old pc bytes");
    EXPECT_EQ(FilesIn(pc.path()).size(), 2U) << "no temporary left on the PC";
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    EXPECT_EQ(session.Stat(kDevicePois + "poiupdates.upd", size, attributes), Status::kNotConnected);
}

TEST(ClientSessionTest, SecondClientIsRefusedCleanlyWhileTheFirstIsServed) {
    RunningAgent agent;
    ClientSession first, second;
    ASSERT_EQ(first.Open(agent.address(), "first"), Status::kOk);
    EXPECT_EQ(second.Open(agent.address(), "second"), Status::kBusy);
    EXPECT_FALSE(second.is_open());
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    EXPECT_EQ(first.Stat("\\My Flash Disk", size, attributes), Status::kOk);
    EXPECT_EQ(attributes, 0x10U);
    first.Close();
    Status reopened = Status::kBusy;
    for (int i = 0; i < 50 && reopened == Status::kBusy; ++i) {
        reopened = second.Open(agent.address(), "second");
        if (reopened == Status::kBusy) usleep(20000);
    }
    EXPECT_EQ(reopened, Status::kOk);
}

// Raw sockets: what a broken or foreign client sends must not hurt the agent.
int RawConnect(const std::string& address) {
    int fd = -1;
    return ConnectTcp(address, 2000, fd) == Status::kOk ? fd : -1;
}

TEST(ClientSessionTest, AgentSurvivesHostileClientsAndServesTheNextOne) {
    RunningAgent agent;
    const std::vector<std::vector<std::uint8_t>> openings = {
        {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n', '\r', '\n'},
        EncodeFrame(MessageType::kData, std::vector<std::uint8_t>(100, 1)),               // no hello
        EncodeFrame(MessageType::kHello, PayloadWriter().U16(2).U16(3).U32(kMaxPayload).bytes()),  // future version
        EncodeFrame(MessageType::kHello, {1}),                                             // short hello
        {'Z', 'K', 'X', 'P', 0x20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},                       // 2 GiB frame
    };
    for (const auto& bytes : openings) {
        const int fd = RawConnect(agent.address());
        ASSERT_GE(fd, 0);
        Channel channel(fd);
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
        Frame frame;
        const Status s = channel.Receive(frame, 3000);
        // Either a refusal or a closed connection; never a welcome.
        EXPECT_TRUE(s == Status::kConnectionLost || (s == Status::kOk && frame.type == MessageType::kRefused));
    }
    // A client that connects and says nothing is cut off after the frame timeout.
    const int silent = RawConnect(agent.address());
    ASSERT_GE(silent, 0);
    Channel quiet(silent);
    Frame frame;
    EXPECT_EQ(quiet.Receive(frame, 8000), Status::kConnectionLost);

    ClientSession session;
    ASSERT_EQ(session.Open(agent.address(), "test"), Status::kOk);
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(session.Command(99, {}, 0, reply), Status::kUnknownCommand);
    EXPECT_EQ(session.CommonCall("NoSuchCall", nullptr, 0, 100, reply), Status::kUnknownCommand);
    EXPECT_EQ(session.Command(70, {"a", "b"}, 0, reply), Status::kBadRequest);
}

TEST(ClientSessionTest, SilentAgentGivesTimeoutAndAbsentAgentNotConnected) {
    std::uint16_t port = 0;
    std::string error;
    const int listener = ListenTcp("127.0.0.1:0", port, error);  // accepts in the kernel, never answers
    ASSERT_GE(listener, 0) << error;
    ClientSession session;
    session.set_timeout_ms(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session.Open("127.0.0.1:" + std::to_string(port), "test"), Status::kTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(session.is_open());
    ::close(listener);
    EXPECT_EQ(session.Open("127.0.0.1:" + std::to_string(port), "test"), Status::kNotConnected);
    EXPECT_EQ(session.Open("192.0.2.1:9470", "test"), Status::kBadRequest) << "only loopback agents";
    EXPECT_EQ(session.Open("127.0.0.1", "test"), Status::kBadRequest);
}

}  // namespace
}  // namespace klxpwire
