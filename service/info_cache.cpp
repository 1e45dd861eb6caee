#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

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
    return AppendInfoRecords(std::span<const InfoRecord>(&record, 1));
}

// The cache is written anew, its whole records and then the new ones, and replaces the old one
// only once complete: a run killed midway, or a full disk, never leaves part of an addition. A
// record cut short at the old file's end is dropped, since every record after it would be read
// shifted, as garbage.
service::InfoCacheResult CServiceClient::AppendInfoRecords(std::span<const InfoRecord> records) {
    const std::string path = folder_.Path(platform::pcfile::kInfoCache);
    platform::AtomicFile file;
    if (!file.Open(path)) return service::InfoCacheResult::kNothing;
    const long long size = platform::FileSizeOf(path);
    if (size >= static_cast<long long>(sizeof(InfoRecord))) {
        std::FILE* old = std::fopen(path.c_str(), "rb");
        if (old == nullptr) return service::InfoCacheResult::kNothing;
        long long left = size - size % static_cast<long long>(sizeof(InfoRecord));
        std::vector<char> block(std::size_t{64} * sizeof(InfoRecord));
        while (left > 0) {
            const auto want = static_cast<std::size_t>(std::min<long long>(left, static_cast<long long>(block.size())));
            if (std::fread(block.data(), 1, want, old) != want || !file.Write(block.data(), want)) break;
            left -= static_cast<long long>(want);
        }
        std::fclose(old);
        if (left != 0) return service::InfoCacheResult::kNothing;
    }
    const bool ok = file.Write(records.data(), records.size_bytes()) && file.Commit();
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
