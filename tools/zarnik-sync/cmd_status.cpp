// zarnik-sync status: what the window shows at start and on its Synchronise page, headless:
// the start-up exchanges with the service, then the service's and the PC's counts.
#include <cstdio>
#include <ctime>
#include <string>

#include "commands.h"
#include "device/device_link.h"
#include "engine/refresh.h"
#include "engine/startup.h"
#include "engine/text_ids.h"
#include "engine/transfer_feedback.h"
#include "platform/internet.h"
#include "platform/folder_lock.h"
#include "platform/registry_store.h"
#include "platform/settings.h"
#include "service/service_client.h"
#include "terminal_messages.h"
#include "terminal_progress.h"
#include "working_folder.h"

namespace zsync {

namespace {

// The device box of the Synchronise page: its counts, or why there are none.
void PrintDevice(const platform::WorkFolder& folder, const platform::StoredSettings& stored,
                 const platform::StringTable& texts) {
    CDeviceLink link;
    link.SetWorkFolder(folder);
    const bool usable =
        stored.deviceSet && link.LoadProfile(stored.device) == 1 && link.transport != device::TransportKind::kNone;
    if (!usable) {
        std::printf("Device: %s\n", texts.Text(engine::text::kDeviceNotConnected).c_str());
        return;
    }
    const engine::DeviceSummary summary = engine::QueryDeviceSummary(link, folder, texts);
    std::printf("Device:%s%s\n", summary.text.rfind('\n', 0) == 0 ? "" : " ", summary.text.c_str());
}

void PrintInformationMessages(CServiceClient& client) {
    std::int32_t identifier = -1;
    char text[sizeof(service::InfoRecord::text)];
    if (client.OpenInfoCache(identifier, text) != service::InfoCacheResult::kDone) {
        std::printf("Information: no messages\n");
        return;
    }
    bool atLast = client.info_count() <= 1;
    bool second = false;
    std::printf("Information %d: %s\n", identifier, text);
    while (!atLast) {
        identifier = client.NextInfoRecord(text, atLast, second);
        std::printf("Information %d: %s\n", identifier, text);
    }
    client.CloseInfoCache();
}

}  // namespace

int RunStatus(int timeoutSeconds, const Verbosity& verbosity) {
    if (timeoutSeconds > 0) platform::inet::SetTimeouts(timeoutSeconds, timeoutSeconds);
    std::string error;
    platform::WorkFolder folder;
    platform::FolderLock lock;  // the information cache and "AlertID" are rewritten
    AppConfig config;
    platform::StringTable texts;
    std::string notice;
    if (!OpenForService(folder, lock, config, texts, error, notice)) return Fail(kExitFailed, error);
    if (!notice.empty() && !verbosity.quiet) std::fprintf(stderr, "zarnik-sync: %s\n", notice.c_str());
    const platform::StoredSettings stored = platform::ReadStoredSettings();
    std::printf("Service: %s\n", config.baseUrl);

    CServiceClient client(folder);
    client.SetBaseUrl(config.baseUrl);
    TerminalProgress progress(stderr, verbosity);
    engine::ReportTransfers(client, &progress);
    TerminalInformation information(stdout);
    // A user who gives up on a silent service sooner gives up on an endless one sooner as well.
    const int startupLimit = timeoutSeconds > 0 ? 4 * timeoutSeconds : engine::kStartupTimeLimitSeconds;
    const engine::StartupExchangesResult startup = engine::RunStartupExchanges(
        client, texts, config.language, stored.alertId, std::time(nullptr), progress, information, startupLimit);
    if (!startup.serviceAnswered) {
        if (!client.failure_cause().empty()) std::fprintf(stderr, "Cause: %s\n", client.failure_cause().c_str());
        return kExitFailed;
    }
    PrintInformationMessages(client);
    // Only an address to download from is named: the service may offer anything.
    if (engine::IsDownloadAddress(startup.updateAddress)) {
        std::printf("Update available at %s\n", startup.updateAddress.c_str());
    }

    PrintDevice(folder, stored, texts);
    platform::Registration who;
    if (!platform::ReadRegistration(who)) {
        std::printf("PC: the registration data is incomplete; set it with 'zarnik-sync settings set'\n");
        return kExitOk;
    }
    const engine::ServiceSummary summary = engine::QueryServiceSummary(client, who, texts);
    engine::ReportTransfers(client, nullptr);
    if (!summary.deviceText.empty()) std::printf("%s\n", summary.deviceText.c_str());
    if (!summary.pcText.empty()) std::printf("%s\n", summary.pcText.c_str());
    if (!summary.answered && !client.failure_cause().empty()) {
        std::fprintf(stderr, "Cause: %s\n", client.failure_cause().c_str());
    }
    return summary.answered ? kExitOk : kExitFailed;
}

}  // namespace zsync
