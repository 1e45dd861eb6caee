#include "service/cache_file.h"

#include <cstdio>

#include "platform/atomic_file.h"
#include "platform/pc_files.h"

namespace service {

bool ReadCacheFile(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity) {
    out.clear();
    const long long size = platform::FileSizeOf(path);
    if (size < 0) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const auto whole = static_cast<std::size_t>(size) / sizeof(CameraRecord);
    out.reserve(whole + extra_capacity);
    out.resize(whole);
    const std::size_t got = whole == 0 ? 0 : std::fread(out.data(), sizeof(CameraRecord), whole, f);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    out.resize(got);  // a file that shrank meanwhile gives what was there
    if (!ok) out.clear();
    return ok;
}

bool WriteCacheFile(const std::string& path, const CameraRecord* records, std::size_t count) {
    platform::AtomicFile file;
    return file.Open(path) && file.Write(records, count * sizeof(CameraRecord)) && file.Commit();
}

}  // namespace service
