#include "engine/refresh.h"

#include "device/device_link.h"
#include "engine/change_record.h"
#include "engine/device_count.h"
#include "engine/osm_cameras.h"
#include "engine/synchronisation.h"
#include "engine/text_ids.h"
#include "platform/string_table.h"
#include "platform/version.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"

namespace engine {

namespace {
constexpr const char* kCameraCopy = ".\\refresh.mtc";
constexpr const char* kUpdatesCopy = ".\\refresh.upd";
}  // namespace

namespace {

// The cameras of the device's camera file: none when the transport can tell it is missing (a
// fresh device), the remembered count when its size and time are those remembered, else the
// count of a copy. -1 with the cause when it could not be read.
int CountDeviceCameras(CDeviceLink& link, const platform::WorkFolder& folder, std::string& cause) {
    const device::FileFacts facts = link.Examine(link.cameraFilePath);
    if (facts.state == device::FileFacts::State::kMissing) return 0;
    if (const int remembered = RememberedCameraCount(folder, link.transport, link.cameraFilePath, facts);
        remembered >= 0) {
        return remembered;
    }
    folder.Delete(kCameraCopy);
    const device::LinkResult copied = link.CopyToPc(kCameraCopy, link.cameraFilePath);
    if (!copied.ok()) {
        folder.Delete(kCameraCopy);
        if (link.FileMissingOnDevice(link.cameraFilePath)) return 0;
        cause = copied.cause();
        return -1;
    }
    // A mounted card reports a missing file as copied, and leaves no copy.
    const int cameras =
        folder.SizeOf(kCameraCopy) < 0 ? 0 : service::CountCameraFileRecords(folder.Path(kCameraCopy));
    folder.Delete(kCameraCopy);
    RememberCameraCount(folder, link.transport, link.cameraFilePath, facts, cameras);
    return cameras;
}

}  // namespace

DeviceSummary QueryDeviceSummary(CDeviceLink& link, const platform::WorkFolder& folder,
                                 const platform::StringTable& texts) {
    DeviceSummary summary;
    link.Initialize(0);
    if (const device::LinkResult connected = link.Connect(); !connected.ok()) {
        summary.text = texts.Text(text::kDeviceNotConnected);
        summary.cause = connected.cause();
        return summary;
    }
    summary.connected = true;
    link.StopNavigator();
    const int cameras = CountDeviceCameras(link, folder, summary.cause);
    if (cameras >= 0) {
        summary.read = true;
        summary.cameras = cameras;
        folder.Delete(kUpdatesCopy);
        const std::uint32_t changes = link.CopyToPc(kUpdatesCopy, link.personalUpdatesPath).ok()
                                          ? CountChangeRecords(folder.Path(kUpdatesCopy))
                                          : 0;
        folder.Delete(kUpdatesCopy);
        summary.text = platform::FormatNumbers(texts.Text(text::kDeviceInfo), {cameras, changes});
    } else {
        summary.text = texts.Text(text::kDeviceUnreadable);
    }
    link.StartNavigator();
    link.Disconnect();
    return summary;
}

void RememberDeviceCameraFile(CDeviceLink& link, const platform::WorkFolder& folder, int cameras) {
    RememberCameraCount(folder, link.transport, link.cameraFilePath, link.Examine(link.cameraFilePath), cameras);
}

ServiceSummary QueryServiceSummary(CServiceClient& client, const platform::Registration& who,
                                   const platform::StringTable& texts) {
    ServiceSummary summary;
    std::int32_t changes = 0;
    std::string date;
    const service::Result result = client.QueryUpdates(who, platform::version::kTag, changes, date);
    if (result != service::Result::kOk) {
        summary.code = service::Code(result);
        summary.pcText = ErrorTextForCode(static_cast<std::uint32_t>(service::Code(result)), texts);
        return summary;
    }
    summary.answered = true;
    if (changes == -1) {
        summary.fullRetrievalDue = true;
        summary.deviceText = texts.Text(text::kFullSynchronisationDue);
        return summary;
    }
    std::uint32_t total = 0;
    std::uint32_t personal = 0;
    client.CountLocalCache(total, personal);
    summary.pcText = platform::FormatText(texts.Text(text::kPcInfo), {date},
                                          {static_cast<long long>(total) - personal, personal, changes}) +
                     OsmCamerasLine(client.folder(), texts);
    return summary;
}

}  // namespace engine
