#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devicekit/wire/status.h"
#include "klxpxclnt/klxp_xclient.h"
#include "tests/devicekit/running_agent.h"

namespace klxp {
namespace {

using klxpwire::Status;
using testsupport::kPoisFolder;
using testsupport::ReadWholeFile;
using testsupport::RunningAgent;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

constexpr const char* kPois = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois";
std::string Pois(const std::string& name) { return std::string(kPois) + "\\" + name; }
std::uint32_t Code(Status s) { return static_cast<std::uint32_t>(s); }

class XClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent_.started());
        client_.SetAddress(agent_.address().c_str());
        client_.SetTimeout(5000);
        ASSERT_TRUE(client_.Connect()) << client_.GetStringResult();
        ASSERT_TRUE(client_.Connected());
    }
    std::string Pc(const std::string& name) { return pc_.file(name); }
    std::string Device(const std::string& name) { return agent_.file(std::string(kPoisFolder) + "/" + name); }

    RunningAgent agent_;
    TempDir pc_;
    CKlxpXClient client_;
};

TEST_F(XClientTest, NumberedFileCommandsWorkOnTheDeviceFolder) {
    WriteWholeFile(Device("poiupdates.upd"), std::string(160, 'x'));
    EXPECT_TRUE(client_.RemoteCreateDirectory(Pois("Backup").c_str()));
    EXPECT_FALSE(client_.RemoteCreateDirectory(Pois("BACKUP").c_str()));
    EXPECT_EQ(client_.GetResult(), Code(Status::kAlreadyExists));
    EXPECT_TRUE(client_.RemoteCopyFile(Pois("POIUPDATES.UPD").c_str(), Pois("backup\\copy.upd").c_str(), true));
    EXPECT_FALSE(client_.RemoteCopyFile(Pois("poiupdates.upd").c_str(), Pois("backup\\copy.upd").c_str(), true));
    EXPECT_TRUE(client_.RemoteCopyFile(Pois("poiupdates.upd").c_str(), Pois("backup\\copy.upd").c_str(), false));
    EXPECT_TRUE(client_.RemoteMoveFile(Pois("backup\\copy.upd").c_str(), Pois("backup\\moved.upd").c_str()));
    EXPECT_EQ(ReadWholeFile(Device("Backup/moved.upd")), std::string(160, 'x'));

    EXPECT_EQ(client_.RemoteEnumFiles(kPois, false), 2);                  // poiupdates.upd, Backup
    EXPECT_EQ(client_.RemoteEnumFiles(Pois("*.upd").c_str(), false), 1);
    EXPECT_EQ(client_.RemoteEnumFiles(Pois("*.UPD").c_str(), true), 2);
    EXPECT_EQ(client_.RemoteEnumFiles(Pois("nothing\\*.*").c_str(), false), -1);

    WIN32_FILE_ATTRIBUTE_DATA record{};
    ASSERT_TRUE(client_.RemoteGetFileAttributesEx(Pois("poiupdates.upd").c_str(), &record));
    EXPECT_EQ(record.nFileSizeLow, 160U);
    EXPECT_EQ(record.nFileSizeHigh, 0U);
    EXPECT_EQ(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0U);
    EXPECT_GT(record.ftLastWriteTime.dwHighDateTime, 0x01D00000U) << "a date after 2014";
    ASSERT_TRUE(client_.RemoteGetFileAttributesEx(Pois("backup").c_str(), &record));
    EXPECT_NE(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0U);

    std::uint64_t free_root = 0, free_path = 0;
    EXPECT_TRUE(client_.RemoteGetDiskFreeSpace(nullptr, &free_root));
    EXPECT_TRUE(client_.RemoteGetDiskFreeSpace(kPois, &free_path));
    EXPECT_GT(free_root, 0U);
    EXPECT_GT(free_path, 0U);

    EXPECT_FALSE(client_.RemoteDeleteDirectory(Pois("backup").c_str()));
    EXPECT_EQ(client_.GetResult(), Code(Status::kNotEmpty));
    EXPECT_TRUE(client_.RemoteDeleteFile(Pois("backup\\moved.upd").c_str()));
    EXPECT_FALSE(client_.RemoteDeleteFile(Pois("backup\\moved.upd").c_str()));
    EXPECT_EQ(client_.GetResult(), Code(Status::kNotFound));
    EXPECT_TRUE(client_.RemoteDeleteDirectory(Pois("backup").c_str()));
    ASSERT_TRUE(client_.RemoteCreateDirectory(Pois("tree").c_str()));
    ASSERT_TRUE(client_.RemoteCreateDirectory(Pois("tree\\sub").c_str()));
    WriteWholeFile(Device("tree/sub/a.txt"), "a");
    EXPECT_TRUE(client_.RemoteDeleteTree(Pois("TREE").c_str()));
    EXPECT_FALSE(std::filesystem::exists(Device("tree")));
    EXPECT_FALSE(client_.RemoteDeleteTree("\\"));
    EXPECT_TRUE(client_.Connected());
}

TEST_F(XClientTest, OutParametersStayUntouchedOnFailure) {
    WIN32_FILE_ATTRIBUTE_DATA record;
    std::memset(&record, 0xAA, sizeof record);
    EXPECT_FALSE(client_.RemoteGetFileAttributesEx(Pois("missing").c_str(), &record));
    std::uint64_t free_bytes = 77;
    EXPECT_FALSE(client_.RemoteGetDiskFreeSpace(Pois("missing").c_str(), &free_bytes));
    EXPECT_EQ(free_bytes, 77U);
    char first[CKlxpXClient::kRemoteTextSize] = "first";
    char second[CKlxpXClient::kRemoteTextSize] = "second";
    EXPECT_FALSE(client_.RemoteGetFileInfo(Pois("missing").c_str(), &record, first, second));
    std::uint32_t type = 5, size = 9;
    std::uint8_t data[16] = {1};
    EXPECT_FALSE(client_.RemoteRegQueryValueEx(0x80000002U, "NoSuchValue", &type, data, &size));
    const WIN32_FILE_ATTRIBUTE_DATA untouched = [] {
        WIN32_FILE_ATTRIBUTE_DATA r;
        std::memset(&r, 0xAA, sizeof r);
        return r;
    }();
    EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0);
    EXPECT_STREQ(first, "first");
    EXPECT_STREQ(second, "second");
    EXPECT_EQ(type, 5U);
    EXPECT_EQ(size, 9U);
    EXPECT_EQ(data[0], 1);
}

TEST_F(XClientTest, NamedCommandsGiveRealisticRecords) {
    SYSTEM_POWER_STATUS power{};
    ASSERT_TRUE(client_.RemoteGetSystemPowerStatus(&power));
    EXPECT_EQ(power.ACLineStatus, 1);
    EXPECT_LE(power.BatteryLifePercent, 100);
    MEMORYSTATUS memory{};
    ASSERT_TRUE(client_.RemoteGlobalMemoryStatus(&memory));
    EXPECT_EQ(memory.dwLength, 32U);
    EXPECT_LE(memory.dwAvailPhys, memory.dwTotalPhys);
    char version[128];
    ASSERT_TRUE(client_.RemoteGetImageVersion(version, sizeof version));
    EXPECT_NE(std::string(version).find("(M2)"), std::string::npos) << version;
    char small[8];
    ASSERT_TRUE(client_.RemoteGetImageVersion(small, sizeof small));
    EXPECT_EQ(std::strlen(small), 7U) << "cut to the buffer and terminated";

    EXPECT_TRUE(client_.RemoteFormatPartition("Storage Card"));
    EXPECT_FALSE(client_.RemoteFormatPartition("Q:"));
    std::uint32_t identifier = 12345;
    EXPECT_TRUE(client_.RemoteRegisterWindowMessage("VyoMapRefresh", &identifier));
    EXPECT_EQ(identifier, 12345U) << "the identifier is not written";
    EXPECT_TRUE(client_.RemoteBroadCastMessage(0x8001, 2, -3));

    const std::uint8_t input[5] = {1, 2, 3, 4, 5};
    std::uint8_t output[16] = {};
    std::uint32_t returned = 99;
    ASSERT_TRUE(client_.RemoteKernelIoControl(0x01010054U, input, sizeof input, output, sizeof output, &returned));
    EXPECT_EQ(std::memcmp(output, input, sizeof input), 0);
    EXPECT_EQ(returned, 99U);
    EXPECT_FALSE(client_.RemoteKernelIoControl(1, nullptr, -1, output, sizeof output, &returned));

    std::uint32_t type = 0, size = 4;
    std::uint8_t data[64] = {};
    ASSERT_TRUE(client_.RemoteRegQueryValueEx(0x80000001U, "language", &type, data, &size));
    EXPECT_EQ(type, 4U);
    EXPECT_EQ(size, 4U);
    EXPECT_EQ(data[0] | (data[1] << 8), 0x409);
    size = sizeof data;
    ASSERT_TRUE(client_.RemoteRegQueryValueEx(0x80000002U, "DeviceName", &type, data, &size));
    EXPECT_EQ(type, 1U);
    EXPECT_EQ(size, 14U) << "\"VyoNav\" in UTF-16 with its terminator";
    EXPECT_EQ(data[0], 'V');
    EXPECT_EQ(data[1], 0);
    size = 4;
    EXPECT_FALSE(client_.RemoteRegQueryValueEx(0x80000002U, "DeviceName", &type, data, &size));
    EXPECT_EQ(client_.GetResult(), Code(Status::kMoreData));
    EXPECT_EQ(size, 14U) << "the size the value needs";
}

TEST_F(XClientTest, FileInfoGivesRecordAndBothNames) {
    WriteWholeFile(Device("Zarniks.mtc"), std::string(73, 'z'));
    WriteWholeFile(Device("K\xC3\xB6ln personal.upd"), "k");
    WriteWholeFile(Device("\xD0\x96.upd"), "z");
    WIN32_FILE_ATTRIBUTE_DATA record{};
    char first[CKlxpXClient::kRemoteTextSize], second[CKlxpXClient::kRemoteTextSize];
    ASSERT_TRUE(client_.RemoteGetFileInfo(Pois("ZARNIKS.MTC").c_str(), &record, first, second));
    EXPECT_EQ(record.nFileSizeLow, 73U);
    EXPECT_STREQ(first, "Zarniks.mtc");
    EXPECT_STREQ(second, "ZARNIKS.MTC");
    ASSERT_TRUE(client_.RemoteGetFileInfo(Pois("k\xF6LN PERSONAL.upd").c_str(), &record, first, second));
    EXPECT_STREQ(first, "K\xF6ln personal.upd") << "UTF-16 from the device, Windows-1252 here";
    EXPECT_STREQ(second, "KLNPER~1.UPD");
    ASSERT_TRUE(client_.RemoteGetFileInfo(Pois("%16%04.upd").c_str(), &record, first, nullptr));
    EXPECT_STREQ(first, "%16%04.upd") << "a name outside the code page comes back escaped";
    std::strcpy(second, "kept");
    ASSERT_TRUE(client_.RemoteGetFileInfo(Pois("zarniks.mtc").c_str(), &record, nullptr, second));
    EXPECT_STREQ(second, "kept") << "no first text, no second text";
}

// The walk reads only the list it was given: no call in between (each of which sets the
// shared received length) can make it read past the caller's buffer.
TEST_F(XClientTest, StorageListWalkStaysWithinTheCallersBuffer) {
    char name[CKlxpXClient::kRemoteTextSize];
    std::uint64_t value = 0;
    EXPECT_FALSE(client_.RemoteGetStroageInfo(&value, name)) << "no list received yet";
    const std::vector<std::string> both = {"My Flash Disk", "Storage Card"};
    struct Case {
        std::size_t buffer;  // 38 bytes per first entry, 36 for the second
        std::vector<std::string> names;
    };
    const std::vector<std::function<bool()>> calls_between = {
        [] { return true; },
        [&] {
            char version[200];
            return client_.RemoteGetImageVersion(version, sizeof version);
        },
        [&] {
            const std::vector<std::uint8_t> input(300, 1);
            std::vector<std::uint8_t> output(300);
            std::uint32_t returned = 0;
            return client_.RemoteKernelIoControl(7, input.data(), 300, output.data(), 300, &returned);
        },
    };
    for (const Case& c :
         {Case{1024, both}, Case{74, both}, Case{73, {"My Flash Disk"}}, Case{38, {"My Flash Disk"}}, Case{37, {}}}) {
        for (std::size_t between = 0; between < calls_between.size(); ++between) {
            // Its own allocation of exactly that size, so that AddressSanitizer sees any overrun.
            const std::unique_ptr<unsigned char[]> list(new unsigned char[c.buffer]);
            ASSERT_TRUE(client_.RemoteGetStroageList(list.get(), static_cast<int>(c.buffer)));
            ASSERT_TRUE(calls_between[between]());
            std::vector<std::string> names;
            for (int i = 0; i < 10 && client_.RemoteGetStroageInfo(&value, name); ++i) {
                names.emplace_back(name);
                EXPECT_GT(value, 0U);
            }
            EXPECT_EQ(names, c.names) << c.buffer << " bytes, call between " << between;
        }
    }
}

// A name that does not fit the caller's text is a failure, never an empty name.
TEST_F(XClientTest, FileInfoFailsWhenANameDoesNotFit) {
    // Letters outside the code page come back escaped, six characters each.
    const auto cyrillic = [](int letters, bool escaped) {
        std::string text;
        for (int i = 0; i < letters; ++i) text += escaped ? "%16%04" : "\xD0\x96";
        return text;
    };
    struct Case {
        std::string host;    // UTF-8
        std::string device;  // as the PC spells it
        bool want_names;
        bool ok;
    };
    const Case cases[] = {
        {std::string(255, 'n'), std::string(255, 'n'), true, true},
        {cyrillic(43, false), cyrillic(43, true), true, true},  // 258 characters and the terminator
        {cyrillic(44, false), cyrillic(44, true), true, false},
        {cyrillic(44, false), cyrillic(44, true), false, true},  // the record alone
    };
    for (const Case& c : cases) {
        WriteWholeFile(Device(c.host), "abc");
        WIN32_FILE_ATTRIBUTE_DATA record;
        std::memset(&record, 0xAA, sizeof record);
        char first[CKlxpXClient::kRemoteTextSize] = "first";
        char second[CKlxpXClient::kRemoteTextSize] = "second";
        char* const first_out = c.want_names ? first : nullptr;
        char* const second_out = c.want_names ? second : nullptr;
        const bool ok = client_.RemoteGetFileInfo(Pois(c.device).c_str(), &record, first_out, second_out);
        EXPECT_EQ(ok, c.ok) << c.device.size();
        if (ok) {
            EXPECT_EQ(record.nFileSizeLow, 3U);
            EXPECT_STREQ(first, c.want_names ? c.device.c_str() : "first");
            const std::string short_name = second;
            EXPECT_EQ(short_name != "second" && !short_name.empty(), c.want_names) << short_name;
        } else {
            EXPECT_EQ(client_.GetResult(), Code(Status::kMoreData));
            EXPECT_EQ(record.dwFileAttributes, 0xAAAAAAAAU) << "nothing written on failure";
            EXPECT_STREQ(first, "first");
            EXPECT_STREQ(second, "second");
        }
        std::filesystem::remove(Device(c.host));
    }
}

TEST_F(XClientTest, NavigatorHoldsItsCameraFileUntilStopped) {
    WriteWholeFile(Pc("zarniks.mtc"), "new cameras");
    WriteWholeFile(Pc("shutdown.exe"), "MZ stop");
    WriteWholeFile(Device("zarniks.mtc"), "old cameras");
    EXPECT_FALSE(client_.RemoteCreateProcess("\\shutdown.exe")) << "not on the device yet";
    EXPECT_EQ(client_.GetResult(), Code(Status::kNotFound));
    ASSERT_TRUE(client_.RemoteCreateProcess("\\my flash disk\\vyomap\\vyomap\\vyomap.exe"));
    EXPECT_TRUE(agent_.device().navigator_running);
    client_.SetBlocking(true);
    EXPECT_FALSE(client_.Upload(Pc("zarniks.mtc").c_str(), Pois("zarniks.mtc").c_str(), 1));
    EXPECT_EQ(client_.GetResult(), Code(Status::kSharingViolation));
    EXPECT_FALSE(client_.RemoteDeleteFile(Pois("ZARNIKS.mtc").c_str()));
    EXPECT_FALSE(client_.RemoteDeleteTree(kPois));
    EXPECT_TRUE(client_.Upload(Pc("zarniks.mtc").c_str(), Pois("poiupdates.upd").c_str(), 1)) << "updates stay writable";
    EXPECT_TRUE(client_.Download(Pois("zarniks.mtc").c_str(), Pc("copy.mtc").c_str(), 1)) << "reading is allowed";
    EXPECT_EQ(ReadWholeFile(Device("zarniks.mtc")), "old cameras");

    ASSERT_TRUE(client_.Upload(Pc("shutdown.exe").c_str(), "\\shutdown.exe", 1));
    ASSERT_TRUE(client_.RemoteCreateProcess("\\shutdown.exe"));
    EXPECT_FALSE(agent_.device().navigator_running);
    EXPECT_TRUE(client_.Upload(Pc("zarniks.mtc").c_str(), Pois("zarniks.mtc").c_str(), 1));
    EXPECT_EQ(ReadWholeFile(Device("zarniks.mtc")), "new cameras");
}

TEST_F(XClientTest, PathsCannotEscapeTheDeviceFolder) {
    const std::string outside = pc_.file("secret.txt");
    WriteWholeFile(outside, "secret");
    std::filesystem::create_symlink(pc_.path(), agent_.file("link"));
    const std::string escapes[] = {
        "..\\secret.txt",
        "\\..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd",
        "\\My Flash Disk\\..\\..\\x",
        outside,
        "C:\\secret.txt",
        "\\link\\secret.txt",
        "\\a\\.\\b",
        "\\file:stream",
        "",
    };
    for (const std::string& path : escapes) {
        EXPECT_FALSE(client_.RemoteDeleteFile(path.c_str())) << path;
        EXPECT_EQ(client_.GetResult(), Code(Status::kBadPath)) << path;
        EXPECT_FALSE(client_.Download(path.c_str(), Pc("got").c_str(), 1)) << path;
        EXPECT_FALSE(client_.Upload(outside.c_str(), path.c_str(), 1)) << path;
        EXPECT_EQ(client_.RemoteEnumFiles(path.c_str(), true), -1) << path;
    }
    EXPECT_EQ(ReadWholeFile(outside), "secret");
    EXPECT_FALSE(std::filesystem::exists(Pc("got")));
    EXPECT_TRUE(client_.Connected());
}

TEST_F(XClientTest, DroppedConnectionMidTransferKeepsTheDeviceFile) {
    WriteWholeFile(Device("poiupdates.upd"), "pending changes");
    WriteWholeFile(Pc("big.upd"), std::string(2 << 20, 'b'));
    agent_.device().drop_after_bytes = 1 << 20;
    EXPECT_FALSE(client_.Upload(Pc("big.upd").c_str(), Pois("poiupdates.upd").c_str(), 1));
    EXPECT_EQ(client_.GetResult(), Code(Status::kConnectionLost));
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(ReadWholeFile(Device("poiupdates.upd")), "pending changes");
    EXPECT_EQ(client_.RemoteEnumFiles(kPois, false), -1);
    EXPECT_EQ(client_.GetResult(), Code(Status::kNotConnected));
    ASSERT_TRUE(client_.Connect());
    EXPECT_EQ(client_.RemoteEnumFiles(kPois, false), 1) << "no temporary file left";
    EXPECT_TRUE(client_.Upload(Pc("big.upd").c_str(), Pois("poiupdates.upd").c_str(), 1));
    EXPECT_EQ(ReadWholeFile(Device("poiupdates.upd")).size(), 2U << 20);
}

TEST_F(XClientTest, WindowsStylePcPathsNameFilesOfTheWorkingFolder) {
    TempDir work(true);
    WriteWholeFile(Device("poiupdates.upd"), "changes");
    ASSERT_TRUE(client_.Download(Pois("poiupdates.upd").c_str(), ".\\PoiUpdates.upd", 1));
    EXPECT_EQ(ReadWholeFile(work.file("poiupdates.upd")), "changes");
}

TEST_F(XClientTest, CopyIsADisconnectedClientWithTheSameSettings) {
    ASSERT_TRUE(client_.RemoteCreateDirectory(Pois("x").c_str()));
    EXPECT_FALSE(client_.RemoteCreateDirectory(Pois("x").c_str()));
    const CKlxpXClient copy(client_);
    EXPECT_FALSE(copy.Connected());
    EXPECT_EQ(copy.GetResult(), client_.GetResult());
    EXPECT_TRUE(client_.RemoteDeleteDirectory(Pois("x").c_str())) << "the original keeps its connection";
    CKlxpXClient second(copy);
    EXPECT_FALSE(second.Connect()) << "busy while the original is connected";
    EXPECT_EQ(second.GetResult(), Code(Status::kBusy));
    EXPECT_TRUE(client_.Disconnect());
    EXPECT_TRUE(second.Connect()) << "served at once after the original's goodbye";
}

TEST(XClientNoAgentTest, EveryCallFailsCleanlyWithoutAConnection) {
    CKlxpXClient client;
    client.SetAddress("127.0.0.1:1");
    client.SetTimeout(500);
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(client.GetResult(), Code(Status::kNotConnected));
    EXPECT_STRNE(client.GetStringResult(), "");
    EXPECT_EQ(client.RemoteEnumFiles("\\", false), -1);
    SYSTEM_POWER_STATUS power{};
    EXPECT_FALSE(client.RemoteGetSystemPowerStatus(&power));
    EXPECT_FALSE(client.Disconnect());
}

}  // namespace
}  // namespace klxp
