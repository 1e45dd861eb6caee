// zarnik-sync sync with a device, as a user runs it: the reference service, and the device
// emulated by a running agent (transfer protocol) or a folder standing in for its storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "device_reports.h"
#include "run_tool.h"
#include "service/cache_file.h"
#include "service/camera_file/writer.h"
#include "tests/devicekit/running_agent.h"
#include "tool_fixture.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;
using tooltest::RunZarnikSync;

class DeviceSync : public tooltest::ToolWithService {
protected:
    void Choose(int model) {
        ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial,
                                 "--email", poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/",
                                 "--device", std::to_string(model)},
                                work_.path())
                      .status,
                  0);
    }
    static std::string Reports(int batch) { return testsupport::DeviceReports(batch); }
};

// Models 0, 2, 4 and 6 of the installed devices.ini: the maker's USB library and the transfer
// protocol, both with a restart, mass storage, and the remote API (no restart).
TEST_F(DeviceSync, EachTransportCarriesReportsInAndTheCameraFileOut) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    testsupport::TempDir drive;
    std::filesystem::create_directories(drive.file("VyoMap/VyoMap/VyoTC/pois"));
    WriteWholeFile(drive.file("VyoMap/VyoMap/DATA.ZIP"), "zip");  // found whatever its case
    std::filesystem::create_directories(agent.file("Storage Card/VyoMap/VyoTC/pois"));
    setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);
    setenv("ZARNIK_DRIVES", drive.path().c_str(), 1);
    const struct {
        std::string pois;
        const char* name;
        int model;
        bool restarts;
    } transports[] = {
        {agent.file(testsupport::kPoisFolder), "USB library", 0, true},
        {agent.file(testsupport::kPoisFolder), "transfer protocol", 2, true},
        {drive.file("VyoMap/VyoMap/VyoTC/pois"), "mass storage", 4, false},
        {agent.file("Storage Card/VyoMap/VyoTC/pois"), "remote API", 6, false},
    };
    int personal = 0;
    for (const auto& t : transports) {
        SCOPED_TRACE(t.name);
        Choose(t.model);
        WriteWholeFile(t.pois + "/poiupdates.upd", Reports(t.model));
        personal += 2;

        StopServer();  // a failed synchronisation leaves the device's reports where they are
        auto run = RunZarnikSync({"sync"}, work_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(ReadWholeFile(t.pois + "/poiupdates.upd"), Reports(t.model));
        if (t.restarts) {
            EXPECT_TRUE(agent.device().navigator_running);  // started again after the failure
        }
        StartServer();

        run = RunZarnikSync({"sync"}, work_.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("Synchronization: Synchronisation has been completed successfully."), std::string::npos)
            << run.out;
        EXPECT_EQ(ReadWholeFile(t.pois + "/poiupdates.upd"), "");  // the service has them
        EXPECT_EQ(service::CountCameraFileRecords(t.pois + "/zarniks.mtc"), 12 + personal);
        EXPECT_FALSE(testsupport::FileExists(work_.file("home/zarniks.mtc")));
        EXPECT_FALSE(testsupport::FileExists(work_.file("home/poiupdates.upd")));
        if (t.restarts) {
            EXPECT_TRUE(agent.device().navigator_running);
        }
        EXPECT_FALSE(testsupport::FileExists(t.pois + "/zarniks.mtc.bak"));

        // What the Synchronise page would show, without touching the working folder's files.
        WriteWholeFile(work_.file("home/poiupdates.upd"), "pending");
        run = RunZarnikSync({"status"}, work_.path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("#Zarniks on device : " + std::to_string(12 + personal) + "\n"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("#Changes on device : 0\n"), std::string::npos) << run.out;
        EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), "pending");
        std::filesystem::remove(work_.file("home/poiupdates.upd"));
    }
}

// A fault at each step the device takes part in: until the service has the reports, the
// device keeps them, and a report altered on its way is neither sent nor lost; the navigation
// program always runs again at the end.
TEST_F(DeviceSync, AFaultAtEachDeviceStepLosesNoReport) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);
    Choose(2);
    const std::string pois = agent.file(testsupport::kPoisFolder);
    using devagent::FaultKind;
    using devagent::Step;
    const struct {
        const char* name;
        Step step;
        FaultKind kind;
        int nth;
        int status;
        bool reportsStay;   // the device's file is not emptied
        const char* says;
        const char* cause;  // the line under it: which file, which transport step ...
        const char* why;    // ... and why
    } faults[] = {
        // Downloads: the reports until two reads agree, then once more before they are emptied;
        // uploads: the stop program, the emptied reports, then the camera file.
        {"reports cannot be read", Step::kDownload, FaultKind::kFail, 1, 1, true, "could not be copied from the device",
         "\nCause: copying \\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\poiupdates.upd from the device to ",
         " (transfer protocol): Input/output error on the device\n"},
        {"camera file cannot be written", Step::kUpload, FaultKind::kFail, 3, 1, false,
         "failed to upload data to device", "\nCause: copying ",
         "zarniks.mtc on the device (transfer protocol): Input/output error on the device\n"},
        {"the first read altered on its way", Step::kDownload, FaultKind::kCorrupt, 1, 0, false,
         "completed successfully", nullptr, nullptr},
        {"the file reads otherwise before it is emptied", Step::kDownload, FaultKind::kCorrupt, 3, 0, true,
         "were kept as they are", "\nCause: \\My Flash Disk\\", "poiupdates.upd no longer reads as it did"},
    };
    for (int i = 0; i < static_cast<int>(std::size(faults)); ++i) {
        const auto& f = faults[i];
        SCOPED_TRACE(f.name);
        const std::string reports = Reports(10 + i);
        WriteWholeFile(pois + "/poiupdates.upd", reports);
        ASSERT_TRUE(agent.faults().Arm(f.step, f.kind, f.nth));
        const auto run = RunZarnikSync({"sync"}, work_.path());
        agent.faults().Clear();
        EXPECT_EQ(run.status, f.status) << run.err;
        EXPECT_NE((run.out + run.err).find(f.says), std::string::npos) << run.out << run.err;
        EXPECT_EQ(run.err.find("Cause:") != std::string::npos, f.cause != nullptr) << run.err;
        for (const char* part : {f.cause, f.why}) {
            EXPECT_NE(run.err.find(part != nullptr ? part : ""), std::string::npos) << run.err;
        }
        EXPECT_EQ(ReadWholeFile(pois + "/poiupdates.upd"), f.reportsStay ? reports : "");
        EXPECT_TRUE(agent.device().navigator_running);
        if (f.status != 0) continue;
        // The second step brings the service's copy of the reports back: the positions as reported.
        std::vector<service::CameraRecord> cache;
        ASSERT_TRUE(service::ReadCacheFile(work_.file("home/local.cache"), cache));
        std::vector<std::int32_t> latitudes;
        for (const service::CameraRecord& r : cache) {
            if (r.longitude == 30000000 + (10 + i) * 1000000) latitudes.push_back(r.latitude);
        }
        std::sort(latitudes.begin(), latitudes.end());
        EXPECT_EQ(latitudes, (std::vector<std::int32_t>{-20100000, -20000000}));
    }
}

// Reports kept in the working folder (an earlier headless run) and the device's are sent
// together, each once; a record no report could be stays on the PC, and the user is told.
TEST_F(DeviceSync, ReportsKeptOnThePcAndOnTheDeviceAreSentOnce) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);
    Choose(2);
    std::filesystem::create_directories(work_.file("home"));
    WriteWholeFile(work_.file("home/poiupdates.upd"), Reports(20));  // records a and b
    WriteWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd"),
                   Reports(20).substr(80) + std::string(80, '\x7f') + Reports(21).substr(0, 80));  // b, ?, c
    const auto run = RunZarnikSync({"sync"}, work_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3 Personal zarniks have been added"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("1 personal updates could not be read"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(work_.file("home/poiupdates.upd")), std::string(80, '\x7f'));
    EXPECT_EQ(ReadWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd")), "");
}

// Ctrl-C (or SIGTERM) while the camera file goes to the device: the run says it stops at the next
// safe point, stops there with every file whole, and exits 130; the service had the reports, so
// the device's are emptied, and nothing half-written is left on either side.
TEST_F(DeviceSync, AnInterruptStopsAtTheNextSafePointWithNothingLost) {
    testsupport::RunningAgent agent(true);
    ASSERT_TRUE(agent.started());
    setenv("ZARNIK_DEVICE", agent.address().c_str(), 1);
    Choose(2);
    const std::string pois = agent.file(testsupport::kPoisFolder);
    const struct {
        const char* name;
        int signal;
    } signals[] = {{"Ctrl-C", SIGINT}, {"SIGTERM", SIGTERM}};
    for (const auto& s : signals) {
        SCOPED_TRACE(s.name);
        WriteWholeFile(pois + "/poiupdates.upd", Reports(30 + s.signal));
        agent.device().slow_kib_per_second = 1;  // the camera file takes seconds
        const auto run = tooltest::RunZarnikSyncSignalled({"sync"}, work_.path(), "Uploading to device", s.signal);
        agent.device().slow_kib_per_second = 0;
        EXPECT_EQ(run.status, 130) << run.err;
        EXPECT_NE(run.err.find("stopping at the next safe point"), std::string::npos) << run.err;
        EXPECT_EQ(ReadWholeFile(pois + "/poiupdates.upd"), "");  // the service confirmed them
        EXPECT_GT(service::CountCameraFileRecords(pois + "/zarniks.mtc"), 12);
        std::vector<service::CameraRecord> cache;
        EXPECT_TRUE(service::ReadCacheFile(work_.file("home/local.cache"), cache));
        for (const std::string& folder : {work_.file("home"), pois}) {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos) << entry.path();
            }
        }
    }
}

}  // namespace
