#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "temp_dir.h"

using platform::AtomicFile;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

size_t FilesIn(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

TEST(AtomicFile, ReplacesOnlyOnCommitAndLeavesNoTemporaryBehind) {
    TempDir dir;
    const std::string target = dir.file("local.cache");
    WriteWholeFile(target, "old contents");

    struct Case {
        const char* name;
        bool sync;  // made lasting in the temporary first, then written on
        bool commit;
        std::string expected;
    };
    for (const Case& c : {Case{"abandoned", false, false, "old contents"}, Case{"committed", false, true, "newer"},
                          Case{"synced, abandoned", true, false, "old contents"},
                          Case{"synced, committed", true, true, "newer"}}) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(target, "old contents");
        {
            AtomicFile f;
            ASSERT_TRUE(f.Open(target));
            ASSERT_TRUE(f.Write("new", 3));
            if (c.sync) {
                ASSERT_TRUE(f.Sync());
            }
            ASSERT_TRUE(f.Write("er", 2));
            EXPECT_EQ(ReadWholeFile(target), "old contents");  // untouched while writing
            if (c.commit) {
                EXPECT_TRUE(f.Commit());
            }
        }
        EXPECT_EQ(ReadWholeFile(target), c.expected);
        EXPECT_EQ(FilesIn(dir.path()), 1U);
    }
}

TEST(AtomicFile, LargeWritesCrossTheBufferIntact) {
    TempDir dir;
    std::string data;
    // Past the steps in which a large file is handed to the disk and synced while it is written.
    for (int i = 0; i < 20000000; ++i) data.push_back(static_cast<char>('a' + i % 26));
    const struct {
        const char* name;
        std::size_t syncAt;  // Sync once this much is written; 0 for never
        bool commit;
    } cases[] = {{"committed", 0, true}, {"synced midway, committed", 9000000, true}, {"abandoned", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = dir.file("big");
        WriteWholeFile(target, "old");
        {
            AtomicFile f;
            ASSERT_TRUE(f.Open(target));
            ASSERT_TRUE(f.Write(data.data(), 100));
            ASSERT_TRUE(f.Write(data.data() + 100, 200000));  // larger than the buffer
            for (std::size_t at = 200100; at < data.size();) {
                const std::size_t piece = std::min<std::size_t>(data.size() - at, 70001);
                ASSERT_TRUE(f.Write(data.data() + at, piece));
                at += piece;
                if (c.syncAt != 0 && at >= c.syncAt && at - piece < c.syncAt) {
                    ASSERT_TRUE(f.Sync());
                }
            }
            if (c.commit) {
                ASSERT_TRUE(f.Commit());
            }
        }
        EXPECT_EQ(ReadWholeFile(target), c.commit ? data : "old");
        EXPECT_EQ(FilesIn(dir.path()), 1U);
    }
}

TEST(AtomicFile, FailsCleanlyWhereNothingCanBeWritten) {
    TempDir dir;
    AtomicFile f;
    EXPECT_FALSE(f.Open(dir.file("missing-folder/local.cache")));
    EXPECT_FALSE(f.Write("x", 1));
    EXPECT_FALSE(f.Commit());
}

TEST(AtomicFile, CommitFailureKeepsTheOldFile) {
    TempDir dir;
    // The target is a non-empty folder: the rename must fail, and nothing may be lost.
    std::filesystem::create_directory(dir.file("target"));
    WriteWholeFile(dir.file("target/inside"), "keep");
    AtomicFile f;
    ASSERT_TRUE(f.Open(dir.file("target")));
    ASSERT_TRUE(f.Write("new", 3));
    EXPECT_FALSE(f.Commit());
    EXPECT_EQ(ReadWholeFile(dir.file("target/inside")), "keep");
    EXPECT_EQ(FilesIn(dir.path()), 1U);
}

}  // namespace

namespace {

TEST(AtomicFile, LeftoversOfKilledWritersGoAndNothingElse) {
    TempDir dir;
    const struct {
        const char* name;
        bool folder;
        bool removed;
    } entries[] = {
        {"local.cache.tmp-Ab3dE9", false, true}, {"zarniks.mtc.tmp-000000", false, true},
        {"local.cache", false, false},           {"notes.tmp-abcde", false, false},  // five, not six
        {"notes.tmp-abcdefg", false, false},     {"notes.tmp-abc-de", false, false},
        {"photos.tmp-abcdef", true, false},      {"keep.tmp-ABCDEF.txt", false, false},
    };
    for (const auto& e : entries) {
        if (e.folder) {
            std::filesystem::create_directory(dir.file(e.name));
        } else {
            WriteWholeFile(dir.file(e.name), "x");
        }
    }
    std::filesystem::create_directory(dir.file("below"));
    WriteWholeFile(dir.file("below/local.cache.tmp-Ab3dE9"), "x");  // only the folder itself

    EXPECT_EQ(platform::RemoveLeftoverTemporaries(dir.path()), 2);
    for (const auto& e : entries) EXPECT_EQ(std::filesystem::exists(dir.file(e.name)), !e.removed) << e.name;
    EXPECT_TRUE(std::filesystem::exists(dir.file("below/local.cache.tmp-Ab3dE9")));

    // A temporary of a live writer has the same pattern: the writer fails, nothing is replaced.
    AtomicFile writer;
    ASSERT_TRUE(writer.Open(dir.file("local.cache")));
    ASSERT_TRUE(writer.Write("new", 3));
    EXPECT_EQ(platform::RemoveLeftoverTemporaries(dir.path()), 1);
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ(ReadWholeFile(dir.file("local.cache")), "x");
}

}  // namespace
