// zarnik-sync sync: one synchronisation with the service, headless.
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "engine/session.h"
#include "engine/text_ids.h"
#include "interrupt.h"
#include "terminal_messages.h"
#include "terminal_progress.h"

namespace zsync {

namespace {

// The Synchronise page's summary (text 156) ends with the cameras copied to the device; here no
// device is involved and the camera file stays in the working folder, so the summary says so.
void PrintSummary(const std::string& cameraFile, const engine::SyncCounts& counts, int cameras,
                  const std::string& osmLine) {
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
        const auto file = std::filesystem::absolute(cameraFile, ec).lexically_normal();
        std::printf("Camera file %s: %d zarniks.\n", file.c_str(), cameras);
    } else {
        std::printf("No zarniks in the local cache: no camera file was written.\n");
    }
    if (!osmLine.empty()) std::printf("%s\n", osmLine.c_str());
}

// What the user can do about a failure the command line can mend.
engine::Outcome WithHint(const engine::Outcome& outcome) {
    if (outcome.Is(engine::PcFailure::kNoRegistration)) {
        return {outcome.code(), outcome.message() + "; set it with 'zarnik-sync settings set'", outcome.cause()};
    }
    if (outcome.Is(engine::PcFailure::kNoDeviceChosen)) {
        return {outcome.code(), outcome.message() + "; set it with 'zarnik-sync settings set --device N'",
                outcome.cause()};
    }
    return outcome;
}

// The device road: the device of the chosen model, through its transport.
int SyncWithDevice(engine::Session& session, const Verbosity& verbosity) {
    TerminalProgress progress(stderr, verbosity);
    TerminalMessages messages(stderr, stdin);
    TerminalInformation information(stdout);
    engine::DeviceSyncResult result;
    const engine::Outcome synchronised = session.Synchronise(progress, messages, information, result);
    if (synchronised.Is(engine::PcFailure::kStopped)) return Fail(kExitInterrupted, synchronised);
    if (result.reportsCopied && result.code == 0 && result.reportsKeptOnDevice) {
        // The synchronisation itself went well: a warning, not a failure.
        Fail(kExitFailed, engine::Outcome(engine::PcFailure::kDeviceFiles,
                                          "warning: the personal updates on the device were kept as they are; the "
                                          "service has those read before the synchronisation, and they will be sent "
                                          "again next time",
                                          result.keptBecause));
    }
    if (!synchronised.ok()) return Fail(kExitFailed, WithHint(synchronised));
    // Interrupted during the last step: everything is done, but the user asked to stop.
    return Interrupted() ? Fail(kExitInterrupted, "stopped after the last step; nothing was lost") : kExitOk;
}

}  // namespace

int RunSync(const SyncCommandOptions& options, const Verbosity& verbosity) {
    if (options.timeoutSeconds > 0) engine::Session::SetServiceTimeouts(options.timeoutSeconds);
    engine::Session session;
    StopAtSafePointOnInterrupt();
    session.SetStopRequest(Interrupted);
    if (const engine::Outcome opened = session.OpenForService(); !opened.ok()) return Fail(kExitFailed, opened);
    if (!session.address_notice().empty() && !verbosity.quiet) {
        std::fprintf(stderr, "zarnik-sync: %s\n", session.address_notice().c_str());
    }
    if (!session.registration_complete()) {
        return Fail(kExitFailed, WithHint({engine::PcFailure::kNoRegistration, "the registration data is incomplete"}));
    }
    if (verbosity.verbose) {
        std::fprintf(stderr, "working folder %s\nservice %s\n", session.folder().root().c_str(),
                     session.service_address().c_str());
    }
    if (!options.pcOnly) return SyncWithDevice(session, verbosity);

    TerminalProgress progress(stderr, verbosity);
    TerminalMessages messages(stderr, stdin);
    engine::SyncCounts counts;
    if (const engine::Outcome synchronised = session.SynchroniseOnPc(progress, messages, counts); !synchronised.ok()) {
        // Its message has been shown, unless it was stopped before.
        return Fail(synchronised.Is(engine::PcFailure::kStopped) ? kExitInterrupted : kExitFailed, synchronised);
    }
    if (Interrupted()) return Fail(kExitInterrupted, "stopped after the synchronisation; nothing was lost");
    const std::string cameraFile = session.CameraFilePath();
    if (!verbosity.quiet) {
        int cameras = 0;
        session.CountCameraFile(cameraFile, cameras);
        PrintSummary(cameraFile, counts, cameras, session.OsmCamerasLine());
    }
    if (counts.reportsSetAside > 0) {  // reports not sent are told even to a quiet run
        messages.Show(session.Text(engine::text::kReportsSetAside, {counts.reportsSetAside}),
                      "", engine::MessageButtons::kOk);
        std::fprintf(stderr, "zarnik-sync: they stay in %s\n",
                     session.ReportsFilePath().c_str());
    }
    return kExitOk;
}

}  // namespace zsync
