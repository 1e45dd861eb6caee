// The device link over the transports this build reaches, against a real device agent and a
// folder standing in for a mounted device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "devicekit/klx/klx.h"
#include "devicekit/rapi/rapi.h"
#include "device/drive_detection.h"
#include "temp_dir.h"
#include "tests/devicekit/running_agent.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

TEST(DeviceLink, WithoutAProfileNothingIsConnected) {
    CDeviceLink link;
    EXPECT_FALSE(link.Initialize(0).ok());
    EXPECT_FALSE(link.Connect().ok());
    EXPECT_FALSE(link.CopyToPc(".\\a", "\\a").ok());
    EXPECT_FALSE(link.CopyToDevice(".\\a", "\\a").ok());
    EXPECT_FALSE(link.DeleteOnDevice("\\a").ok());
    EXPECT_FALSE(link.Disconnect().ok());
}

TEST(DeviceLink, MassStorageCopiesWholeFilesWhateverTheLetterCase) {
    testsupport::TempDir pc, drive;
    std::filesystem::create_directories(drive.file("vyomap/VyoMap/VYOTC/pois"));
    WriteWholeFile(drive.file("vyomap/VyoMap/DATA.ZIP"), "zip");
    setenv("ZARNIK_DRIVES", drive.path().c_str(), 1);
    CDeviceLink link;
    link.SetWorkFolder(platform::WorkFolder(pc.path()));
    link.SetProfile(device::ProfileForCode("MA", "ST"));
    ASSERT_TRUE(link.Connect().ok());
    EXPECT_EQ(device::deviceDrive, drive.path());

    WriteWholeFile(pc.file("zarniks.mtc"), "camera file");
    ASSERT_TRUE(link.CopyToDevice(".\\zarniks.mtc", link.cameraFilePath).ok());
    EXPECT_EQ(ReadWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/zarniks.mtc")), "camera file");

    // No updates file yet on the device: nothing to copy, and the PC's stays as it was.
    WriteWholeFile(pc.file("poiupdates.upd"), "kept");
    EXPECT_TRUE(link.CopyToPc(".\\poiupdates.upd", link.personalUpdatesPath).ok());
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), "kept");
    WriteWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/POIUPDATES.UPD"), std::string(160, 'r'));
    ASSERT_TRUE(link.CopyToPc(".\\poiupdates.upd", link.personalUpdatesPath).ok());
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), std::string(160, 'r'));

    ASSERT_TRUE(link.ClearDeviceFile(link.personalUpdatesPath).ok());
    EXPECT_EQ(ReadWholeFile(drive.file("vyomap/VyoMap/VYOTC/pois/POIUPDATES.UPD")), "");
    EXPECT_FALSE(FileExists(pc.file("temp.dat")));
    EXPECT_TRUE(link.DeleteOnDevice(link.cameraFilePath).ok());
    EXPECT_FALSE(FileExists(drive.file("vyomap/VyoMap/VYOTC/pois/zarniks.mtc")));
    EXPECT_FALSE(link.CopyToDevice(".\\zarniks.mtc", "\\No Such Folder\\zarniks.mtc").ok());
    EXPECT_TRUE(link.Disconnect().ok());

    setenv("ZARNIK_DRIVES", pc.path().c_str(), 1);  // no navigator data there
    EXPECT_FALSE(link.Connect().ok());
    unsetenv("ZARNIK_DRIVES");
}

TEST(DeviceLink, TransferProtocolStopsCopiesAndRestartsTheNavigator) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    testsupport::TempDir pc;
    CDeviceLink link;
    link.SetDeviceAddress(agent.address());
    link.SetWorkFolder(platform::WorkFolder(pc.path()));
    link.SetProfile(device::ProfileForCode("M2", "ST"));
    ASSERT_TRUE(link.Initialize(0).ok());
    ASSERT_TRUE(link.Connect().ok());

    link.StopNavigator();  // the stop program comes from the installed data
    EXPECT_FALSE(agent.device().navigator_running);
    WriteWholeFile(pc.file("zarniks.mtc"), std::string(300000, 'c'));
    ASSERT_TRUE(link.CopyToDevice(".\\zarniks.mtc", link.cameraFilePath).ok());
    EXPECT_EQ(ReadWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/zarniks.mtc")),
              std::string(300000, 'c'));
    WriteWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd"), std::string(80, 'u'));
    ASSERT_TRUE(link.CopyToPc(".\\poiupdates.upd", link.personalUpdatesPath).ok());
    EXPECT_EQ(ReadWholeFile(pc.file("poiupdates.upd")), std::string(80, 'u'));
    EXPECT_FALSE(link.CopyToPc(".\\missing.upd", "\\My Flash Disk\\missing.upd").ok());
    EXPECT_FALSE(FileExists(pc.file("missing.upd")));
    ASSERT_TRUE(link.ClearDeviceFile(link.personalUpdatesPath).ok());
    EXPECT_EQ(ReadWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd")), "");

    link.StartNavigator();
    EXPECT_TRUE(agent.device().navigator_running);
    EXPECT_TRUE(link.Disconnect().ok());
}

// The transports of the maker's library and of the remote API, each linked to its own agent.
struct LinkedAgent {
    explicit LinkedAgent(const char* code) {
        std::filesystem::create_directories(agent.file(kCardPoisFolder));
        KLXSetDeviceAddress(agent.address().c_str());
        CeRapiSetDeviceAddress(agent.address().c_str());
        link.SetWorkFolder(platform::WorkFolder(pc.path()));
        link.SetProfile(device::ProfileForCode(code, "ST"));
        link.SetPause([this](int ms) { pauses.push_back(ms); });
    }
    // The device file of the profile's camera file.
    std::string CameraFile() const {
        return agent.file(std::string(link.transport == device::TransportKind::kRapi ? kCardPoisFolder
                                                                                       : testsupport::kPoisFolder) +
                          "/zarniks.mtc");
    }
    std::string DeviceFile(const std::string& name) const {
        return std::filesystem::path(CameraFile()).replace_filename(name).string();
    }

    static constexpr const char* kCardPoisFolder = "Storage Card/VyoMap/VyoTC/pois";
    testsupport::RunningAgent agent{false};
    testsupport::TempDir pc;
    CDeviceLink link;
    std::vector<int> pauses;
};

TEST(DeviceLink, LibraryAndRemoteApiCopyWholeFilesBothWays) {
    for (const char* code : {"M1", "RA"}) {
        SCOPED_TRACE(code);
        LinkedAgent t(code);
        ASSERT_TRUE(t.agent.started());
        ASSERT_TRUE(t.link.Initialize(0).ok());
        ASSERT_TRUE(t.link.Connect().ok());

        WriteWholeFile(t.pc.file("zarniks.mtc"), std::string(250000, 'c'));
        ASSERT_TRUE(t.link.CopyToDevice(".\\zarniks.mtc", t.link.cameraFilePath).ok());
        EXPECT_EQ(ReadWholeFile(t.CameraFile()), std::string(250000, 'c'));
        // Over an existing file too; the remote API's backup goes once the copy is verified.
        WriteWholeFile(t.pc.file("zarniks.mtc"), "newer");
        ASSERT_TRUE(t.link.CopyToDevice(".\\zarniks.mtc", t.link.cameraFilePath).ok());
        EXPECT_EQ(ReadWholeFile(t.CameraFile()), "newer");
        EXPECT_FALSE(FileExists(t.DeviceFile("zarniks.mtc.bak")));

        WriteWholeFile(t.DeviceFile("poiupdates.upd"), std::string(230000, 'u') + "end");
        ASSERT_TRUE(t.link.CopyToPc(".\\poiupdates.upd", t.link.personalUpdatesPath).ok());
        EXPECT_EQ(ReadWholeFile(t.pc.file("poiupdates.upd")), std::string(230000, 'u') + "end");
        EXPECT_TRUE(t.pauses.empty());

        ASSERT_TRUE(t.link.ClearDeviceFile(t.link.personalUpdatesPath).ok());
        EXPECT_EQ(ReadWholeFile(t.DeviceFile("poiupdates.upd")), "");
        EXPECT_FALSE(FileExists(t.pc.file("temp.dat")));
        EXPECT_TRUE(t.link.DeleteOnDevice(t.link.cameraFilePath).ok());
        EXPECT_FALSE(FileExists(t.CameraFile()));
        EXPECT_FALSE(t.link.DeleteOnDevice(t.link.cameraFilePath).ok());
        // The remote API gives its own result: 0 when the connection was closed.
        EXPECT_TRUE(t.link.Disconnect().ok());
    }
}

TEST(DeviceLink, LibraryConnectsOnTheSixthTryAtTheLatest) {
    const struct {
        int refusals;
        int connected;
    } cases[] = {{0, 1}, {5, 1}, {6, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusals);
        LinkedAgent t("M1");
        ASSERT_TRUE(t.agent.started());
        t.agent.faults().RefuseConnections(c.refusals);
        EXPECT_EQ(t.link.Connect().ok(), c.connected == 1);
    }
}

TEST(DeviceLink, LibraryCopiesAreRetriedAfterFiveReconnections) {
    const struct {
        devagent::Step step;
        int failures;
        int result;
    } cases[] = {
        {devagent::Step::kUpload, 5, 1},
        {devagent::Step::kUpload, 6, 0},
        {devagent::Step::kDownload, 5, 1},
        {devagent::Step::kDownload, 6, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.step) << " " << c.failures);
        LinkedAgent t("M1");
        ASSERT_TRUE(t.agent.started());
        ASSERT_TRUE(t.link.Connect().ok());
        WriteWholeFile(t.pc.file("zarniks.mtc"), "pc");
        WriteWholeFile(t.CameraFile(), "device");
        t.agent.faults().Arm(c.step, devagent::FaultKind::kFail, 1, c.failures);
        if (c.step == devagent::Step::kUpload) {
            EXPECT_EQ(t.link.CopyToDevice(".\\zarniks.mtc", t.link.cameraFilePath).ok(), c.result == 1);
            EXPECT_EQ(ReadWholeFile(t.CameraFile()), c.result == 1 ? "pc" : "device");
        } else {
            EXPECT_EQ(t.link.CopyToPc(".\\zarniks.mtc", t.link.cameraFilePath).ok(), c.result == 1);
            EXPECT_EQ(ReadWholeFile(t.pc.file("zarniks.mtc")), c.result == 1 ? "device" : "pc");
        }
    }
}

TEST(DeviceLink, RemoteApiKeepsTheDeviceFileWhenAnUploadCannotBeTrusted) {
    const struct {
        const char* what;
        bool writeProtected;
        devagent::Step step;
        devagent::FaultKind fault;
        int nth;
        int times;
        bool brokenFirst;      // an upload broke off before, leaving the device's file as ".bak"
        const char* leftBak;   // a ".bak" beside a file with data: both stay
        const char* because;
    } cases[] = {
        // The probe cannot be written: nothing on the device is touched.
        {"write-protected", true, devagent::Step::kUpload, devagent::FaultKind::kFail, 1, 0, false, nullptr,
         "refuses writes"},
        // The probe's read-back is whole, the three attempts' read-backs are not.
        {"three bad read-backs", false, devagent::Step::kDownload, devagent::FaultKind::kCorrupt, 2, 3, false, nullptr,
         "reads back equal"},
        // Every attempt's empty device file breaks off as it is created.
        {"no attempt can create the file", false, devagent::Step::kUpload, devagent::FaultKind::kFailMidway, 3, 6,
         false, nullptr, "the earlier file was put back"},
        {"the same after an upload broke off", false, devagent::Step::kUpload, devagent::FaultKind::kFailMidway, 3, 6,
         true, nullptr, "the earlier file was put back"},
        {"a .bak beside a file with data", false, devagent::Step::kUpload, devagent::FaultKind::kFail, 1, 0, false,
         "left", "may hold the only good copy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkedAgent t("RA");
        ASSERT_TRUE(t.agent.started());
        ASSERT_TRUE(t.link.Connect().ok());
        WriteWholeFile(t.CameraFile(), "earlier cameras");
        if (c.leftBak != nullptr) WriteWholeFile(t.DeviceFile("zarniks.mtc.bak"), c.leftBak);
        t.agent.device().refuse_writes = c.writeProtected;
        WriteWholeFile(t.pc.file("zarniks.mtc"), std::string(120000, 'n'));
        if (c.brokenFirst) {
            t.agent.device().drop_after_bytes = 5000;  // past the probe, within the copy
            ASSERT_FALSE(t.link.CopyToDevice(".\\zarniks.mtc", t.link.cameraFilePath).ok());
            ASSERT_EQ(ReadWholeFile(t.DeviceFile("zarniks.mtc.bak")), "earlier cameras");
            ASSERT_TRUE(t.link.Connect().ok());
        }
        if (c.times > 0) t.agent.faults().Arm(c.step, c.fault, c.nth, c.times, 10);
        const device::LinkResult copied = t.link.CopyToDevice(".\\zarniks.mtc", t.link.cameraFilePath);
        EXPECT_EQ(copied.code(), device::LinkCode::kCopyFailed);
        EXPECT_EQ(ReadWholeFile(t.CameraFile()), "earlier cameras");
        EXPECT_EQ(FileExists(t.DeviceFile("zarniks.mtc.bak")), c.leftBak != nullptr);
        EXPECT_EQ(ReadWholeFile(t.DeviceFile("zarniks.mtc.bak")), c.leftBak != nullptr ? c.leftBak : "");
        EXPECT_NE(copied.cause().find("zarniks.mtc on the device (remote API): "), std::string::npos) << copied.cause();
        EXPECT_NE(copied.cause().find(c.because), std::string::npos) << copied.cause();
    }
}

TEST(DeviceLink, RemoteApiDownloadsOnlyWholeFiles) {
    LinkedAgent t("RA");
    ASSERT_TRUE(t.agent.started());
    ASSERT_TRUE(t.link.Connect().ok());
    WriteWholeFile(t.pc.file("poiupdates.upd"), "reports of the PC");

    // A missing file is opened eleven times, with a pause of 700 ms before each retry.
    EXPECT_FALSE(t.link.CopyToPc(".\\poiupdates.upd", t.link.personalUpdatesPath).ok());
    EXPECT_EQ(t.pauses, std::vector<int>(10, 700));
    EXPECT_EQ(ReadWholeFile(t.pc.file("poiupdates.upd")), "reports of the PC");

    // A file the device delivers on the third open: two pauses.
    t.pauses.clear();
    WriteWholeFile(t.DeviceFile("poiupdates.upd"), "reports of the device");
    t.agent.faults().Arm(devagent::Step::kDownload, devagent::FaultKind::kFail, 1, 2);
    EXPECT_TRUE(t.link.CopyToPc(".\\poiupdates.upd", t.link.personalUpdatesPath).ok());
    EXPECT_EQ(t.pauses, std::vector<int>(2, 700));
    EXPECT_EQ(ReadWholeFile(t.pc.file("poiupdates.upd")), "reports of the device");

    // A file that breaks off on its way every time leaves the PC's as it was.
    t.pauses.clear();
    WriteWholeFile(t.pc.file("poiupdates.upd"), "reports of the PC");
    t.agent.faults().Arm(devagent::Step::kDownload, devagent::FaultKind::kFailMidway, 1, 11, 5);
    EXPECT_FALSE(t.link.CopyToPc(".\\poiupdates.upd", t.link.personalUpdatesPath).ok());
    EXPECT_EQ(t.pauses.size(), 10U);
    EXPECT_EQ(ReadWholeFile(t.pc.file("poiupdates.upd")), "reports of the PC");

    // The PC file cannot be created: a failure, not a success with nothing copied.
    std::filesystem::create_directories(t.pc.file("folder.upd"));
    EXPECT_FALSE(t.link.CopyToPc(".\\folder.upd", t.link.personalUpdatesPath).ok());
    EXPECT_TRUE(std::filesystem::is_directory(t.pc.file("folder.upd")));
}

TEST(DeviceLink, TheNavigatorIsStoppedAndStartedAgainOnlyOnFlashDisks) {
    const struct {
        const char* code;
        bool runningAtTheEnd;
    } cases[] = {{"M1", true}, {"RA", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        LinkedAgent t(c.code);
        ASSERT_TRUE(t.agent.started());
        t.agent.device().navigator_running = true;
        ASSERT_TRUE(t.link.Connect().ok());
        t.link.StopNavigator();
        EXPECT_FALSE(t.agent.device().navigator_running);
        EXPECT_TRUE(FileExists(t.agent.file("shutdown.exe")));
        t.link.StartNavigator();
        EXPECT_EQ(t.agent.device().navigator_running, c.runningAtTheEnd);
    }
}

// Each link has a transport and a client of its own: links to two devices and a mounted one,
// all connected at once, each copy reaching its own device; a link that turns to another model
// leaves the other links' connections alone.
TEST(DeviceLink, LinksReachTheirOwnDevicesAtTheSameTime) {
    testsupport::RunningAgent first, second;
    ASSERT_TRUE(first.started() && second.started());
    testsupport::TempDir pc, drive;
    WriteWholeFile(pc.file("zarniks.mtc"), "cameras");
    std::filesystem::create_directories(drive.file("VyoMap/VyoMap/VyoTC/pois"));
    WriteWholeFile(drive.file("VyoMap/VyoMap/data.zip"), "zip");
    setenv("ZARNIK_DRIVES", drive.path().c_str(), 1);
    const std::string pois = std::string(testsupport::kPoisFolder) + "/zarniks.mtc";
    const struct {
        const char* code;
        const testsupport::RunningAgent* agent;
        std::string cameraFile;
    } rows[] = {
        {"M2", &first, first.file(pois)},
        {"M2", &second, second.file(pois)},
        {"MA", nullptr, drive.file("VyoMap/VyoMap/VyoTC/pois/zarniks.mtc")},
    };
    std::vector<std::unique_ptr<CDeviceLink>> links;
    for (const auto& row : rows) {
        links.push_back(std::make_unique<CDeviceLink>());
        links.back()->SetWorkFolder(platform::WorkFolder(pc.path()));
        if (row.agent != nullptr) links.back()->SetDeviceAddress(row.agent->address());
        links.back()->SetProfile(device::ProfileForCode(row.code, ""));
        const device::LinkResult connected = links.back()->Connect();
        ASSERT_TRUE(connected.ok()) << connected.cause();
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(links[i]->CopyToDevice(".\\zarniks.mtc", links[i]->cameraFilePath).ok());
        EXPECT_EQ(ReadWholeFile(rows[i].cameraFile), "cameras");
    }
    links[0]->SetProfile(device::ProfileForCode("MA", ""));
    EXPECT_TRUE(links[1]->DeleteOnDevice(links[1]->cameraFilePath).ok());
    EXPECT_FALSE(FileExists(rows[1].cameraFile));
    EXPECT_TRUE(FileExists(rows[0].cameraFile));
    for (const auto& link : links) EXPECT_TRUE(link->Disconnect().ok());
    unsetenv("ZARNIK_DRIVES");
}

}  // namespace
