#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "service/camera_record.h"

namespace engine {

#pragma pack(push, 1)

// One record of the personal-updates file "poiupdates.upd" that the navigation software writes on
// the device. Only the fields named here are read; the others belong to the navigation software
// and are never rewritten, because the file is only ever copied whole or replaced by an empty one.
struct ChangeRecord {
    std::int32_t latitude;    // micro-degrees
    std::int32_t longitude;   // micro-degrees
    std::int32_t category;    // compared with 27515 by the duplicate test
    std::int32_t extra;       // sent unchanged in add lines
    std::int32_t direction;   // -1 every, -2 none, 0..360 one heading, 361..720 both ways
    std::uint8_t unread20[4];
    std::int32_t action;      // one of ChangeAction
    std::uint8_t unread28[52];
};

#pragma pack(pop)

static_assert(sizeof(ChangeRecord) == 80, "ChangeRecord is 80 bytes on disk");
static_assert(offsetof(ChangeRecord, longitude) == 4 && offsetof(ChangeRecord, category) == 8 &&
                  offsetof(ChangeRecord, extra) == 12 && offsetof(ChangeRecord, direction) == 16 &&
                  offsetof(ChangeRecord, action) == 24 && offsetof(ChangeRecord, unread28) == 28,
              "ChangeRecord field offsets");

namespace ChangeAction {
inline constexpr std::int32_t kAdd = 0;
inline constexpr std::int32_t kDelete = 1;
inline constexpr std::int32_t kUpdate = 2;
// Set in memory only, on an added camera that duplicates a known one: it is not sent.
inline constexpr std::int32_t kSkip = 4;
}  // namespace ChangeAction

// The whole records of a personal-updates file's bytes; a trailing partial record is ignored.
std::vector<ChangeRecord> ParseChangeRecords(const void* bytes, std::size_t size);

// Reads the personal-updates file whole. A missing file, or one shorter than a record, gives no
// records and true: no change is pending. False only when the file exists but could not be read
// (out is then empty), so a caller can keep the file instead of losing the user's reports.
bool ReadChangeRecords(const std::string& path, std::vector<ChangeRecord>& out);

// The number of whole records in the file; 0 when it is missing.
std::uint32_t CountChangeRecords(const std::string& path);

// `first` whole, then what is left of `second` once each record of `first` has taken away one
// record byte for byte the same, in their order. Merging the same reports twice adds nothing,
// yet a report made again (an add, its delete, the add once more) is kept as often as it was
// made: the lists are sequences, not sets.
std::vector<ChangeRecord> MergeReports(const std::vector<ChangeRecord>& first, const std::vector<ChangeRecord>& second);

// Whether the navigation software could have written the record: a position on the globe
// (latitude within 90, longitude within 180 degrees either way) and a direction from -2 to
// 720. A file that lost or gained bytes gives records shifted out of these bounds.
bool IsReadableReport(const ChangeRecord& record);

// Takes the records that are no readable reports out of `records` and gives them; both keep
// their file order.
std::vector<ChangeRecord> SetAsideUnreadable(std::vector<ChangeRecord>& records);

// Leaves at `path` exactly these records, through the atomic writer, or no file when there are
// none. False when that could not be done: the file is then as it was.
bool ReplaceChangeRecords(const std::string& path, const std::vector<ChangeRecord>& records);

}  // namespace engine
