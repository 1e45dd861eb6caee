#include <cstdio>

#include "platform/pc_files.h"
#include "service/cache_file.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

namespace {

// Capacity beyond the records read, for the cameras a synchronisation may add in memory.
constexpr std::size_t kSpareRecords = 500;

// Loads a camera cache; a file holding no whole record is deleted and loads as none.
void LoadCameraCache(const platform::WorkFolder& folder, const char* windowsName, std::vector<CameraRecord>& records) {
    records.clear();
    const std::string path = folder.Path(windowsName);
    const long long size = platform::FileSizeOf(path);
    if (size < 0) {
        records.shrink_to_fit();
        return;
    }
    if (size < static_cast<long long>(sizeof(CameraRecord))) {
        folder.Delete(windowsName);
        records.shrink_to_fit();
        return;
    }
    service::ReadCacheFile(path, records, kSpareRecords);
}

}  // namespace

void CServiceClient::LoadLocalCache() {
    LoadCameraCache(folder_, platform::pcfile::kLocalCache, localRecords_);
    localMirrorsFile_ = true;
}

void CServiceClient::ReloadLocalCache() {
    // An empty cache goes the long way: loading deletes the empty file.
    if (localMirrorsFile_ && !localRecords_.empty()) return;
    ReleaseRecords();
    LoadLocalCache();
}

void CServiceClient::LoadMutationCache() { LoadCameraCache(folder_, platform::pcfile::kMutationCache, mutationRecords_); }

void CServiceClient::CountLocalCache(std::uint32_t& total, std::uint32_t& personal) {
    LoadLocalCache();
    total = local_count();
    personal = 0;
    for (const CameraRecord& r : localRecords_) {
        if (r.flag == 0) ++personal;
    }
    ReleaseRecords();
}
