#include "engine/change_record.h"

#include <cstring>
#include <fstream>
#include <iterator>

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
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    out = ParseChangeRecords(bytes.data(), bytes.size());
    return true;
}

std::uint32_t CountChangeRecords(const std::string& path) {
    const long long size = platform::FileSizeOf(path);
    if (size < 0) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(size) / sizeof(ChangeRecord));
}

}  // namespace engine
