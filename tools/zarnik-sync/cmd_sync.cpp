// zarnik-sync sync: one synchronisation with the service, headless.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "commands.h"
#include "device/device_link.h"
#include "engine/app_config.h"
#include "engine/device_sync.h"
#include "engine/synchronisation.h"
#include "engine/text_ids.h"
#include "engine/transfer_feedback.h"
#include "platform/internet.h"
#include "platform/folder_lock.h"
#include "platform/pc_files.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "platform/version.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"
#include "terminal_messages.h"
#include "terminal_progress.h"
#include "working_folder.h"

namespace zsync {

namespace {

constexpr const char* kSyncVersion = platform::version::kLogon;

// The Synchronise page's summary (text 156) ends with the cameras copied to the device; here no
// device is involved and the camera file stays in the working folder, so the summary says so.
void PrintSummary(const platform::WorkFolder& folder, const engine::SyncCounts& counts, int cameras) {
    std::printf("Synchronisation has been completed successfully.\n\n");
    if (counts.fullRetrieval) {
        std::printf("Full retrieval: the local cache holds %d cameras.\n", counts.changesAdded);
    } else {
        std::printf("Changes downloaded to the local cache: %d added, %d updated, %d deleted.\n",
                    counts.changesAdded, counts.changesUpdated, counts.changesDeleted);
    }
    std::printf("Personal zarniks added to your personal store: %d; accepted by Vyo: %d.\n", counts.personalStored,
                counts.personalAccepted);
    if (cameras > 0) {
        std::error_code ec;
        const auto file = std::filesystem::absolute(folder.Path(platform::pcfile::kCameraFile), ec).lexically_normal();
        std::printf("Camera file %s: %d zarniks.\n", file.c_str(), cameras);
    } else {
        std::printf("No zarniks in the local cache: no camera file was written.\n");
    }
}

}  // namespace

// The line under the message of a failure: what went wrong underneath, when it is known.
// A failure to write the PC files that the transport did not explain is looked into here: the
// working folder refusing writes, or a full disk, are the usual reasons.
std::string FolderCause(const platform::WorkFolder& folder) {
    if (::access(folder.root().c_str(), W_OK) != 0) {
        return "cannot write in " + folder.root() + ": " + std::strerror(errno);
    }
    struct statvfs space {};
    if (::statvfs(folder.root().c_str(), &space) == 0 && space.f_bavail == 0) {
        return "cannot write in " + folder.root() + ": " + std::strerror(ENOSPC);
    }
    return {};
}

void PrintCause(const CServiceClient& client, std::uint32_t code) {
    std::string cause = client.failure_cause();
    const bool fileFailure = code == static_cast<std::uint32_t>(service::Code(service::Result::kCameraFileFailed)) ||
                             code == static_cast<std::uint32_t>(service::Code(service::Result::kLocalCacheFailed));
    if (fileFailure && cause.empty()) cause = FolderCause(client.folder());
    if (!cause.empty()) std::fprintf(stderr, "Cause: %s\n", cause.c_str());
}

namespace {

// A message, and under it what went wrong underneath when that is known.
int FailWithCause(const std::string& message, const std::string& cause) {
    Fail(kExitFailed, message);
    if (!cause.empty()) std::fprintf(stderr, "Cause: %s\n", cause.c_str());
    return kExitFailed;
}

}  // namespace

// The device road: the device of the chosen model, through its transport.
int SyncWithDevice(const platform::WorkFolder& folder, CServiceClient& client, const platform::StringTable& texts,
                   const platform::Registration& who, const Verbosity& verbosity) {
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    if (!stored.deviceSet) {
        return Fail(kExitFailed, "no device model is chosen; set it with 'zarnik-sync settings set --device N'");
    }
    CDeviceLink link;
    link.SetWorkFolder(folder);
    if (link.LoadProfile(stored.device) != 1) {
        return Fail(kExitFailed, device::kDevicesIniMissingText);
    }
    if (link.transport == device::TransportKind::kNone) {
        return Fail(kExitFailed, "device model " + std::to_string(stored.device) + " is not in devices.ini");
    }
    TerminalProgress progress(stderr, verbosity);
    engine::ReportTransfers(client, &progress);
    TerminalMessages messages(stderr, stdin);
    TerminalInformation information(stdout);
    const engine::DeviceSyncResult result =
        engine::SynchroniseWithServer(client, link, progress, messages, information, texts, who);
    engine::ReportTransfers(client, nullptr);
    if (!result.connected) return FailWithCause(texts.Text(engine::text::kDeviceNotConnected), result.cause);
    if (!result.reportsCopied) {
        return FailWithCause("the personal updates could not be copied from the device; nothing was changed", result.cause);
    }
    if (result.code != 0) {  // the message has been shown
        PrintCause(client, result.code);
        return kExitFailed;
    }
    if (result.reportsKeptOnDevice) {
        // The synchronisation itself went well: a warning, not a failure.
        FailWithCause("warning: the personal updates on the device were kept as they are; the service has those "
                      "read before the synchronisation, and they will be sent again next time",
                      result.keptBecause);
    }
    if (!result.cameraFileCopied) {
        return FailWithCause("the new camera file could not be copied to the device", result.cameraFileCause);
    }
    return kExitOk;
}

int RunSync(const SyncCommandOptions& options, const Verbosity& verbosity) {
    if (options.timeoutSeconds > 0) platform::inet::SetTimeouts(options.timeoutSeconds, options.timeoutSeconds);
    std::string error;
    platform::WorkFolder folder;
    platform::FolderLock lock;
    AppConfig config;
    platform::StringTable texts;
    std::string notice;
    if (!OpenForService(folder, lock, config, texts, error, notice)) return Fail(kExitFailed, error);
    if (!notice.empty() && !verbosity.quiet) std::fprintf(stderr, "zarnik-sync: %s\n", notice.c_str());
    platform::Registration who;
    if (!platform::ReadRegistration(who)) {
        return Fail(kExitFailed, "the registration data is incomplete; set it with 'zarnik-sync settings set'");
    }

    CServiceClient client(folder);
    client.SetBaseUrl(config.baseUrl);
    if (verbosity.verbose) {
        std::fprintf(stderr, "working folder %s\nservice %s\n", folder.root().c_str(), config.baseUrl);
    }
    if (!options.pcOnly) return SyncWithDevice(folder, client, texts, who, verbosity);
    TerminalProgress progress(stderr, verbosity);
    engine::ReportTransfers(client, &progress);
    engine::SyncCounts counts;
    engine::SyncOptions syncOptions;
    syncOptions.updatesHeldOnlyHere = true;  // no device keeps a copy of the reports
    const std::uint32_t code =
        engine::RunSynchronisation(client, progress, texts, who, kSyncVersion, counts, syncOptions);
    engine::ReportTransfers(client, nullptr);
    if (code != 0) {
        // The synchronisation's failures reach the user as a message with an empty caption.
        TerminalMessages messages(stderr, stdin);
        messages.Show(engine::ErrorTextForCode(code, texts), "", engine::MessageButtons::kOk);
        PrintCause(client, code);
        return kExitFailed;
    }
    if (!verbosity.quiet) {
        PrintSummary(folder, counts, service::CountCameraFileRecords(folder.Path(platform::pcfile::kCameraFile)));
    }
    if (counts.reportsSetAside > 0) {  // reports not sent are told even to a quiet run
        TerminalMessages messages(stderr, stdin);
        messages.Show(platform::FormatNumbers(texts.Text(engine::text::kReportsSetAside), {counts.reportsSetAside}), "",
                      engine::MessageButtons::kOk);
        std::fprintf(stderr, "zarnik-sync: they stay in %s\n", folder.Path(platform::pcfile::kPersonalUpdates).c_str());
    }
    return kExitOk;
}

}  // namespace zsync
