#include <unistd.h>

#include <cstring>

#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

namespace {

// Copies a record's text out, terminated even when the file's text was not.
void CopyText(const InfoRecord& record, char* text) {
    if (text == nullptr) return;
    const std::size_t length = strnlen(record.text, sizeof record.text - 1);
    std::memcpy(text, record.text, length);
    text[length] = '\0';
}

}  // namespace

service::InfoCacheResult CServiceClient::AppendInfoRecord(const InfoRecord& record) {
    const std::string path = folder_.Path(platform::pcfile::kInfoCache);
    // A record cut short (a run killed while appending, a full disk) is never read, since the
    // file is read in whole records; appended after, this record and every later one would be
    // read shifted, as garbage. The partial record goes first.
    const long long size = platform::FileSizeOf(path);
    const long long partial = size > 0 ? size % static_cast<long long>(sizeof record) : 0;
    if (partial != 0 && truncate(path.c_str(), static_cast<off_t>(size - partial)) != 0) {
        return service::InfoCacheResult::kNothing;
    }
    platform::AppendingFile file;
    const bool ok = file.Open(path) && file.Write(&record, sizeof record) && file.Commit();
    return ok ? service::InfoCacheResult::kDone : service::InfoCacheResult::kNothing;
}

void CServiceClient::CloseInfoCache() {
    if (infoFile_) std::fclose(infoFile_);
    infoFile_ = nullptr;
}

service::InfoCacheResult CServiceClient::OpenInfoCache(std::int32_t& identifier, char* text) {
    CloseInfoCache();
    const std::string path = folder_.Path(platform::pcfile::kInfoCache);
    infoFile_ = std::fopen(path.c_str(), "rb");
    if (infoFile_ == nullptr) return service::InfoCacheResult::kNothing;
    const long long size = platform::FileSizeOf(path);
    infoCount_ = size > 0 ? static_cast<std::int32_t>(size / static_cast<long long>(sizeof(InfoRecord))) : 0;
    if (infoCount_ == 0) {
        CloseInfoCache();
        folder_.Delete(platform::pcfile::kInfoCache);
        return service::InfoCacheResult::kNothing;
    }
    infoIndex_ = 0;
    bool atLast = false;
    bool second = false;
    identifier = NextInfoRecord(text, atLast, second);
    return service::InfoCacheResult::kDone;
}

std::int32_t CServiceClient::NextInfoRecord(char* text, bool& atLast, bool& second) {
    second = false;
    atLast = true;
    if (infoFile_ == nullptr || infoIndex_ >= infoCount_) return -1;
    InfoRecord record{};
    if (std::fread(&record, sizeof record, 1, infoFile_) != 1) return -1;
    CopyText(record, text);
    ++infoIndex_;
    atLast = infoIndex_ >= infoCount_;
    return record.identifier;
}

std::int32_t CServiceClient::PreviousInfoRecord(char* text, bool& first, bool& atFirst) {
    first = false;
    atFirst = true;
    if (infoFile_ == nullptr || infoIndex_ <= 1) return -1;
    const long back = -2L * static_cast<long>(sizeof(InfoRecord));
    InfoRecord record{};
    if (std::fseek(infoFile_, back, SEEK_CUR) != 0 || std::fread(&record, sizeof record, 1, infoFile_) != 1) return -1;
    CopyText(record, text);
    --infoIndex_;
    atFirst = infoIndex_ == 1;
    return record.identifier;
}

std::int32_t CServiceClient::LastInfoId() {
    std::int32_t identifier = -1;
    char text[sizeof(InfoRecord::text)];
    if (OpenInfoCache(identifier, text) != service::InfoCacheResult::kDone) {
        folder_.Delete(platform::pcfile::kInfoCache);
        return -1;
    }
    bool atLast = infoIndex_ >= infoCount_;
    bool second = false;
    // -1 is also a record's identifier, so progress is judged by the index, not the value.
    while (!atLast) {
        const std::int32_t before = infoIndex_;
        const std::int32_t next = NextInfoRecord(text, atLast, second);
        if (infoIndex_ == before) break;
        identifier = next;
    }
    CloseInfoCache();
    return identifier;
}
