#pragma once
#include <string>

#include "device/link_result.h"

class CDeviceLink;
namespace platform {
class WorkFolder;
}

// Taking the device's personal-updates file to the PC so that what is sent, backed up or
// emptied is what the device really holds. The file is small and its records are the user's
// own, so it is read more than once rather than trusted after one transfer that may have
// altered a byte on its way.
namespace engine {

// Copies the device's personal-updates file to `pcName` (a name of the working folder). A
// device without the file, where the transport can tell (a reset device), gives an empty copy:
// nothing is pending. When the copy failed `pcName` is removed, and the result says why. The
// device is never changed.
device::LinkResult CopyReportsFromDevice(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName);

// Reads the file until two reads in a row agree byte for byte, at most kReportReads times, and
// leaves the agreed bytes in `bytes` and in `pcName`. False with `cause` (and no `pcName`) when a
// read failed or no two reads agreed; then nothing may be sent or emptied.
inline constexpr int kReportReads = 5;
bool ReadReportsSteadily(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName,
                         std::string& bytes, std::string& cause);

// Reads the file once more into `bytes`; false with `cause` when it could not be read.
bool ReadReportsOnce(CDeviceLink& link, const platform::WorkFolder& folder, const char* pcName, std::string& bytes,
                     std::string& cause);

}  // namespace engine
