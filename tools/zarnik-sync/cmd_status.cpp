// zarnik-sync status: what the window shows at start and on its Synchronise page, headless:
// the start-up exchanges with the service, then the service's and the PC's counts.
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/session.h"
#include "interrupt.h"
#include "terminal_messages.h"
#include "terminal_progress.h"

namespace zsync {

namespace {

// The device box of the Synchronise page: its counts, or why there are none.
void PrintDevice(engine::Session& session, engine::IProgressSink& progress) {
    // Without a profile the device is not connected, and says so; the cause says why.
    const engine::Outcome profile = session.LoadDeviceProfile();
    const engine::DeviceSummary summary = session.QueryDeviceSummary(&progress);
    std::printf("Device:%s%s\n", summary.text.rfind('\n', 0) == 0 ? "" : " ", summary.text.c_str());
    const std::string& cause = profile.ok() ? summary.cause : profile.message();
    std::fflush(stdout);
    if (!cause.empty()) std::fprintf(stderr, "Cause: %s\n", cause.c_str());
}

void PrintInformationMessages(engine::Session& session) {
    engine::InformationMessage message;
    if (!session.OpenInformation(message)) {
        std::printf("Information: no messages\n");
        return;
    }
    do {
        std::printf("Information %d: %s\n", message.id, message.text.c_str());
    } while (session.NextInformation(message));
    session.CloseInformation();
}

}  // namespace

int RunStatus(int timeoutSeconds, const Verbosity& verbosity) {
    if (timeoutSeconds > 0) engine::Session::SetServiceTimeouts(timeoutSeconds);
    engine::Session session;  // the information cache and "AlertID" are rewritten: it takes the folder's lock
    StopAtSafePointOnInterrupt();
    const auto stopped = [] { return Fail(kExitInterrupted, "stopped at a safe point; nothing was lost"); };
    if (const engine::Outcome opened = session.OpenForService(); !opened.ok()) return Fail(kExitFailed, opened);
    if (!session.address_notice().empty() && !verbosity.quiet) {
        std::fprintf(stderr, "zarnik-sync: %s\n", session.address_notice().c_str());
    }
    std::printf("Service: %s\n", session.service_address().c_str());

    TerminalProgress progress(stderr, verbosity);
    session.ReportTransfers(&progress);
    TerminalInformation information(stdout);
    // A user who gives up on a silent service sooner gives up on an endless one sooner as well.
    const int startupLimit = timeoutSeconds > 0 ? 4 * timeoutSeconds : engine::kStartupTimeLimitSeconds;
    engine::StartupExchangesResult startup;
    if (const engine::Outcome answered = session.RunStartupExchanges(progress, information, startupLimit, startup);
        !answered.ok()) {
        session.ReportTransfers(nullptr);
        return Fail(kExitFailed, answered);
    }
    PrintInformationMessages(session);
    // Only an address to download from is named: the service may offer anything.
    if (engine::IsDownloadAddress(startup.updateAddress)) {
        std::printf("Update available at %s\n", startup.updateAddress.c_str());
    }

    if (Interrupted()) {
        session.ReportTransfers(nullptr);
        return stopped();
    }
    PrintDevice(session, progress);
    if (Interrupted()) {
        session.ReportTransfers(nullptr);
        return stopped();
    }
    if (!session.registration_complete()) {
        session.ReportTransfers(nullptr);
        std::printf("PC: the registration data is incomplete; set it with 'zarnik-sync settings set'\n");
        if (const std::string osm = session.OsmCamerasLine(); !osm.empty()) std::printf("%s\n", osm.c_str());
        return kExitOk;
    }
    engine::ServiceSummary summary;
    const engine::Outcome counted = session.QueryServiceSummary(summary);
    session.ReportTransfers(nullptr);
    if (!summary.deviceText.empty()) std::printf("%s\n", summary.deviceText.c_str());
    if (!summary.pcText.empty()) std::printf("%s\n", summary.pcText.c_str());
    // Otherwise the PC's counts carry the line already.
    if (!summary.answered || summary.fullRetrievalDue) {
        if (const std::string osm = session.OsmCamerasLine(); !osm.empty()) std::printf("%s\n", osm.c_str());
    }
    if (!counted.ok() && !counted.cause().empty()) std::fprintf(stderr, "Cause: %s\n", counted.cause().c_str());
    return counted.ok() ? kExitOk : kExitFailed;
}

}  // namespace zsync
