#pragma once

// The PC files of the service client, named the way the rest of the system names them.
namespace pcfile {
inline constexpr const char* kLocalCache = ".\\local.cache";
inline constexpr const char* kMutationCache = ".\\mut.cache";
inline constexpr const char* kDeltaFile = "newconfig.dat";
inline constexpr const char* kInfoCache = ".\\info.cache";
inline constexpr const char* kCameraFile = ".\\zarniks.mtc";
inline constexpr const char* kPersonalUpdates = ".\\poiupdates.upd";
inline constexpr const char* kStoredPersonalUpdates = ".\\store\\poiupdates.upd";
inline constexpr const char* kErrorLog = ".\\HttpError.txt";
// Present while a synchronisation has downloads the cache may not hold.
inline constexpr const char* kUnfinishedMarker = ".\\sync.unfinished";
}  // namespace pcfile
