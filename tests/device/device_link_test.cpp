// The device link over the transports this build reaches, against a real device agent and a
// folder standing in for a mounted device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/device_link.h"
#include "device/drive_detection.h"
#include "temp_dir.h"
#include "tests/devicekit/running_agent.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

TEST(DeviceLink, WithoutAProfileNothingIsConnected) {
    CDeviceLink link;
    EXPECT_EQ(link.Initialize(0), 0);
    EXPECT_EQ(link.Connect(), 0);
    EXPECT_EQ(link.CopyFromDevice("\\a", ".\\a"), 0);
    EXPECT_EQ(link.CopyToDevice(".\\a", "\\a"), 0);
    EXPECT_EQ(link.DeleteOnDevice("\\a"), 0);
    EXPECT_EQ(link.Disconnect(), 0);
}

TEST(DeviceLink, MassStorageCopiesWholeFilesWhateverTheLetterCase) {
    testsupport::TempDir pc, drive;
    std::filesystem::create_directories(drive.file("vyomap/VyoMap/VYOTC/pois"));
    WriteWholeFile(drive.file("vyomap/VyoMap/DATA.ZIP"), "zip");
    setenv("ZARNIK_DRIVES", drive.path().c_str(), 1);
    CDeviceLink link;
    link.SetWorkFolder(platform::WorkFolder(pc.path()));
    link.SetProfile(device::ProfileForCode("MA", "ST"));
    ASSERT_EQ(link.Connect(), 1);
    EXPECT_EQ(device::deviceDrive, drive.path());

    WriteWholeFile(pc.file("zarniks.mtc"), "camera file");
    ASSERT_EQ(link.CopyToDevice(".\\zarniks.mtc", link.cameraFilePath), 1);
    EXPECT_EQ(ReadWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/zarniks.mtc")), "camera file");

    // No updates file yet on the device: nothing to copy, and the PC's stays as it was.
    WriteWholeFile(pc.file("poiupdates.upd"), "kept");
    EXPECT_EQ(link.CopyFromDevice(link.personalUpdatesPath, ".\\poiupdates.upd"), 1);
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), "kept");
    WriteWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/POIUPDATES.UPD"), std::string(160, 'r'));
    ASSERT_EQ(link.CopyFromDevice(link.personalUpdatesPath, ".\\poiupdates.upd"), 1);
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), std::string(160, 'r'));

    ASSERT_EQ(link.ClearDeviceFile(link.personalUpdatesPath), 1);
    EXPECT_EQ(ReadWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/POIUPDATES.UPD")), "");
    EXPECT_FALSE(FileExists(pc.file("temp.dat")));
    EXPECT_EQ(link.DeleteOnDevice(link.cameraFilePath), 1);
    EXPECT_FALSE(FileExists(drive.file("vyomap/VyoMap/VYOTC/pois/zarniks.mtc")));
    EXPECT_EQ(link.CopyToDevice(".\\zarniks.mtc", "\\No Such Folder\\zarniks.mtc"), 0);
    EXPECT_EQ(link.Disconnect(), 1);

    setenv("ZARNIK_DRIVES", pc.path().c_str(), 1);  // no navigator data there
    EXPECT_EQ(link.Connect(), 0);
    unsetenv("ZARNIK_DRIVES");
}

TEST(DeviceLink, TransferProtocolStopsCopiesAndRestartsTheNavigator) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    testsupport::TempDir pc;
    theKlxpClient.SetAddress(agent.address().c_str());
    CDeviceLink link;
    link.SetWorkFolder(platform::WorkFolder(pc.path()));
    link.SetProfile(device::ProfileForCode("M2", "ST"));
    ASSERT_EQ(link.Initialize(0), 1);
    ASSERT_EQ(link.Connect(), 1);

    link.StopNavigator();  // the stop program comes from the installed data
    EXPECT_FALSE(agent.device().navigator_running);
    WriteWholeFile(pc.file("zarniks.mtc"), std::string(300000, 'c'));
    ASSERT_EQ(link.CopyToDevice(".\\zarniks.mtc", link.cameraFilePath), 1);
    EXPECT_EQ(ReadWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/zarniks.mtc")),
              std::string(300000, 'c'));
    WriteWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd"), std::string(80, 'u'));
    ASSERT_EQ(link.CopyFromDevice(link.personalUpdatesPath, ".\\poiupdates.upd"), 1);
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), std::string(80, 'u'));
    EXPECT_EQ(link.CopyFromDevice("\\My Flash Disk\\missing.upd", ".\\missing.upd"), 0);
    EXPECT_FALSE(FileExists(pc.file("missing.upd")));
    ASSERT_EQ(link.ClearDeviceFile(link.personalUpdatesPath), 1);
    EXPECT_EQ(ReadWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd")), "");

    link.StartNavigator();
    EXPECT_TRUE(agent.device().navigator_running);
    EXPECT_EQ(link.Disconnect(), 1);
}

}  // namespace
