// zarnik-sync sync: one synchronisation with the service, headless.
#include <cstdio>

#include "commands.h"
#include "engine/synchronisation.h"
#include "options.h"
#include "platform/app_config.h"
#include "platform/pc_files.h"
#include "service/camera_file_writer.h"
#include "service/pc_file_names.h"
#include "service/service_client.h"
#include "terminal_messages.h"
#include "terminal_progress.h"
#include "working_folder.h"

namespace zsync {

namespace {
constexpr unsigned kSummaryText = 156;
constexpr const char* kSyncVersion = "2.0";
}  // namespace

int RunSync(const Args& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {}, {"--pc-only"}, parsed, error)) return Fail(kExitUsage, error);
    if (!parsed.Has("--pc-only")) {
        return Fail(kExitFailed, "the device is not reachable from this build; use 'sync --pc-only'");
    }
    if (!EnterWorkingFolder(error)) return Fail(kExitFailed, error);

    AppConfig config;
    platform::StringTable texts;
    if (!LoadStartupSettings(config, texts, true)) return Fail(kExitFailed, "no language pack found");
    char registrar[256], email[256], serial[256];
    if (!platform::ReadRegistration(registrar, email, serial)) {
        return Fail(kExitFailed, "the registration data is incomplete; set it with 'zarnik-sync settings set'");
    }

    CServiceClient client;
    client.SetBaseUrl(config.baseUrl);
    TerminalProgress progress(stderr);
    engine::SyncCounts counts;
    const std::uint32_t code =
        engine::RunSynchronisation(client, progress, texts, registrar, email, serial, kSyncVersion, counts);
    if (code != 0) {
        // The synchronisation's failures reach the user as a message with an empty caption.
        TerminalMessages messages(stderr, stdin);
        messages.Show(engine::ErrorTextForCode(code, texts), "", engine::MessageButtons::kOk);
        return kExitFailed;
    }

    const int cameras = service::CountCameraFileRecords(platform::PcPath(pcfile::kCameraFile));
    const long long changes = static_cast<long long>(counts.changesAdded) + counts.changesUpdated + counts.changesDeleted;
    std::printf("%s\n", platform::FormatNumbers(texts.Text(kSummaryText),
                                                {changes, counts.personalStored, counts.personalAccepted, cameras})
                            .c_str());
    return kExitOk;
}

}  // namespace zsync
