#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "service/camera_record.h"
#include "service/crc32.h"

// The camera caches of the PC (".\local.cache", ".\mut.cache", "newconfig.dat"): plain sequences
// of 80-byte records, read whole and written through the platform's safe writers.
//
// ".\local.cache" carries a seal beside it, "<cache>.sum", written with every commit of the cache:
// its length and checksum. A cache that does not match its seal (cut short, overwritten, left
// half-appended by a killed run) is damaged and loads as no cache at all, so the next
// synchronisation retrieves everything. A cache without a seal (written by an older version) is
// trusted when its length is a whole number of records, and gets its seal at its next commit.
namespace service {

#pragma pack(push, 1)
// "<cache>.sum", 16 bytes, little-endian.
struct CacheSeal {
    char tag[4];             // "ZCS1"
    std::uint32_t checksum;  // CRC-32 (IEEE 802.3) of every byte of the cache
    std::uint64_t length;    // the cache's length in bytes
};
#pragma pack(pop)
static_assert(sizeof(CacheSeal) == 16 && offsetof(CacheSeal, checksum) == 4 && offsetof(CacheSeal, length) == 8,
              "CacheSeal layout");

inline constexpr char kCacheSealTag[4] = {'Z', 'C', 'S', '1'};

std::string SealPathOf(const std::string& cachePath);

enum class CacheRead : int {
    kRead = 0,        // out holds the records
    kMissing = 1,     // no file
    kUnreadable = 2,  // the file could not be opened or read (errno tells why)
    kDamaged = 3,     // the cache does not match its seal, or without a seal is not whole records
};

// Reads every whole record of a cache file; a trailing partial record is ignored. False when
// the file cannot be opened or read, or when a seal lies beside it that it does not match (out
// is then empty).
bool ReadCacheFile(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity = 0);

// Reads a sealed cache (".\local.cache"): kRead only for a cache that matches its seal, or one
// without a seal that holds whole records. Out is empty unless kRead.
CacheRead ReadSealedCache(const std::string& path, std::vector<CameraRecord>& out, std::size_t extra_capacity = 0);

// Says why a cache could not be used, for the line under a failure: "" for kRead.
std::string CacheReadProblem(const std::string& path, CacheRead result, int error);

// Writes the records to the file atomically: the old file stays whole unless all succeeded.
bool WriteCacheFile(const std::string& path, const CameraRecord* records, std::size_t count);

// Whether a cache writer keeps the seal of its file.
enum class Sealing : int { kNone = 0, kSealed = 1 };

// The seal of what a writer has written so far, and, once its file is committed, the seal
// written beside it (an unsealed writer writes none).
class SealTally {
public:
    void Start(Sealing sealing, std::uint32_t checksum = 0, std::uint64_t length = 0);
    void Count(const void* data, std::size_t size);
    bool WriteFor(const std::string& cachePath) const;

private:
    Sealing sealing_ = Sealing::kNone;
    std::uint32_t checksum_ = 0;
    std::uint64_t length_ = 0;
};

// Writes a cache anew. The old file stays whole until Commit has written every record. A
// sealed cache gets its new seal right after it is replaced; if that fails (Commit gives false)
// the new cache no longer matches the old seal and loads as damaged.
class CacheFileWriter {
public:
    bool Open(const std::string& path, Sealing sealing = Sealing::kNone);
    bool Add(const CameraRecord& record) { return AddAll(&record, 1); }
    bool AddAll(const CameraRecord* records, std::size_t count);
    // Copies count records of another cache file, in blocks.
    bool AddFromFile(const std::string& path, std::size_t count);
    bool Commit();

private:
    platform::AtomicFile file_;
    SealTally seal_;
};

// Appends records to a cache (or, with emptyFirst, writes one anew in place, as the delta file
// is). A failure midway, or going without Commit, cuts the file back to what it held before. A
// sealed cache opens only when it matches its seal's length (or has none); its seal is renewed
// after Commit, and a failure there gives false as for CacheFileWriter.
class CacheAppender {
public:
    bool Open(const std::string& path, bool emptyFirst = false, Sealing sealing = Sealing::kNone);
    bool Add(const CameraRecord& record) { return AddAll(&record, 1); }
    bool AddAll(const CameraRecord* records, std::size_t count);
    bool AddFromFile(const std::string& path, std::size_t count);
    bool Commit();
    void Abort() { file_.Abort(); }
    bool is_open() const { return file_.is_open(); }

private:
    platform::AppendingFile file_;
    std::string path_;
    SealTally seal_;
};

}  // namespace service
