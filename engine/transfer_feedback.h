#pragma once
#include <string>

#include "engine/user_feedback.h"

class CDeviceLink;
class CServiceClient;

namespace engine {

// Shows the transfers of every request the client sends from now on in the progress sink
// (SetTransfer), named for the user; ReportTransfers(client, nullptr) stops it. The sink must
// outlive the reports.
void ReportTransfers(CServiceClient& client, IProgressSink* progress);

// The same for the copies of the device link: "zarniks.mtc to the device".
void ReportTransfers(CDeviceLink& link, IProgressSink* progress);

// The name of a request for the user: "POIDataBase/off.php" is the "official list"; a path
// that is none of the service's lists keeps its file name.
std::string TransferName(const std::string& path);

}  // namespace engine
