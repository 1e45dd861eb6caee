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
    bool read = false;  // the device's camera file could be read, or is known to be missing
    int cameras = 0;    // once read
    std::string text;   // text 170 filled, 152 when the camera file could not be read, or 118
    std::string cause;  // why the device was not reached or its camera file not read
};

// Connects, stops the navigation program, counts the cameras of the device's camera file and
// the records of its personal-updates file, starts the program again and disconnects. A missing
// file counts 0 wherever the transport can tell that it is missing (a fresh device has no
// camera file yet). The camera file is copied only when its size or time differ from those
// remembered with its count (".\device.count"), where the transport can tell them. Copies go to
// private temporary files of the working folder, deleted again: the folder's own poiupdates.upd
// and zarniks.mtc are never touched.
DeviceSummary QueryDeviceSummary(CDeviceLink& link, const platform::WorkFolder& folder,
                                 const platform::StringTable& texts);

// Remembers the count of the camera file just copied to the device, with its size and time,
// so that the next refresh need not copy it back.
void RememberDeviceCameraFile(CDeviceLink& link, const platform::WorkFolder& folder, int cameras);

// QueryUpdates with the registration (version tag "V2.0"), then the counts of the local cache:
// the last synchronisation date, the service's cameras and the user's own on the PC, and the
// changes waiting on the service. Never shows a message: everything is in the texts.
ServiceSummary QueryServiceSummary(CServiceClient& client, const platform::Registration& who,
                                   const platform::StringTable& texts);

}  // namespace engine
