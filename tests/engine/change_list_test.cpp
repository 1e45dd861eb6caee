#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/change_list.h"
#include "literal_engine.h"
#include "temp_dir.h"

namespace {

using engine::BuildChangeList;
using engine::CachedCameraIndex;
using sample::Cached;
using sample::Change;
namespace act = engine::ChangeAction;

const std::string kHeader = "VyoSync Updates\n";

std::string ListOf(const std::vector<engine::ChangeRecord>& records, const std::vector<service::CameraRecord>& cache) {
    return BuildChangeList(records, CachedCameraIndex(cache));
}

struct LineCase {
    const char* what;
    engine::ChangeRecord record;
    std::string line;
};

TEST(ChangeList, EachActionGivesItsLineByteForByte) {
    // One cached camera: 52.000015, 4.000019, category 77.
    const std::vector<service::CameraRecord> cache = {Cached(52000015, 4000019, 77, 270), Cached(52000013, 4000011, 99)};
    const LineCase cases[] = {
        {"add uses its own fields", Change(act::kAdd, 52100000, 4300000, 30000, 90, 7),
         "A;52100000;4300000; ;90;30000;7\n"},
        {"add at the cached position still its own", Change(act::kAdd, 52000011, 4000012, 5, -1, -9),
         "A;52000011;4000012; ;-1;5;-9\n"},
        {"update takes the first cached position", Change(act::kUpdate, 52000011, 4000012, 30000, 450, 7),
         "U;52000015;4000019; ;450;30000;0\n"},
        {"update without a match keeps its own", Change(act::kUpdate, 52000021, 4000012, 30000, 0, 7),
         "U;52000021;4000012; ;0;30000;0\n"},
        {"delete takes position and category", Change(act::kDelete, 52000010, 4000019, 30000, 180, 7),
         "D;52000015;4000019;Nothing;0;77;0\n"},
        {"delete without a match keeps its own", Change(act::kDelete, 52000009, 4000019, 30000, 180, 7),
         "D;52000009;4000019;Nothing;0;30000;0\n"},
        {"extremes print as signed decimals",
         Change(act::kAdd, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN),
         "A;-2147483648;2147483647; ;-2147483648;-2147483648;-2147483648\n"},
        {"skip gives no line", Change(act::kSkip, 1, 2, 3), ""},
        {"action 3 gives no line", Change(3, 1, 2, 3), ""},
        {"negative action gives no line", Change(-1, 1, 2, 3), ""},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(ListOf({c.record}, cache), kHeader + c.line) << c.what;
    }
}

TEST(ChangeList, TruncationTowardZeroDecidesTheMatch) {
    const std::vector<service::CameraRecord> cache = {Cached(-19, 1000, 11), Cached(-5, 1000, 22)};
    // -15 / 10 and -19 / 10 are both -1; -5 / 10 is 0.
    EXPECT_EQ(ListOf({Change(act::kDelete, -15, 1000, 1)}, cache), kHeader + "D;-19;1000;Nothing;0;11;0\n");
    EXPECT_EQ(ListOf({Change(act::kDelete, -4, 1009, 1)}, cache), kHeader + "D;-5;1000;Nothing;0;22;0\n");
    EXPECT_EQ(ListOf({Change(act::kDelete, -15, 1010, 1)}, cache), kHeader + "D;-15;1010;Nothing;0;1;0\n");
    EXPECT_EQ(ListOf({Change(act::kDelete, 5, 1000, 1)}, cache), kHeader + "D;-5;1000;Nothing;0;22;0\n");
}

TEST(ChangeList, LinesFollowFileOrderAndSkipsLeaveOnlyTheHeader) {
    const std::vector<service::CameraRecord> cache;
    const std::string list = ListOf({Change(act::kDelete, 3, 4, 5), Change(act::kSkip, 9, 9, 9),
                                     Change(act::kAdd, 1, 2, 3, -2, 4)},
                                    cache);
    EXPECT_EQ(list, kHeader + "D;3;4;Nothing;0;5;0\nA;1;2; ;-2;3;4\n");
    EXPECT_FALSE(engine::ChangeListHoldsNoChange(list));
    const std::string skipped = ListOf({Change(act::kSkip, 1, 2, 3), Change(7, 1, 2, 3)}, cache);
    EXPECT_TRUE(engine::ChangeListHoldsNoChange(skipped));
    EXPECT_TRUE(engine::ChangeListHoldsNoChange(ListOf({}, cache)));
}

TEST(ChangeList, MoreChangesThanOneBufferAreAllKept) {
    std::vector<engine::ChangeRecord> records;
    records.reserve(3000);
    for (std::int32_t i = 0; i < 3000; ++i) {
        records.push_back(Change(act::kDelete, -2000000000 + i, -2000000000, -2000000000));
    }
    const std::string list = ListOf(records, {});
    EXPECT_GT(list.size(), engine::kChangeListPartLimit);
    std::size_t lines = 0;
    for (char ch : list) lines += ch == '\n' ? 1 : 0;
    EXPECT_EQ(lines, records.size() + 1);
    EXPECT_TRUE(list.ends_with("\nD;-1999997001;-2000000000;Nothing;0;-2000000000;0\n"));
}

// ---- splitting into parts ---------------------------------------------------------------------

std::vector<std::string> LinesAfterHeader(const std::string& list) {
    std::vector<std::string> lines;
    std::size_t at = kHeader.size();
    while (at < list.size()) {
        const std::size_t end = list.find('\n', at) + 1;
        lines.push_back(list.substr(at, end - at));
        at = end;
    }
    return lines;
}

void ExpectFaithfulSplit(const std::string& list, std::size_t limit) {
    std::vector<std::string> parts;
    ASSERT_TRUE(engine::SplitChangeList(list, parts, limit));
    std::vector<std::string> rejoined;
    for (const std::string& part : parts) {
        EXPECT_EQ(part.compare(0, kHeader.size(), kHeader), 0);
        EXPECT_LE(part.size() + 1, limit);
        EXPECT_FALSE(engine::ChangeListHoldsNoChange(part));
        for (std::string& line : LinesAfterHeader(part)) rejoined.push_back(std::move(line));
    }
    EXPECT_EQ(rejoined, LinesAfterHeader(list));
}

TEST(ChangeListSplit, EveryLineOnceInOrderWithinTheLimit) {
    std::mt19937 rng(5);
    std::vector<engine::ChangeRecord> records;
    records.reserve(8000);
    for (int i = 0; i < 8000; ++i) {
        records.push_back(Change(static_cast<std::int32_t>(rng() % 3), static_cast<std::int32_t>(rng()),
                                 static_cast<std::int32_t>(rng()), static_cast<std::int32_t>(rng() % 70000),
                                 static_cast<std::int32_t>(rng() % 721), static_cast<std::int32_t>(rng())));
    }
    const std::string list = ListOf(records, {});
    ASSERT_GT(list.size(), 3 * engine::kChangeListPartLimit);
    ExpectFaithfulSplit(list, engine::kChangeListPartLimit);
    std::vector<std::string> parts;
    ASSERT_TRUE(engine::SplitChangeList(list, parts));
    EXPECT_GE(parts.size(), 4U);
}

TEST(ChangeListSplit, PartsFillExactlyToTheLimit) {
    // Lines of 10 bytes: with a limit of header + 1 + 30 each part takes exactly three.
    std::string list = kHeader;
    for (int i = 0; i < 7; ++i) list += "A;1;2; ;" + std::to_string(i) + "\n";
    const std::size_t limit = kHeader.size() + 1 + 30;
    std::vector<std::string> parts;
    ASSERT_TRUE(engine::SplitChangeList(list, parts, limit));
    ASSERT_EQ(parts.size(), 3U);
    EXPECT_EQ(parts[0].size() + 1, limit);
    EXPECT_EQ(parts[2], kHeader + "A;1;2; ;6\n");
    ExpectFaithfulSplit(list, limit);
    ExpectFaithfulSplit(list, limit - 1);  // now two lines per part
}

TEST(ChangeListSplit, RejectsWhatIsNotAWholeChangeList) {
    std::vector<std::string> parts{"left over"};
    EXPECT_TRUE(engine::SplitChangeList(kHeader, parts));
    EXPECT_TRUE(parts.empty());
    const struct {
        const char* what;
        std::string text;
        std::size_t limit;
    } bad[] = {
        {"no header", "A;1;2; ;3;4;5\n", 1000},
        {"header without its line feed", "VyoSync Updates", 1000},
        {"last line unfinished", kHeader + "A;1;2; ;3;4;5", 1000},
        {"line too long for a part", kHeader + "A;1;2; ;3;4;5\n", kHeader.size() + 14},
        {"limit below the header", kHeader + "A\n", 10},
    };
    for (const auto& b : bad) {
        parts = {"left over"};
        EXPECT_FALSE(engine::SplitChangeList(b.text, parts, b.limit)) << b.what;
        EXPECT_TRUE(parts.empty()) << b.what;
    }
}

// ---- the personal-updates file ------------------------------------------------------------------

std::string RecordBytes(std::int32_t seed) {
    std::string bytes(80, '\0');
    for (int i = 0; i < 80; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(seed + i);
    return bytes;
}

TEST(ChangeRecords, WholeRecordsOnlyAndFieldsAtTheirOffsets) {
    testsupport::TempDir dir;
    const std::string path = dir.file("poiupdates.upd");
    const struct {
        std::size_t size;
        std::uint32_t records;
    } sizes[] = {{0, 0}, {1, 0}, {79, 0}, {80, 1}, {159, 1}, {160, 2}, {2401, 30}};
    for (const auto& s : sizes) {
        std::string bytes;
        while (bytes.size() < s.size) bytes += RecordBytes(static_cast<std::int32_t>(bytes.size() / 80));
        bytes.resize(s.size);
        testsupport::WriteWholeFile(path, bytes);
        std::vector<engine::ChangeRecord> records{engine::ChangeRecord{}};
        EXPECT_TRUE(engine::ReadChangeRecords(path, records)) << s.size;
        EXPECT_EQ(records.size(), s.records) << s.size;
        EXPECT_EQ(engine::CountChangeRecords(path), s.records) << s.size;
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(std::memcmp(&records[i], bytes.data() + i * 80, 80), 0);
        }
    }
    // Little-endian fields at 0, 4, 8, 12, 16 and 24.
    std::string bytes(80, '\0');
    const std::int32_t values[] = {-15, 4000019, 27516, -7, 450, 0x55555555, 2};
    const std::size_t offsets[] = {0, 4, 8, 12, 16, 20, 24};
    for (int i = 0; i < 7; ++i) std::memcpy(bytes.data() + offsets[i], &values[i], 4);
    testsupport::WriteWholeFile(path, bytes);
    std::vector<engine::ChangeRecord> records;
    ASSERT_TRUE(engine::ReadChangeRecords(path, records));
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(ListOf(records, {}), kHeader + "U;-15;4000019; ;450;27516;0\n");
}

TEST(ChangeRecords, MissingFileIsNoPendingChange) {
    testsupport::TempDir dir;
    std::vector<engine::ChangeRecord> records{engine::ChangeRecord{}};
    EXPECT_TRUE(engine::ReadChangeRecords(dir.file("absent.upd"), records));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(engine::CountChangeRecords(dir.file("absent.upd")), 0U);
}

TEST(ChangeRecords, UnreadableFileIsAFailureNotAnEmptyList) {
    testsupport::TempDir dir;
    std::vector<engine::ChangeRecord> records{engine::ChangeRecord{}};
    EXPECT_FALSE(engine::ReadChangeRecords(dir.path(), records));  // a folder exists but has no bytes
    EXPECT_TRUE(records.empty());
}

bool SameRecords(const std::vector<engine::ChangeRecord>& a, const std::vector<engine::ChangeRecord>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 80) == 0;
}

// The pending list takes away from the other only as many of a report as it holds itself.
TEST(ChangeRecords, MergeIsASequenceNotASet) {
    const engine::ChangeRecord a = Change(act::kAdd, 1000, 2000, 3), d = Change(act::kDelete, 1000, 2000, 3),
                               b = Change(act::kAdd, 5000, 6000, 3);
    const std::vector<engine::ChangeRecord> cases[][3] = {
        {{a, d}, {a, d, a}, {a, d, a}},  // added, deleted and added again
        {{a, b}, {a, b}, {a, b}},        // the same reports twice
        {{a}, {a, a, a}, {a, a, a}},     // repeats beyond the pending ones
        {{b}, {a, b, d}, {b, a, d}},     // each in its order
    };
    for (const auto& c : cases) EXPECT_TRUE(SameRecords(engine::MergeReports(c[0], c[1]), c[2])) << &c - cases;
}

TEST(ChangeRecords, ReportsOffTheGlobeOrWithoutADirectionAreSetAside) {
    const std::int32_t kLat = 90000000, kLon = 180000000;
    std::vector<engine::ChangeRecord> records = {
        Change(0, kLat, kLon, 0, -2),     Change(0, -kLat - 1, 0, 1),     Change(0, -kLat, -kLon, 2, 720),
        Change(0, kLat + 1, 0, 3),        Change(0, 0, kLon + 1, 4),      Change(0, 0, -kLon - 1, 5),
        Change(0, 0, 0, 6, -3),           Change(0, 0, 0, 7, 721),        Change(0, 0, 0, 8, -1),
        Change(0, INT32_MIN, 0, 9, INT32_MAX)};
    const std::vector<engine::ChangeRecord> readable = {records[0], records[2], records[8]};
    const std::vector<engine::ChangeRecord> aside = {records[1], records[3], records[4], records[5],
                                                     records[6], records[7], records[9]};
    EXPECT_TRUE(SameRecords(engine::SetAsideUnreadable(records), aside));
    EXPECT_TRUE(SameRecords(records, readable));
}

}  // namespace
