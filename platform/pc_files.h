#pragma once
#include <string>

namespace platform {

// The PC files, named the Windows way relative to the working folder.
namespace pcfile {
inline constexpr const char* kLocalCache = ".\\local.cache";
inline constexpr const char* kMutationCache = ".\\mut.cache";
inline constexpr const char* kDeltaFile = "newconfig.dat";
inline constexpr const char* kInfoCache = ".\\info.cache";
inline constexpr const char* kCameraFile = ".\\zarniks.mtc";
inline constexpr const char* kPersonalUpdates = ".\\poiupdates.upd";
inline constexpr const char* kStoredPersonalUpdates = ".\\store\\poiupdates.upd";
inline constexpr const char* kErrorLog = ".\\HttpError.txt";
inline constexpr const char* kOldConfig = ".\\config.dat";  // written by older versions, read by none
// Present while a synchronisation has downloads the cache may not hold.
inline constexpr const char* kUnfinishedMarker = ".\\sync.unfinished";
// The cameras of OpenStreetMap extracts, imported by the user; joined into the camera file.
inline constexpr const char* kOsmCache = ".\\osm.cache";
}  // namespace pcfile

// Windows file names ignore letter case, so every spelling of a PC file maps to one canonical
// lower-case relative path: ".\local.cache", "Local.cache" -> "local.cache",
// ".\store\poiupdates.upd" -> "store/poiupdates.upd".
std::string CanonicalPcName(const std::string& windowsName);

// The working folder of the PC files, held explicitly by every user of them: no code changes
// the process's current directory, so two folders can be worked on in one process.
class WorkFolder {
public:
    explicit WorkFolder(std::string root = ".");

    const std::string& root() const { return root_; }
    // The path of a PC file inside the folder.
    std::string Path(const std::string& windowsName) const;
    // Deletes the file if it exists; true when it is gone afterwards.
    bool Delete(const std::string& windowsName) const;
    // Size of the file in bytes, or -1 when it cannot be examined.
    long long SizeOf(const std::string& windowsName) const;

private:
    std::string root_;
};

// Size of a file in bytes, or -1 when it cannot be examined.
long long FileSizeOf(const std::string& path);

}  // namespace platform
