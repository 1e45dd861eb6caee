#pragma once
#include <cstdint>
#include <string>

#include "engine/user_feedback.h"

class CServiceClient;
namespace platform {
class StringTable;
}

namespace engine {

// The counts of one synchronisation, for the summary the user sees.
struct SyncCounts {
    std::int32_t changesAdded = 0;
    std::int32_t changesUpdated = 0;
    std::int32_t changesDeleted = 0;
    std::int32_t personalStored = 0;
    std::int32_t personalAccepted = 0;
};

// One synchronisation on the PC, from the logon to the finished ".\zarniks.mtc", in the working
// folder: ".\poiupdates.upd" in, ".\local.cache" brought up to date. Gives 0 or a result code;
// the counts are meaningful only after 0. Never touches the device.
std::uint32_t RunSynchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                                 const char* registrar, const char* email, const char* serial, const char* version,
                                 SyncCounts& counts);

// The text of a result code: 10000 to 10014 from the string table, 1 a text of its own.
std::string ErrorTextForCode(std::uint32_t code, const platform::StringTable& texts);

}  // namespace engine
