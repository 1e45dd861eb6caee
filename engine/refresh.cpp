#include "engine/refresh.h"

#include "device/device_link.h"
#include "engine/change_record.h"
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

DeviceSummary QueryDeviceSummary(CDeviceLink& link, const platform::WorkFolder& folder,
                                 const platform::StringTable& texts) {
    DeviceSummary summary;
    link.Initialize(0);
    if (link.Connect() != 1) {
        summary.text = texts.Text(text::kDeviceNotConnected);
        return summary;
    }
    summary.connected = true;
    link.StopNavigator();
    folder.Delete(kCameraCopy);
    folder.Delete(kUpdatesCopy);
    if (link.CopyToPc(kCameraCopy, link.cameraFilePath) == 1) {
        summary.read = true;
        const int cameras = service::CountCameraFileRecords(folder.Path(kCameraCopy));
        const std::uint32_t changes = link.CopyToPc(kUpdatesCopy, link.personalUpdatesPath) == 1
                                          ? CountChangeRecords(folder.Path(kUpdatesCopy))
                                          : 0;
        summary.text = platform::FormatNumbers(texts.Text(text::kDeviceInfo), {cameras, changes});
    } else {
        summary.text = texts.Text(text::kDeviceUnreadable);
    }
    folder.Delete(kCameraCopy);
    folder.Delete(kUpdatesCopy);
    link.StartNavigator();
    link.Disconnect();
    return summary;
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
