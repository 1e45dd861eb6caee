// What the refresh tells of the device, against a real device agent: a fresh device, the cause
// of a device that cannot be reached, and a camera file copied only when it changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "devicekit/wire/client_session.h"
#include "engine/device_count.h"
#include "engine/refresh.h"
#include "platform/string_table.h"
#include "service/camera_file/writer.h"
#include "temp_dir.h"
#include "tests/devicekit/running_agent.h"

namespace {

using testsupport::WriteWholeFile;

platform::StringTable English() {
    platform::StringTable texts;
    const char* src = std::getenv("ZARNIK_SOURCE_DIR");
    texts.Load(std::string(src != nullptr ? src : ".") + "/resources/lang", "1033");
    return texts;
}

void WriteCameraFile(const std::string& path, int cameras) {
    std::vector<service::CameraRecord> records(static_cast<std::size_t>(cameras));
    for (int i = 0; i < cameras; ++i) {
        records[static_cast<std::size_t>(i)] = {47000000 + i * 5000, 8000000 + i * 5000, 90, 3, "cam", 50, i + 1, 1};
    }
    ASSERT_EQ(service::BuildCameraFile(records, path), service::CameraFileResult::kWritten);
}

// A link to the agent over the transfer protocol, counting the camera file's copies.
struct CountingLink {
    explicit CountingLink(const std::string& address, const std::string& pcFolder) {
        link.SetWorkFolder(platform::WorkFolder(pcFolder));
        link.SetDeviceAddress(address);
        link.SetProfile(device::ProfileForCode("M2", "ST"));
        link.SetTransferObserver([this](const CDeviceLink::Transfer& t) {
            if (t.finished && t.deviceFile == link.cameraFilePath) ++cameraCopies;
        });
    }
    CDeviceLink link;
    int cameraCopies = 0;
};

TEST(DeviceSummary, AFreshDeviceHasNoCamerasAndANamedCauseOtherwise) {
    enum class Device { kFresh, kNoAgent, kBusy };
    const struct {
        const char* what;
        Device device;
        const char* text;
        const char* cause;
    } cases[] = {
        {"a device without a camera file yet", Device::kFresh, "#Zarniks on device : 0\n", ""},
        {"no agent at the address", Device::kNoAgent, "Device not connected !", "connection refused at 127.0.0.1:"},
        {"another client connected", Device::kBusy, "Device not connected !", "another client is connected"},
    };
    const platform::StringTable texts = English();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir pc;
        devagent::AgentOptions options;
        options.busy_grace_ms = 0;
        testsupport::RunningAgent agent(options);
        ASSERT_TRUE(agent.started());
        std::string address = agent.address();
        klxpwire::ClientSession other;
        if (c.device == Device::kBusy) {
            ASSERT_EQ(other.Open(address, "other"), klxpwire::Status::kOk);
        }
        if (c.device == Device::kNoAgent) agent.agent().Stop();
        CountingLink counting(address, pc.path());
        const engine::DeviceSummary summary = engine::QueryDeviceSummary(counting.link, platform::WorkFolder(pc.path()), texts);
        EXPECT_NE(summary.text.find(c.text), std::string::npos) << summary.text;
        EXPECT_NE(summary.cause.find(c.cause), std::string::npos) << summary.cause;
        EXPECT_EQ(summary.cause.empty(), *c.cause == '\0') << summary.cause;
        EXPECT_EQ(summary.text.find("Failed to get info"), std::string::npos);
    }
}

TEST(DeviceSummary, TheCameraFileIsCopiedOnlyWhenItChanged) {
    testsupport::RunningAgent agent;
    ASSERT_TRUE(agent.started());
    testsupport::TempDir pc;
    const platform::WorkFolder folder(pc.path());
    const std::string onDevice = agent.file(std::string(testsupport::kPoisFolder) + "/zarniks.mtc");
    const platform::StringTable texts = English();
    const struct {
        const char* what;
        int writeCameras;  // 0: leave the device file as it is
        const char* countFile;  // what ".\device.count" holds before the refresh; null: leave it
        int copies;
        int cameras;
    } steps[] = {
        {"first refresh", 30, nullptr, 1, 30},
        {"unchanged", 0, nullptr, 0, 30},
        {"a new camera file", 55, nullptr, 1, 55},
        {"unchanged again", 0, nullptr, 0, 55},
        {"a damaged memory of the count", 0, "ZKDCNT01 cut short", 1, 55},
    };
    CountingLink counting(agent.address(), pc.path());
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.writeCameras > 0) WriteCameraFile(onDevice, s.writeCameras);
        if (s.countFile != nullptr) WriteWholeFile(pc.file("device.count"), s.countFile);
        counting.cameraCopies = 0;
        const engine::DeviceSummary summary = engine::QueryDeviceSummary(counting.link, folder, texts);
        EXPECT_EQ(counting.cameraCopies, s.copies);
        EXPECT_EQ(summary.cameras, s.cameras) << summary.text << summary.cause;
    }
}

}  // namespace
