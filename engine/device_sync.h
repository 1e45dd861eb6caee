#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/synchronisation.h"
#include "engine/user_feedback.h"
#include "platform/settings.h"

class CDeviceLink;
class CServiceClient;
namespace platform {
class StringTable;
}

// The whole synchronisation with a device, as the Synchronise page's button runs it and
// `zarnik-sync sync` alike: connect, stop the navigation program, bring the device's reports in,
// synchronise with the service, empty the device's reports once the service has them, copy the
// new camera file out, tell the user, start the program again and disconnect.
namespace engine {

struct DeviceSyncResult {
    bool connected = false;          // the device was reached
    bool reportsCopied = false;      // its personal updates reached the working folder
    std::string cause;               // why the device was not reached or its reports not read
    std::uint32_t code = 0;          // RunSynchronisation's result; meaningful once reportsCopied
    // After a synchronisation the device's reports stay where they are unless the device still
    // holds exactly what was sent; they are then sent again next time.
    bool reportsKeptOnDevice = false;
    std::string keptBecause;
    bool cameraFileCopied = false;   // the new camera file reached the device
    std::string cameraFileCause;     // why it did not: the file, the transport step, the reason
    SyncCounts counts;
    std::uint32_t camerasInCache = 0;
    // Stopped on request at a safe point (`stoppedWhere` says which): the device and the PC hold
    // what they held before, or, after the service confirmed the reports, the device's reports
    // are emptied and its camera file is the earlier one.
    bool stopped = false;
    std::string stoppedWhere;
};

// The device's reports are read until two reads agree (a transfer that altered a byte must not
// decide what is sent), then merged into the working folder's ".\poiupdates.upd" (its own records
// first, then the device's not already there: reports kept from an earlier run are never
// overwritten), and that file stays until the service has confirmed them. A failure after the
// navigation program was stopped still starts it again. Records that are no readable reports
// stay in ".\poiupdates.upd" while the device is emptied, and a message says how many.
// `stopRequested` is asked at each safe point: before the reports are read, before the service
// is asked, and before the camera file is copied out; when it says yes the navigation program
// is started again, the link disconnected, and nothing more is done.
DeviceSyncResult SynchroniseWithServer(CServiceClient& client, CDeviceLink& link, IProgressSink& progress,
                                       IMessageSink& messages, IInformationSink& information,
                                       const platform::StringTable& texts, const platform::Registration& who,
                                       const std::function<bool()>& stopRequested = {});

}  // namespace engine
