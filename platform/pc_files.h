#pragma once
#include <string>

namespace platform {

// The PC files are named the Windows way, relative to the working folder (".\local.cache",
// "NewConfig.Dat", ".\store\poiupdates.upd"). Windows file names ignore letter case, so every
// spelling maps to one canonical lower-case path: "./local.cache", "store/poiupdates.upd".
std::string PcPath(const std::string& windowsName);

// Deletes a PC file if it exists; true when it is gone afterwards.
bool DeletePcFile(const std::string& windowsName);

// Size of a file in bytes, or -1 when it cannot be examined.
long long FileSizeOf(const std::string& path);

}  // namespace platform
