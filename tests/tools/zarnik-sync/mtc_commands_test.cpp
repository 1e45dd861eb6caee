#include <gtest/gtest.h>

#include <filesystem>

#include "run_tool.h"
#include "temp_dir.h"
#include "tests/service/writer/mtc_golden.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
using tooltest::RunZarnikSync;

TEST(ZarnikSyncMtc, BuildsFromTheWorkingFolderByDefault) {
    TempDir dir;
    std::filesystem::copy_file(samples::MtcGolden("negative_cells.cache"), dir.file("local.cache"));
    const auto run = RunZarnikSync({"build-mtc"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3 cameras"), std::string::npos) << run.out;
    EXPECT_EQ(ReadWholeFile(dir.file("zarniks.mtc")), ReadWholeFile(samples::MtcGolden("negative_cells.mtc")));

    const auto count = RunZarnikSync({"count-mtc", "zarniks.mtc"}, dir.path());
    EXPECT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "3\n");
}

TEST(ZarnikSyncMtc, BuildsBetweenNamedFiles) {
    TempDir dir;
    const auto run = RunZarnikSync(
        {"build-mtc", "--out", dir.file("out.mtc"), "--cache", samples::MtcGolden("equal_keys_scrambled.cache")}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadWholeFile(dir.file("out.mtc")), ReadWholeFile(samples::MtcGolden("equal_keys_scrambled.mtc")));
    EXPECT_FALSE(testsupport::FileExists(dir.file("zarniks.mtc")));
}

TEST(ZarnikSyncMtc, FailuresSayWhyAndLeaveTheEarlierFile) {
    TempDir dir;
    WriteWholeFile(dir.file("zarniks.mtc"), "earlier file");
    WriteWholeFile(dir.file("empty.cache"), "");
    WriteWholeFile(dir.file("notmtc"), std::string(100, 'x'));
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {"no command", {}, 2, "usage: zarnik-sync"},
        {"unknown command", {"bulid-mtc"}, 2, "unknown command bulid-mtc"},
        {"missing cache", {"build-mtc"}, 1, "cannot read the camera cache ./local.cache"},
        {"empty cache", {"build-mtc", "--cache", "empty.cache"}, 0, "no cameras in empty.cache"},
        {"option without value", {"build-mtc", "--cache"}, 2, "--cache needs a value"},
        {"unknown option", {"build-mtc", "--force"}, 2, "unknown option --force"},
        {"stray argument", {"build-mtc", "x"}, 2, "unexpected argument x"},
        {"unwritable output", {"build-mtc", "--cache", samples::MtcGolden("one_camera.cache"), "--out", "no/dir/x.mtc"}, 1,
         "cannot write no/dir/x.mtc"},
        {"count without file", {"count-mtc"}, 2, "exactly one"},
        {"count missing file", {"count-mtc", "missing.mtc"}, 1, "cannot open missing.mtc"},
        {"count other file", {"count-mtc", "notmtc"}, 1, "not a speed-camera file"},
        {"count a folder", {"count-mtc", "."}, 1, "not a speed-camera file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = RunZarnikSync(c.args, dir.path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadWholeFile(dir.file("zarniks.mtc")), "earlier file");
    }
}

TEST(ZarnikSyncMtc, HelpListsTheCommands) {
    TempDir dir;
    const auto run = RunZarnikSync({"help"}, dir.path());
    EXPECT_EQ(run.status, 0);
    for (const char* command : {"build-mtc [--cache F] [--out F]", "count-mtc F"}) {
        EXPECT_NE(run.out.find(command), std::string::npos) << command;
    }
}

}  // namespace
