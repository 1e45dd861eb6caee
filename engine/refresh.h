#pragma once
#include <string>

#include "platform/settings.h"

class CServiceClient;
namespace platform {
class StringTable;
}

// What the Synchronise page shows about the service and the PC, asked by its refresh and by
// `zarnik-sync status` alike.
namespace engine {

struct ServiceSummary {
    bool answered = false;        // the service gave its counts
    bool fullRetrievalDue = false;  // the next synchronisation retrieves everything (text 159)
    std::string pcText;           // text 171 filled, or the text of the service's error
    std::string deviceText;       // text 159 when a full retrieval is due, else empty
};

// QueryUpdates with the registration (version tag "V2.0"), then the counts of the local cache:
// the last synchronisation date, the service's cameras and the user's own on the PC, and the
// changes waiting on the service. Never shows a message: everything is in the texts.
ServiceSummary QueryServiceSummary(CServiceClient& client, const platform::Registration& who,
                                   const platform::StringTable& texts);

}  // namespace engine
