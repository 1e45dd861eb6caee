#include "engine/change_record.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/atomic_file.h"
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
    std::unordered_map<std::string, std::size_t> held;  // how many of each `first` still has to take away
    for (const ChangeRecord& r : first) ++held[bytes(r)];
    for (const ChangeRecord& r : second) {
        const auto same = held.find(bytes(r));
        if (same != held.end() && same->second > 0) {
            --same->second;
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

bool IsReadableReport(const ChangeRecord& record) {
    constexpr std::int32_t kQuarterTurn = 90000000;  // micro-degrees
    constexpr std::int32_t kHalfTurn = 180000000;
    return record.latitude >= -kQuarterTurn && record.latitude <= kQuarterTurn && record.longitude >= -kHalfTurn &&
           record.longitude <= kHalfTurn && record.direction >= -2 && record.direction <= 720;
}

std::vector<ChangeRecord> SetAsideUnreadable(std::vector<ChangeRecord>& records) {
    std::vector<ChangeRecord> unreadable;
    const auto readableEnd = std::stable_partition(records.begin(), records.end(), IsReadableReport);
    unreadable.assign(readableEnd, records.end());
    records.erase(readableEnd, records.end());
    return unreadable;
}

bool ReplaceChangeRecords(const std::string& path, const std::vector<ChangeRecord>& records) {
    if (records.empty()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    platform::AtomicFile out;
    return out.Open(path) && out.Write(records.data(), records.size() * sizeof(ChangeRecord)) && out.Commit();
}

}  // namespace engine
