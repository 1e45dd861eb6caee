#include "engine/change_record.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/pc_files.h"

namespace engine {

std::vector<ChangeRecord> ParseChangeRecords(const void* bytes, std::size_t size) {
    std::vector<ChangeRecord> records(size / sizeof(ChangeRecord));
    if (!records.empty()) std::memcpy(records.data(), bytes, records.size() * sizeof(ChangeRecord));
    return records;
}

bool ReadChangeRecords(const std::string& path, std::vector<ChangeRecord>& out) {
    out.clear();
    if (platform::FileSizeOf(path) < 0) return true;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::string bytes;
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) return false;
    out = ParseChangeRecords(bytes.data(), bytes.size());
    return true;
}

std::uint32_t CountChangeRecords(const std::string& path) {
    const long long size = platform::FileSizeOf(path);
    if (size < 0) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(size) / sizeof(ChangeRecord));
}

std::vector<ChangeRecord> MergeReports(const std::vector<ChangeRecord>& first, const std::vector<ChangeRecord>& second) {
    const auto bytes = [](const ChangeRecord& r) { return std::string(reinterpret_cast<const char*>(&r), sizeof r); };
    std::vector<ChangeRecord> merged = first;
    std::unordered_set<std::string> known;
    for (const ChangeRecord& r : first) known.insert(bytes(r));
    for (const ChangeRecord& r : second) {
        if (known.count(bytes(r)) == 0) merged.push_back(r);
    }
    return merged;
}

}  // namespace engine
