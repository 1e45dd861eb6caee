#include "engine/device_sync.h"

#include <string>
#include <vector>

#include "device/device_link.h"
#include "engine/change_record.h"
#include "engine/refresh.h"
#include "engine/reports_on_device.h"
#include "engine/osm_cameras.h"
#include "engine/text_ids.h"
#include "platform/atomic_file.h"
#include "platform/string_table.h"
#include "platform/version.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"

namespace engine {

namespace {

constexpr const char* kDeviceCopy = ".\\device.upd";  // private: never the user's own file

// The PC's pending reports, then the device's that are not among them, whole records only.
bool MergeDeviceReports(const platform::WorkFolder& folder) {
    std::vector<ChangeRecord> pc;
    std::vector<ChangeRecord> device;
    if (!ReadChangeRecords(folder.Path(platform::pcfile::kPersonalUpdates), pc) ||
        !ReadChangeRecords(folder.Path(kDeviceCopy), device)) {
        return false;
    }
    const std::vector<ChangeRecord> merged = MergeReports(pc, device);
    platform::AtomicFile out;
    const bool written = out.Open(folder.Path(platform::pcfile::kPersonalUpdates)) &&
                         out.Write(merged.data(), merged.size() * sizeof(ChangeRecord)) && out.Commit();
    folder.Delete(kDeviceCopy);
    return written;
}

void EndOnDevice(CDeviceLink& link) {
    link.StartNavigator();
    link.Disconnect();
}

}  // namespace

DeviceSyncResult SynchroniseWithServer(CServiceClient& client, CDeviceLink& link, IProgressSink& progress,
                                       IMessageSink& messages, IInformationSink& information,
                                       const platform::StringTable& texts, const platform::Registration& who,
                                       const std::function<bool()>& stopRequested) {
    DeviceSyncResult result;
    const auto stopHere = [&](const char* where) {
        if (!stopRequested || !stopRequested()) return false;
        result.stopped = true;
        result.stoppedWhere = where;
        return true;
    };
    const platform::WorkFolder& folder = client.folder();
    link.Initialize(0);
    if (const device::LinkResult connected = link.Connect(); !connected.ok()) {
        result.cause = connected.cause();
        return result;
    }
    result.connected = true;
    link.StopNavigator();
    if (stopHere("before the device's reports were read")) {
        EndOnDevice(link);
        return result;
    }

    // A report altered on its way would be sent as it arrived and then deleted on the device:
    // only bytes that two reads agree on go further.
    std::string sent;
    if (!ReadReportsSteadily(link, folder, kDeviceCopy, sent, result.cause) || !MergeDeviceReports(folder)) {
        if (result.cause.empty()) {
            result.cause = "the device's reports could not be added to " + folder.Path(platform::pcfile::kPersonalUpdates);
        }
        folder.Delete(kDeviceCopy);
        EndOnDevice(link);
        return result;
    }
    result.reportsCopied = true;
    // The reports are in ".\poiupdates.upd" and still on the device: the next run sends them.
    if (stopHere("before the service was asked; the device's reports are kept")) {
        EndOnDevice(link);
        return result;
    }

    SyncOptions options;
    options.updatesHeldOnlyHere = true;  // it may hold reports the device no longer has
    result.code = RunSynchronisation(client, progress, texts, who, platform::version::kLogon, result.counts, options);
    if (result.code != 0) {
        messages.Show(ErrorTextForCode(result.code, texts), "", MessageButtons::kOk);
        EndOnDevice(link);
        return result;
    }
    // The service holds the reports. The device's file is emptied only while it holds exactly
    // what was sent: anything else (reports written meanwhile, say on a mass-storage device
    // where the navigation program keeps running) would go with it.
    std::string now;
    std::string why;
    const bool unchanged = ReadReportsOnce(link, folder, kDeviceCopy, now, why) && now == sent;
    folder.Delete(kDeviceCopy);
    if (!unchanged) {
        result.reportsKeptOnDevice = true;
        result.keptBecause = !why.empty() ? why
                                          : std::string(link.personalUpdatesPath) +
                                                " no longer reads as it did before the synchronisation";
    } else if (const device::LinkResult cleared = link.ClearDeviceFile(link.personalUpdatesPath); !cleared.ok()) {
        result.reportsKeptOnDevice = true;
        result.keptBecause = cleared.cause();
    }

    if (stopHere("after the service took the reports, before the camera file was copied to the device")) {
        folder.Delete(platform::pcfile::kCameraFile);
        EndOnDevice(link);
        return result;
    }
    progress.Show();
    progress.SetTitle(texts.Text(text::kRunningTitle));
    progress.SetStep(texts.Text(text::kUploadingToDevice));
    progress.Repaint();
    std::uint32_t personal = 0;
    client.CountLocalCache(result.camerasInCache, personal);
    // An empty cache leaves no camera file: nothing is copied then, and that is a failed copy.
    if (folder.SizeOf(platform::pcfile::kCameraFile) <= 0) {
        result.cameraFileCause = "the local cache holds no cameras, so no camera file was made";
    } else if (const device::LinkResult copied = link.CopyToDevice(platform::pcfile::kCameraFile, link.cameraFilePath);
               copied.ok()) {
        result.cameraFileCopied = true;
        RememberDeviceCameraFile(link, folder, service::CountCameraFileRecords(folder.Path(platform::pcfile::kCameraFile)));
    } else {
        result.cameraFileCause = copied.cause();
    }
    progress.Close();

    const SyncCounts& c = result.counts;
    const long long changes = static_cast<long long>(c.changesAdded) + c.changesUpdated + c.changesDeleted;
    const std::string osmLine = OsmCamerasLine(folder, texts);
    const std::string summary =
        (result.cameraFileCopied
            ? platform::FormatNumbers(texts.Text(text::kSummary),
                                      {changes, c.personalStored, c.personalAccepted, result.camerasInCache})
            : platform::FormatNumbers(texts.Text(text::kUploadFailedSummary), {changes, c.personalStored, c.personalAccepted})) +
        (osmLine.empty() ? std::string() : "\n\n" + osmLine);
    information.ShowInformation(texts.Text(text::kSummaryCaption), texts.Text(text::kOkButton), summary);
    if (c.reportsSetAside > 0) {
        messages.Show(platform::FormatNumbers(texts.Text(text::kReportsSetAside), {c.reportsSetAside}), "",
                      MessageButtons::kOk);
    }
    folder.Delete(platform::pcfile::kCameraFile);
    EndOnDevice(link);
    return result;
}

}  // namespace engine
