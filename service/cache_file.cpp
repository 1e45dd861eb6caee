#include "service/cache_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/large_memory.h"
#include "platform/pc_files.h"

namespace service {

namespace {

// Records copied from one cache file to another per read: 320 KiB.
constexpr std::size_t kCopyBlock = 4096;

bool ReadSeal(const std::string& cachePath, CacheSeal& seal) {
    const std::string path = SealPathOf(cachePath);
    if (platform::FileSizeOf(path) != static_cast<long long>(sizeof seal)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool read = std::fread(&seal, sizeof seal, 1, f) == 1;
    std::fclose(f);
    return read && std::memcmp(seal.tag, kCacheSealTag, sizeof seal.tag) == 0;
}

// A seal of the other size or tag is a damaged seal, and its cache is not to be trusted.
bool HasSealFile(const std::string& cachePath) { return platform::FileSizeOf(SealPathOf(cachePath)) >= 0; }

// The seal goes out after its cache: a run killed between the two leaves a cache that does not
// match, which the next load treats as damaged rather than trusting.
bool WriteSeal(const std::string& cachePath, std::uint32_t checksum, std::uint64_t length) {
    CacheSeal seal{};
    std::memcpy(seal.tag, kCacheSealTag, sizeof seal.tag);
    seal.checksum = checksum;
    seal.length = length;
    platform::AtomicFile file;
    return file.Open(SealPathOf(cachePath)) && file.Write(&seal, sizeof seal) && file.Commit();
}

// The checksum of what a file holds now, read in blocks; false when it cannot be read.
bool ChecksumOfFile(const std::string& path, std::uint32_t& checksum, std::uint64_t& length) {
    checksum = 0;
    length = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return errno == ENOENT;
    std::vector<char> block(kCopyBlock * sizeof(CameraRecord));
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), f)) > 0) {
        checksum = Crc32(checksum, block.data(), got);
        length += got;
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// Hands count records of a file to add, a block at a time; false when the file is shorter or
// cannot be read, or add fails.
template <class Add>
bool CopyRecords(const std::string& path, std::size_t count, Add add) {
    if (count == 0) return true;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<CameraRecord> block(kCopyBlock);
    bool ok = true;
    while (ok && count > 0) {
        const std::size_t want = count < kCopyBlock ? count : kCopyBlock;
        ok = std::fread(block.data(), sizeof(CameraRecord), want, f) == want && add(block.data(), want);
        count -= want;
    }
    std::fclose(f);
    return ok;
}

CacheRead Read(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity, bool legacyWhole) {
    out.clear();
    const long long size = platform::FileSizeOf(path);
    if (size < 0) return errno == ENOENT ? CacheRead::kMissing : CacheRead::kUnreadable;
    CacheSeal seal{};
    const bool sealed = ReadSeal(path, seal);
    if (!sealed && HasSealFile(path)) return CacheRead::kDamaged;
    if (sealed && seal.length != static_cast<std::uint64_t>(size)) return CacheRead::kDamaged;
    if (!sealed && legacyWhole && size % static_cast<long long>(sizeof(CameraRecord)) != 0) return CacheRead::kDamaged;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return CacheRead::kUnreadable;
    const auto whole = static_cast<std::size_t>(size) / sizeof(CameraRecord);
    out.reserve(whole + extra_capacity);
    platform::AdviseLargePages(out);
    out.resize(whole);
    const std::size_t got = whole == 0 ? 0 : std::fread(out.data(), sizeof(CameraRecord), whole, f);
    std::uint32_t checksum = Crc32(0, out.data(), got * sizeof(CameraRecord));
    if (sealed && got == whole) {  // a sealed cache is checked to its last byte
        char tail[sizeof(CameraRecord)];
        const std::size_t rest = std::fread(tail, 1, sizeof tail, f);
        checksum = Crc32(checksum, tail, rest);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    out.resize(got);  // a file that shrank meanwhile gives what was there
    CacheRead result = CacheRead::kRead;
    if (!ok) {
        result = CacheRead::kUnreadable;
    } else if (sealed && checksum != seal.checksum) {
        result = CacheRead::kDamaged;
    }
    if (result != CacheRead::kRead) out.clear();
    return result;
}

}  // namespace

std::string SealPathOf(const std::string& cachePath) { return cachePath + ".sum"; }

bool ReadCacheFile(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity) {
    return Read(path, out, extra_capacity, false) == CacheRead::kRead;
}

CacheRead ReadSealedCache(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity) {
    return Read(path, out, extra_capacity, true);
}

std::string CacheReadProblem(const std::string& path, CacheRead result, int error) {
    switch (result) {
    case CacheRead::kRead:
        return {};
    case CacheRead::kMissing:
        return path + " is missing";
    case CacheRead::kUnreadable:
        return "cannot read " + path + ": " + std::strerror(error);
    case CacheRead::kDamaged:
        break;
    }
    return path + " is damaged: it does not match " + SealPathOf(path);
}

bool WriteCacheFile(const std::string& path, const CameraRecord* records, std::size_t count) {
    platform::AtomicFile file;
    return file.Open(path) && file.Write(records, count * sizeof(CameraRecord)) && file.Commit();
}

void SealTally::Start(Sealing sealing, std::uint32_t checksum, std::uint64_t length) {
    sealing_ = sealing;
    checksum_ = checksum;
    length_ = length;
}

void SealTally::Count(const void* data, std::size_t size) {
    if (sealing_ == Sealing::kNone) return;
    checksum_ = Crc32(checksum_, data, size);
    length_ += size;
}

bool SealTally::WriteFor(const std::string& cachePath) const {
    return sealing_ == Sealing::kNone || WriteSeal(cachePath, checksum_, length_);
}

bool CacheFileWriter::Open(const std::string& path, Sealing sealing) {
    seal_.Start(sealing);
    return file_.Open(path);
}

bool CacheFileWriter::AddAll(const CameraRecord* records, std::size_t count) {
    seal_.Count(records, count * sizeof(CameraRecord));
    return file_.Write(records, count * sizeof(CameraRecord));
}

bool CacheFileWriter::AddFromFile(const std::string& path, std::size_t count) {
    return CopyRecords(path, count, [this](const CameraRecord* r, std::size_t n) { return AddAll(r, n); });
}

bool CacheFileWriter::Commit() {
    const std::string path = file_.path();
    return file_.Commit() && seal_.WriteFor(path);
}

bool CacheAppender::Open(const std::string& path, bool emptyFirst, Sealing sealing) {
    path_ = path;
    seal_.Start(sealing);
    if (sealing == Sealing::kSealed && !emptyFirst) {
        // The seal goes on from the one of the records already there; a file that does not
        // match its seal's length is not added to.
        CacheSeal seal{};
        const long long size = platform::FileSizeOf(path);
        std::uint32_t checksum = 0;
        std::uint64_t length = 0;
        if (ReadSeal(path, seal)) {
            if (seal.length != static_cast<std::uint64_t>(size < 0 ? 0 : size)) {
                errno = EBADMSG;
                return false;
            }
            checksum = seal.checksum;
            length = seal.length;
        } else if (HasSealFile(path)) {
            errno = EBADMSG;
            return false;
        } else if (!ChecksumOfFile(path, checksum, length)) {
            return false;
        }
        seal_.Start(sealing, checksum, length);
    }
    return file_.Open(path, emptyFirst);
}

bool CacheAppender::AddAll(const CameraRecord* records, std::size_t count) {
    seal_.Count(records, count * sizeof(CameraRecord));
    return file_.Write(records, count * sizeof(CameraRecord));
}

bool CacheAppender::AddFromFile(const std::string& path, std::size_t count) {
    return CopyRecords(path, count, [this](const CameraRecord* r, std::size_t n) { return AddAll(r, n); });
}

bool CacheAppender::Commit() { return file_.Commit() && seal_.WriteFor(path_); }

}  // namespace service
