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

// Loads a camera cache; a file holding no whole record is deleted and loads as none. The local
// cache must match its seal: a damaged one goes the same way, so that nothing reads it again and
// the next synchronisation retrieves everything.
void LoadCameraCache(const platform::WorkFolder& folder, const char* windowsName, std::vector<CameraRecord>& records,
                     service::Sealing sealing) {
    records.clear();
    const std::string path = folder.Path(windowsName);
    const long long size = platform::FileSizeOf(path);
    bool drop = size >= 0 && size < static_cast<long long>(sizeof(CameraRecord));
    if (size >= 0 && !drop) {
        if (sealing == service::Sealing::kNone) {
            service::ReadCacheFile(path, records, kSpareRecords);
        } else {
            drop = service::ReadSealedCache(path, records, kSpareRecords) == service::CacheRead::kDamaged;
        }
    }
    if (drop) {
        folder.Delete(windowsName);
        if (sealing == service::Sealing::kSealed) std::remove(service::SealPathOf(path).c_str());
    }
    if (records.empty()) records.shrink_to_fit();
}

}  // namespace

void CServiceClient::LoadLocalCache() {
    LoadCameraCache(folder_, platform::pcfile::kLocalCache, localRecords_, service::Sealing::kSealed);
    localMirrorsFile_ = true;
    localAheadOfFile_ = false;
}

void CServiceClient::ReloadLocalCache() {
    // An empty cache goes the long way: loading deletes the empty file.
    if (localAheadOfFile_ || (localMirrorsFile_ && !localRecords_.empty())) return;
    ReleaseRecords();
    LoadLocalCache();
}

void CServiceClient::LoadMutationCache() { LoadCameraCache(folder_, platform::pcfile::kMutationCache, mutationRecords_, service::Sealing::kNone); }

void CServiceClient::CountLocalCache(std::uint32_t& total, std::uint32_t& personal) {
    LoadLocalCache();
    total = local_count();
    personal = 0;
    for (const CameraRecord& r : localRecords_) {
        if (r.flag == 0) ++personal;
    }
    ReleaseRecords();
}
