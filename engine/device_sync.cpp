#include "engine/device_sync.h"

#include <string>
#include <vector>

#include "device/device_link.h"
#include "engine/change_record.h"
#include "engine/text_ids.h"
#include "platform/atomic_file.h"
#include "platform/string_table.h"
#include "platform/version.h"
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
                                       const platform::StringTable& texts, const platform::Registration& who) {
    DeviceSyncResult result;
    const platform::WorkFolder& folder = client.folder();
    link.Initialize(0);
    if (link.Connect() != 1) return result;
    result.connected = true;
    link.StopNavigator();

    folder.Delete(kDeviceCopy);
    // A device on which nothing was ever reported may have no file at all: where the transport
    // can tell, that is an empty file, not a failure that would block every synchronisation.
    bool copied = link.CopyFromDevice(link.personalUpdatesPath, kDeviceCopy) == 1;
    if (!copied && link.FileMissingOnDevice(link.personalUpdatesPath) == 1) {
        platform::AtomicFile empty;
        copied = empty.Open(folder.Path(kDeviceCopy)) && empty.Commit();
    }
    if (!copied || !MergeDeviceReports(folder)) {
        folder.Delete(kDeviceCopy);
        EndOnDevice(link);
        return result;
    }
    result.reportsCopied = true;

    SyncOptions options;
    options.updatesHeldOnlyHere = true;  // it may hold reports the device no longer has
    result.code = RunSynchronisation(client, progress, texts, who, platform::version::kLogon, result.counts, options);
    if (result.code != 0) {
        messages.Show(ErrorTextForCode(result.code, texts), "", MessageButtons::kOk);
        EndOnDevice(link);
        return result;
    }
    // The service holds the reports: the device's file is emptied.
    link.ClearDeviceFile(link.personalUpdatesPath);

    progress.Show();
    progress.SetTitle(texts.Text(text::kRunningTitle));
    progress.SetStep(texts.Text(text::kUploadingToDevice));
    progress.Repaint();
    std::uint32_t personal = 0;
    client.CountLocalCache(result.camerasInCache, personal);
    // An empty cache leaves no camera file: nothing is copied then, and that is a failed copy.
    result.cameraFileCopied = folder.SizeOf(platform::pcfile::kCameraFile) > 0 &&
                              link.CopyToDevice(platform::pcfile::kCameraFile, link.cameraFilePath) == 1;
    progress.Close();

    const SyncCounts& c = result.counts;
    const long long changes = static_cast<long long>(c.changesAdded) + c.changesUpdated + c.changesDeleted;
    const std::string summary =
        result.cameraFileCopied
            ? platform::FormatNumbers(texts.Text(text::kSummary),
                                      {changes, c.personalStored, c.personalAccepted, result.camerasInCache})
            : platform::FormatNumbers(texts.Text(text::kUploadFailedSummary), {changes, c.personalStored, c.personalAccepted});
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
