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

// The working folder, wherever the command is started: the files sync leaves are the defaults.
TEST(ZarnikSyncMtc, BuildsAndCountsInTheWorkingFolderByDefault) {
    TempDir home, elsewhere;
    setenv("ZARNIK_HOME", home.path().c_str(), 1);
    std::filesystem::copy_file(samples::MtcGolden("negative_cells.cache"), home.file("local.cache"));
    const auto run = RunZarnikSync({"build-mtc"}, elsewhere.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3 cameras"), std::string::npos) << run.out;
    EXPECT_EQ(ReadWholeFile(home.file("zarniks.mtc")), ReadWholeFile(samples::MtcGolden("negative_cells.mtc")));
    EXPECT_FALSE(testsupport::FileExists(elsewhere.file("zarniks.mtc")));
    EXPECT_EQ(RunZarnikSync({"build-mtc", "-q"}, elsewhere.path()).out, "");

    const auto count = RunZarnikSync({"count-mtc"}, elsewhere.path());
    EXPECT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "3\n");
    unsetenv("ZARNIK_HOME");
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
    setenv("ZARNIK_HOME", dir.path().c_str(), 1);
    WriteWholeFile(dir.file("zarniks.mtc"), "earlier file");
    WriteWholeFile(dir.file("empty.cache"), "");
    WriteWholeFile(dir.file("notmtc"), std::string(100, 'x'));
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {"missing cache", {"build-mtc"}, 1, "cannot read the camera cache " + dir.file("local.cache")},
        {"empty cache", {"build-mtc", "--cache", "empty.cache"}, 0, "no cameras in empty.cache"},
        {"unwritable output", {"build-mtc", "--cache", samples::MtcGolden("one_camera.cache"), "--out", "no/dir/x.mtc"}, 1,
         "cannot write no/dir/x.mtc"},
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
    unsetenv("ZARNIK_HOME");
}

}  // namespace
