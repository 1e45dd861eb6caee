#pragma once
#include <cstdint>
#include <string>

#include "platform/pc_files.h"
#include "platform/settings.h"

class CDeviceLink;
class CServiceClient;
namespace platform {
class StringTable;
}

// What the Synchronise page shows about the service and the PC, asked by its refresh and by
// `zarnik-sync status` alike.
namespace engine {

struct ServiceSummary {
    bool answered = false;        // the service gave its counts
    std::int32_t code = 0;        // the result code when it did not
    bool fullRetrievalDue = false;  // the next synchronisation retrieves everything (text 159)
    std::string pcText;           // text 171 filled, or the text of the service's error
    std::string deviceText;       // text 159 when a full retrieval is due, else empty
};

struct DeviceSummary {
    bool connected = false;
    bool read = false;  // the device's camera file could be read
    std::string text;   // text 170 filled, 152 when the camera file could not be read, or 118
};

// Connects, stops the navigation program, counts the cameras of the device's camera file and
// the records of its personal-updates file (a missing one counts 0), starts the program again
// and disconnects. The files are copied to private temporary files of the working folder and
// deleted again: the folder's own poiupdates.upd and zarniks.mtc are never touched.
DeviceSummary QueryDeviceSummary(CDeviceLink& link, const platform::WorkFolder& folder,
                                 const platform::StringTable& texts);

// QueryUpdates with the registration (version tag "V2.0"), then the counts of the local cache:
// the last synchronisation date, the service's cameras and the user's own on the PC, and the
// changes waiting on the service. Never shows a message: everything is in the texts.
ServiceSummary QueryServiceSummary(CServiceClient& client, const platform::Registration& who,
                                   const platform::StringTable& texts);

}  // namespace engine
