// The information cache on hostile bytes: whatever ".\info.cache" holds (any length, texts
// without a terminator), browsing it forwards and back gives each whole record's identifier
// and a terminated text of at most 1023 characters, never reads past the last whole record,
// and the last identifier is the last whole record's. A file without a whole record is
// deleted. Appending a record adds exactly it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/pc_files.h"
#include "service/service_client.h"
#include "temp_dir.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// The text a record shows: up to its first NUL, at most 1023 characters.
std::string Shown(const service::InfoRecord& record) {
    return std::string(record.text, strnlen(record.text, sizeof record.text - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir dir;
    const platform::WorkFolder folder(dir.path());
    const std::string path = folder.Path(platform::pcfile::kInfoCache);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    testsupport::WriteWholeFile(path, bytes);

    std::vector<service::InfoRecord> records(size / sizeof(service::InfoRecord));
    if (!records.empty()) std::memcpy(records.data(), data, records.size() * sizeof records[0]);
    const auto count = static_cast<std::int32_t>(records.size());

    CServiceClient client(folder);
    Require(client.LastInfoId() == (count > 0 ? records.back().identifier : -1));
    Require(testsupport::FileExists(path) == (count > 0));
    if (count == 0) return 0;
    testsupport::WriteWholeFile(path, bytes);

    // Room for the longest text plus a guard that must stay untouched.
    char text[sizeof(service::InfoRecord::text) + 16];
    std::memset(text, 'G', sizeof text);
    std::int32_t identifier = 0;
    Require(client.OpenInfoCache(identifier, text) == service::InfoCacheResult::kDone);
    Require(client.info_count() == count);
    Require(identifier == records[0].identifier && text == Shown(records[0]));
    Require(std::memchr(text + 1024, 'G', 16) == text + 1024);
    bool atLast = count == 1, second = false;
    for (std::int32_t i = 1; i < count; ++i) {
        Require(!atLast);
        Require(client.NextInfoRecord(text, atLast, second) == records[i].identifier && text == Shown(records[i]));
    }
    Require(atLast);
    bool edge = false;
    Require(client.NextInfoRecord(text, atLast, second) == -1 && atLast);
    bool first = false, atFirst = count == 1;
    for (std::int32_t i = count - 2; i >= 0; --i) {
        Require(!atFirst);
        Require(client.PreviousInfoRecord(text, first, atFirst) == records[i].identifier &&
                text == Shown(records[i]));
    }
    Require(client.PreviousInfoRecord(text, first, edge) == -1 && edge);
    client.CloseInfoCache();

    // An appended record comes back as the last one, whatever the file held before.
    service::InfoRecord added{};
    added.identifier = records.back().identifier ^ 0x5a5a;
    std::memcpy(added.text, "appended", 8);
    Require(client.AppendInfoRecord(added) == service::InfoCacheResult::kDone);
    Require(client.LastInfoId() == added.identifier);
    return 0;
}
