// The stand-ins for the maker's USB library and the remote API, against a real device agent.
#include <gtest/gtest.h>

#include <string>

#include "devicekit/klx/klx.h"
#include "devicekit/rapi/rapi.h"
#include "tests/devicekit/running_agent.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

TEST(Klx, ConnectsExactlyWhenTheAgentServesAndCopiesOnlyThen) {
    testsupport::RunningAgent agent;
    ASSERT_TRUE(agent.started());
    testsupport::TempDir pc;
    KLXSetDeviceAddress(agent.address().c_str());
    WriteWholeFile(pc.file("a.txt"), "a");
    agent.faults().RefuseConnections(1);
    EXPECT_EQ(KLXConnectDevice(), 0);
    EXPECT_EQ(KLXCopyFileToDevice(pc.file("a.txt").c_str(), "\\a.txt"), 0);
    EXPECT_EQ(KLXConnectDevice(), 1);
    EXPECT_NE(KLXCopyFileToDevice(pc.file("a.txt").c_str(), "\\a.txt"), 0);
    EXPECT_EQ(ReadWholeFile(agent.file("a.txt")), "a");
    EXPECT_NE(KLXCopyFileFromDevice("\\a.txt", pc.file("b.txt").c_str()), 0);
    EXPECT_EQ(ReadWholeFile(pc.file("b.txt")), "a");
    EXPECT_EQ(KLXCopyFileFromDevice("\\missing.txt", pc.file("c.txt").c_str()), 0);
    EXPECT_FALSE(FileExists(pc.file("c.txt")));
    EXPECT_NE(KLXDeleteFile("\\a.txt"), 0);
    EXPECT_FALSE(FileExists(agent.file("a.txt")));
}

TEST(Rapi, TheEventTellsWhetherTheDeviceAnswered) {
    testsupport::RunningAgent agent;
    ASSERT_TRUE(agent.started());
    CeRapiSetDeviceAddress(agent.address().c_str());
    RAPIINIT tooSmall;
    tooSmall.cbSize = 8;
    EXPECT_LT(CeRapiInitEx(&tooSmall), 0);

    agent.faults().RefuseConnections(1);
    RAPIINIT refused;
    ASSERT_EQ(CeRapiInitEx(&refused), S_OK);
    ASSERT_NE(refused.heRapiInit, nullptr);
    EXPECT_FALSE(refused.heRapiInit->Wait(750));
    EXPECT_LT(refused.hrRapiInit, 0);

    RAPIINIT init;
    ASSERT_EQ(CeRapiInitEx(&init), S_OK);
    EXPECT_TRUE(init.heRapiInit->Wait(750));
    EXPECT_EQ(CeRapiUninit(), S_OK);
    EXPECT_LT(CeRapiUninit(), 0);
}

TEST(Rapi, FilesAreWholeFileCopiesOfTheDevice) {
    testsupport::RunningAgent agent;
    ASSERT_TRUE(agent.started());
    CeRapiSetDeviceAddress(agent.address().c_str());
    RAPIINIT init;
    ASSERT_EQ(CeRapiInitEx(&init), S_OK);

    // Created empty at the open, filled at the close.
    CeHandle out = CeCreateFile("\\f.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(ReadWholeFile(agent.file("f.dat")), "");
    std::uint32_t done = 0;
    ASSERT_NE(CeWriteFile(out, "hello ", 6, &done, nullptr), 0);
    ASSERT_NE(CeWriteFile(out, "device", 6, &done, nullptr), 0);
    EXPECT_EQ(done, 6U);
    ASSERT_NE(CeCloseHandle(out), 0);
    EXPECT_EQ(ReadWholeFile(agent.file("f.dat")), "hello device");

    CeHandle in = CeCreateFile("\\F.DAT", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(in, nullptr);
    char buffer[8] = {};
    ASSERT_NE(CeReadFile(in, buffer, 8, &done, nullptr), 0);
    EXPECT_EQ(std::string(buffer, done), "hello de");
    ASSERT_NE(CeReadFile(in, buffer, 8, &done, nullptr), 0);
    EXPECT_EQ(std::string(buffer, done), "vice");
    ASSERT_NE(CeReadFile(in, buffer, 8, &done, nullptr), 0);
    EXPECT_EQ(done, 0U);
    EXPECT_EQ(CeWriteFile(in, "x", 1, &done, nullptr), 0);
    EXPECT_NE(CeCloseHandle(in), 0);
    EXPECT_EQ(CeCreateFile("\\none.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), nullptr);

    WriteWholeFile(agent.file("g.dat"), "g");
    EXPECT_EQ(CeMoveFile("\\f.dat", "\\g.dat"), 0);  // no replacing
    EXPECT_EQ(ReadWholeFile(agent.file("g.dat")), "g");
    EXPECT_NE(CeMoveFile("\\f.dat", "\\h.dat"), 0);
    EXPECT_EQ(ReadWholeFile(agent.file("h.dat")), "hello device");
    EXPECT_NE(CeDeleteFile("\\h.dat"), 0);
    EXPECT_EQ(CeDeleteFile("\\h.dat"), 0);

    // Write-protected storage refuses the file at the open.
    agent.device().refuse_writes = true;
    EXPECT_EQ(CeCreateFile("\\g.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
              nullptr);
    EXPECT_EQ(ReadWholeFile(agent.file("g.dat")), "g");
    EXPECT_EQ(CeRapiUninit(), S_OK);
}

}  // namespace
