#pragma once
#include <cstdint>
#include <string>

#include "engine/user_feedback.h"

class CServiceClient;
namespace platform {
class StringTable;
struct Registration;
}

namespace engine {

// The counts of one synchronisation, for the summary the user sees.
struct SyncCounts {
    std::int32_t changesAdded = 0;
    std::int32_t changesUpdated = 0;
    std::int32_t changesDeleted = 0;
    std::int32_t personalStored = 0;
    std::int32_t personalAccepted = 0;
    bool fullRetrieval = false;  // changesAdded then counts the whole rebuilt cache
    // Records of ".\poiupdates.upd" that are no readable reports: not sent, and kept in the file.
    std::int32_t reportsSetAside = 0;
};

struct SyncOptions {
    // No device keeps the personal updates: ".\poiupdates.upd" is their only copy, so it stays
    // until the service has confirmed them and the second step has stored its answer.
    bool updatesHeldOnlyHere = false;
};

// One synchronisation on the PC, from the logon to the finished ".\zarniks.mtc", in the working
// folder: ".\poiupdates.upd" in, ".\local.cache" brought up to date. Gives 0 or a result code;
// the counts are meaningful only after 0. Never touches the device.
//
// Nothing is lost on failure or when the process is killed: ".\local.cache" is only ever
// replaced whole, and a run that did not commit every download it received leaves the marker
// ".\sync.unfinished", which makes the next run retrieve everything, whatever the logon said.
// Leftover temporary files of killed runs are removed first. After 0, ".\zarniks.mtc" exists
// exactly when the cache holds cameras, and describes them. Records of ".\poiupdates.upd" that
// are no readable reports (IsReadableReport) are never sent nor deleted: once the others are
// gone they are what the file holds, and counts.reportsSetAside says how many.
std::uint32_t RunSynchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                                 const platform::Registration& who, const char* version, SyncCounts& counts,
                                 const SyncOptions& options = {});

// The text of a result code: 10000 to 10014 from the string table, 1 a text of its own.
std::string ErrorTextForCode(std::uint32_t code, const platform::StringTable& texts);

}  // namespace engine
