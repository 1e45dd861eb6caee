// zarnik-sync sync: one synchronisation with the service, headless.
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "engine/synchronisation.h"
#include "options.h"
#include "engine/app_config.h"
#include "platform/folder_lock.h"
#include "platform/pc_files.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"
#include "terminal_messages.h"
#include "terminal_progress.h"
#include "working_folder.h"

namespace zsync {

namespace {

constexpr const char* kSyncVersion = "2.0";


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

int RunSync(const Args& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {}, {"--pc-only"}, parsed, error)) return Fail(kExitUsage, error);
    if (!parsed.Has("--pc-only")) {
        return Fail(kExitFailed, "the device is not reachable from this build; use 'sync --pc-only'");
    }
    platform::WorkFolder folder;
    if (!OpenWorkingFolder(folder, error)) return Fail(kExitFailed, error);
    platform::FolderLock lock;
    if (!lock.Acquire(folder.root(), error)) return Fail(kExitFailed, error);
    if (const std::string problem = platform::SettingsStoreProblem(); !problem.empty()) {
        return Fail(kExitFailed, problem);
    }

    AppConfig config;
    platform::StringTable texts;
    if (!LoadStartupSettings(folder, config, texts, true)) return Fail(kExitFailed, "no language pack found");
    platform::Registration who;
    if (!platform::ReadRegistration(who)) {
        return Fail(kExitFailed, "the registration data is incomplete; set it with 'zarnik-sync settings set'");
    }

    CServiceClient client(folder);
    client.SetBaseUrl(config.baseUrl);
    TerminalProgress progress(stderr);
    engine::SyncCounts counts;
    engine::SyncOptions options;
    options.updatesHeldOnlyHere = true;  // no device keeps a copy of the reports
    const std::uint32_t code =
        engine::RunSynchronisation(client, progress, texts, who, kSyncVersion, counts, options);
    if (code != 0) {
        // The synchronisation's failures reach the user as a message with an empty caption.
        TerminalMessages messages(stderr, stdin);
        messages.Show(engine::ErrorTextForCode(code, texts), "", engine::MessageButtons::kOk);
        return kExitFailed;
    }
    PrintSummary(folder, counts, service::CountCameraFileRecords(folder.Path(platform::pcfile::kCameraFile)));
    return kExitOk;
}

}  // namespace zsync
