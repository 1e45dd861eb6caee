#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
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

// Names as the device takes them: up to the 255-byte limit of a folder entry (uploads and
// copies included, whose temporary names are longer), trailing dots and blanks ignored.
TEST(ClientSessionTest, DeviceNamesUpToTheLengthLimitUploadAndTrailingDotsNameTheSameFile) {
    struct Case {
        std::string device;  // in Windows-1252
        Status status;
        std::string host;  // the folder entry it makes, in UTF-8
    };
    const Case cases[] = {
        {std::string(255, 'n'), Status::kOk, std::string(255, 'n')},
        {std::string(244, 'm') + ".tmp-abcde", Status::kOk, std::string(244, 'm') + ".tmp-abcde"},
        {std::string(127, '\xE9') + "a", Status::kOk,
         [] {
             std::string utf8;
             for (int i = 0; i < 127; ++i) utf8 += "\xC3\xA9";
             return utf8 + "a";
         }()},
        {std::string(256, 'n'), Status::kBadPath, ""},
        {std::string(128, '\xE9'), Status::kBadPath, ""},  // 256 bytes once in UTF-8
        {"trailing.upd. .", Status::kOk, "trailing.upd"},
        {"...", Status::kBadPath, ""},
        {" ", Status::kBadPath, ""},
    };
    RunningAgent agent;
    TempDir pc;
    WriteWholeFile(pc.file("up.bin"), Pattern(70000));
    ClientSession session;
    ASSERT_EQ(session.Open(agent.address(), "names"), Status::kOk);
    std::size_t expected_files = 0;
    for (const Case& c : cases) {
        const std::string label = c.host.empty() ? std::to_string(c.device.size()) + " bytes" : c.host.substr(0, 20);
        EXPECT_EQ(session.Upload(pc.file("up.bin"), kDevicePois + c.device), c.status) << label;
        if (c.status != Status::kOk) continue;
        EXPECT_EQ(ReadWholeFile(agent.file(std::string(kPoisFolder) + "/" + c.host)), Pattern(70000)) << label;
        EXPECT_EQ(session.Upload(pc.file("up.bin"), kDevicePois + c.device + "."), Status::kOk)
            << label << ": again, one dot more";
        EXPECT_EQ(session.Download(kDevicePois + c.device + " ", pc.file("down.bin")), Status::kOk) << label;
        std::string copy = c.device;
        copy[0] = 'c';
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(session.Command(68, {kDevicePois + c.device, kDevicePois + copy}, 0, reply), Status::kOk) << label;
        expected_files += 2;
    }
    EXPECT_EQ(FilesIn(agent.file(kPoisFolder)).size(), expected_files) << "no second spelling, no temporary";
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
    EXPECT_EQ(second.Open(agent.address(), "second"), Status::kOk) << "served at once after the goodbye";
}

// Raw sockets: what a broken or foreign client sends must not hurt the agent.
int RawConnect(const std::string& address) {
    int fd = -1;
    return ConnectTcp(address, 2000, fd) == Status::kOk ? fd : -1;
}

// A raw connection past the handshake, announcing `limit`.
Status RawHello(const std::string& address, std::uint32_t limit, Channel& channel) {
    const int fd = RawConnect(address);
    if (fd < 0) return Status::kNotConnected;
    channel.Adopt(fd);
    channel.set_receive_limit(limit);
    Status s = channel.Send(MessageType::kHello, PayloadWriter().U16(1).U16(1).U32(limit).Text("raw").bytes(), 2000);
    Frame frame;
    if (s == Status::kOk) s = channel.Receive(frame, 2000);
    if (s == Status::kOk && frame.type != MessageType::kWelcome) s = Status::kBusy;
    return s;
}

// Sends raw bytes, past any limit of ours; false when the agent closed before taking them all.
bool SendRaw(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 3000) != 1) return false;
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

// True once the agent has closed its side (or reset the connection).
bool PeerClosed(int fd) {
    std::uint8_t byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

TEST(ClientSessionTest, ClientThatReconnectsAtOnceIsServed) {
    RunningAgent agent;
    enum class Ending { kGoodbye, kClose, kReset, kGoodbyeSocketStillOpen };
    for (const Ending ending : {Ending::kGoodbye, Ending::kClose, Ending::kReset, Ending::kGoodbyeSocketStillOpen}) {
        Channel previous;
        for (int round = 0; round < 100; ++round) {
            if (ending == Ending::kGoodbye) {
                ClientSession session;
                ASSERT_EQ(session.Open(agent.address(), "again"), Status::kOk) << round;
                session.Close();
                continue;
            }
            Channel channel;
            ASSERT_EQ(RawHello(agent.address(), kMaxPayload, channel), Status::kOk)
                << "ending " << static_cast<int>(ending) << ", round " << round;
            if (ending == Ending::kClose) channel.Close();
            if (ending == Ending::kReset) channel.Abort();
            if (ending == Ending::kGoodbyeSocketStillOpen) {
                ASSERT_EQ(channel.Send(MessageType::kBye, nullptr, 0, 1000), Status::kOk);
                previous.Adopt(::dup(channel.fd()));  // closed only after the next connection
            }
        }
    }
    EXPECT_EQ(agent.agent().sessions_served(), 400);
}

TEST(ClientSessionTest, EachSideSendsAtMostWhatTheOtherAnnounced) {
    struct Case {
        std::uint32_t client;
        std::uint32_t agent;
    };
    for (const Case c :
         {Case{kMinNegotiatedPayload, kMaxPayload}, Case{kMaxPayload, kMinNegotiatedPayload}, Case{5000, 70000}}) {
        devagent::AgentOptions options;
        options.max_payload = c.agent;
        RunningAgent agent(options);
        TempDir pc;
        ClientSession session;
        session.set_receive_limit(c.client);
        ASSERT_EQ(session.Open(agent.address(), "limits"), Status::kOk) << c.client << "/" << c.agent;
        const std::string bytes = Pattern(kDataChunk + 3 * 70000 + 1);
        WriteWholeFile(pc.file("up.bin"), bytes);
        EXPECT_EQ(session.Upload(pc.file("up.bin"), kDevicePois + "big.bin"), Status::kOk)
            << c.client << "/" << c.agent;
        EXPECT_EQ(session.Download(kDevicePois + "big.bin", pc.file("down.bin")), Status::kOk)
            << c.client << "/" << c.agent;
        EXPECT_EQ(ReadWholeFile(pc.file("down.bin")), bytes);

        // An answer the client asks for in full is still cut to what the client takes.
        const std::size_t echo = c.agent - 64;
        std::vector<std::uint8_t> ioctl = PayloadWriter().U32(1).U32(static_cast<std::uint32_t>(echo)).bytes();
        ioctl.resize(ioctl.size() + echo, 0x5A);
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(session.CommonCall("KernelIoctl", ioctl.data(), ioctl.size(), 0xFFFF, reply), Status::kOk);
        EXPECT_EQ(reply.size(), std::min<std::size_t>({echo, c.client - 4, 0xFFFF})) << c.client << "/" << c.agent;
        session.Close();

        // The agent takes a frame of its own limit and drops the connection for one byte more.
        for (const std::uint32_t over : {0U, 1U}) {
            Channel raw;
            ASSERT_EQ(RawHello(agent.address(), c.client, raw), Status::kOk);
            std::vector<std::uint8_t> call = PayloadWriter().Text("NoSuchCall").U32(0).bytes();
            call.resize(c.agent + over, 0);
            const bool whole = SendRaw(raw.fd(), EncodeFrame(MessageType::kCommonCall, call));
            EXPECT_TRUE(whole || over == 1);
            Frame frame;
            EXPECT_EQ(raw.Receive(frame, 3000), over == 0 ? Status::kOk : Status::kConnectionLost)
                << c.agent << "+" << over;
        }
    }
}

TEST(ClientSessionTest, StalledPeerIsDroppedOnceAFrameTakesLongerThanTheFrameTimeout) {
    devagent::AgentOptions options;
    options.frame_timeout_ms = 300;
    options.idle_timeout_ms = 60000;
    RunningAgent agent(options);
    const auto stat = EncodeFrame(MessageType::kStat, PayloadWriter().Text("\\My Flash Disk").bytes());
    for (const bool in_upload : {false, true}) {
        Channel raw;
        ASSERT_EQ(RawHello(agent.address(), kMaxPayload, raw), Status::kOk);
        // Silence between requests is idling, not a stalled frame: a whole request after it is served.
        usleep(700000);
        ASSERT_EQ(::send(raw.fd(), stat.data(), stat.size(), MSG_NOSIGNAL), static_cast<ssize_t>(stat.size()));
        Frame frame;
        ASSERT_EQ(raw.Receive(frame, 3000), Status::kOk);
        if (in_upload) {
            ASSERT_EQ(raw.Send(MessageType::kWriteFile, PayloadWriter().U64(100).Text(kDevicePois + "slow.bin").bytes(),
                               1000),
                      Status::kOk);
            ASSERT_EQ(raw.Receive(frame, 3000), Status::kOk);
        }
        // One byte every 100 ms: each piece comes well within the timeout, the frame does not.
        const auto trickled = in_upload ? EncodeFrame(MessageType::kData, std::vector<std::uint8_t>(100, 1)) : stat;
        std::size_t sent = 0;
        bool dropped = false;
        for (; sent < trickled.size() && !dropped; ++sent) {
            dropped = ::send(raw.fd(), trickled.data() + sent, 1, MSG_NOSIGNAL) != 1;
            usleep(100000);
            dropped = dropped || PeerClosed(raw.fd());
        }
        EXPECT_TRUE(dropped) << (in_upload ? "upload" : "request");
        EXPECT_LT(sent, trickled.size()) << (in_upload ? "upload" : "request");
        ClientSession next;
        EXPECT_EQ(next.Open(agent.address(), "next"), Status::kOk) << "the agent is free again";
    }
    EXPECT_EQ(FilesIn(agent.file(kPoisFolder)).size(), 0U) << "the broken upload left nothing";
}

TEST(ClientSessionTest, AgentSurvivesHostileClientsAndServesTheNextOne) {
    RunningAgent agent(false, 300);
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
    EXPECT_EQ(session.CommonCall("DevAgentFault", "clear", 5, 100, reply), Status::kUnknownCommand)
        << "fault control only for agents started for tests";
    EXPECT_EQ(session.Command(70, {"a", "b"}, 0, reply), Status::kBadRequest);
}

// Faults armed while the agent runs hit the chosen step of their kind, and the connection
// outlives every one of them.
TEST(ClientSessionTest, ArmedFaultsHitTheChosenStepAndKeepTheConnection) {
    enum class Op { kUpload, kDownload, kCopy, kMove };
    struct Step {
        Op op;
        Status status;
        bool corrupted = false;
    };
    struct Case {
        const char* fault;
        std::vector<Step> steps;
    };
    const Status io = Status::kIoError, ok = Status::kOk;
    const Case cases[] = {
        {"fail upload 2", {{Op::kUpload, ok}, {Op::kUpload, io}, {Op::kUpload, ok}}},
        {"fail download 2",
         {{Op::kUpload, ok}, {Op::kDownload, ok}, {Op::kCopy, ok}, {Op::kDownload, io}, {Op::kDownload, ok}}},
        {"fail copy 1 2", {{Op::kCopy, io}, {Op::kMove, ok}, {Op::kCopy, io}, {Op::kCopy, ok}}},
        {"fail move", {{Op::kCopy, ok}, {Op::kMove, io}, {Op::kMove, ok}}},
        {"midway download 1000", {{Op::kDownload, io}, {Op::kDownload, ok}}},
        {"midway upload 4096 2", {{Op::kUpload, ok}, {Op::kUpload, io}, {Op::kUpload, ok}}},
        {"midway copy 10", {{Op::kCopy, io}, {Op::kCopy, ok}}},
        {"corrupt download 1 3",
         {{Op::kDownload, ok, true}, {Op::kDownload, ok, true}, {Op::kDownload, ok, true}, {Op::kDownload, ok}}},
        {"corrupt upload", {{Op::kUpload, ok, true}, {Op::kUpload, ok}}},
        {"corrupt copy", {{Op::kCopy, ok, true}, {Op::kCopy, ok}}},
    };
    devagent::AgentOptions options;
    options.test_control = true;
    RunningAgent agent(options);
    TempDir pc;
    const std::string old_bytes = Pattern(300000), new_bytes = Pattern(5000) + "new";
    const std::string target = agent.file(std::string(kPoisFolder) + "/target.bin");
    const std::string copy = agent.file(std::string(kPoisFolder) + "/copy.bin");
    const std::string moved = agent.file(std::string(kPoisFolder) + "/moved.bin");
    WriteWholeFile(pc.file("new.bin"), new_bytes);
    ClientSession session;
    ASSERT_EQ(session.Open(agent.address(), "faults"), Status::kOk);
    for (const Case& c : cases) {
        std::vector<std::uint8_t> reply;
        ASSERT_EQ(session.CommonCall("DevAgentFault", c.fault, std::strlen(c.fault), 0, reply), Status::kOk) << c.fault;
        int index = 0;
        for (const Step& step : c.steps) {
            const std::string where = std::string(c.fault) + ", step " + std::to_string(++index);
            WriteWholeFile(target, old_bytes);
            WriteWholeFile(pc.file("down.bin"), "pc bytes");
            std::string expected, got;
            Status s = Status::kOk;
            switch (step.op) {
                case Op::kUpload:
                    s = session.Upload(pc.file("new.bin"), kDevicePois + "target.bin");
                    expected = s == Status::kOk ? new_bytes : old_bytes;
                    got = ReadWholeFile(target);
                    break;
                case Op::kDownload:
                    s = session.Download(kDevicePois + "target.bin", pc.file("down.bin"));
                    expected = s == Status::kOk ? old_bytes : "pc bytes";
                    got = ReadWholeFile(pc.file("down.bin"));
                    break;
                case Op::kCopy:
                    s = session.Command(68, {kDevicePois + "target.bin", kDevicePois + "copy.bin"}, 0, reply);
                    expected = s == Status::kOk ? old_bytes : "";
                    got = testsupport::FileExists(copy) ? ReadWholeFile(copy) : "";
                    std::filesystem::remove(copy);
                    break;
                case Op::kMove:
                    s = session.Command(69, {kDevicePois + "target.bin", kDevicePois + "moved.bin"}, 0, reply);
                    expected = s == Status::kOk ? old_bytes : "";
                    got = testsupport::FileExists(moved) ? ReadWholeFile(moved) : "";
                    if (!got.empty()) std::filesystem::rename(moved, target);
                    break;
            }
            EXPECT_EQ(s, step.status) << where;
            ASSERT_EQ(got.size(), expected.size()) << where;
            const auto differing = std::inner_product(got.begin(), got.end(), expected.begin(), std::size_t{0},
                                                      std::plus<>(), std::not_equal_to<>());
            EXPECT_EQ(differing, step.corrupted ? 1U : 0U) << where;
            EXPECT_TRUE(session.is_open()) << where;
            EXPECT_EQ(FilesIn(agent.file(kPoisFolder)).size(), 1U) << where << ": no temporary left";
        }
    }

    // Texts that arm nothing are refused.
    for (const char* bad : {"", "fail", "fail upload 0", "fail upload x", "fail upload 1 2 3", "midway upload",
                            "midway move 10", "corrupt move", "explode upload", "refuse 0", "fail delete"}) {
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(session.CommonCall("DevAgentFault", bad, std::strlen(bad), 0, reply), Status::kBadRequest) << bad;
    }
    session.Close();

    // Refusals, armed from the test's own thread, then re-armed.
    for (const int refused : {2, 1}) {
        agent.faults().RefuseConnections(refused);
        for (int i = 0; i < refused; ++i) EXPECT_EQ(session.Open(agent.address(), "refused"), Status::kBusy) << i;
        EXPECT_EQ(session.Open(agent.address(), "served"), Status::kOk);
        session.Close();
    }
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
