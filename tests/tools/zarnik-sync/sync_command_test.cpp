// zarnik-sync settings and sync --pc-only as a user runs them, against the reference service.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "run_tool.h"
#include "tool_fixture.h"

namespace {

using tooltest::RunZarnikSync;

class SyncCommand : public tooltest::ToolWithService {};

TEST_F(SyncCommand, SettingsThenTwoSynchronisations) {
    auto run = RunZarnikSync({"sync", "--pc-only"}, work_.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("registration data is incomplete"), std::string::npos) << run.err;

    run = RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial, "--email",
                         poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/", "--device", "2"},
                        work_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    run = RunZarnikSync({"settings"}, work_.path());
    EXPECT_NE(run.out.find("name      " + poidbtest::kName + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("device    2\n"), std::string::npos) << run.out;
    EXPECT_EQ(RunZarnikSync({"settings", "set", "--device", "two"}, work_.path()).status, 2);

    run = RunZarnikSync({"sync", "--pc-only"}, work_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Full retrieval: the local cache holds 12 cameras."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("/home/zarniks.mtc: 12 zarniks."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("device"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Doing a full retrieval"), std::string::npos) << run.err;
    // Not a terminal: one plain line for each list once it is in, with its size, rate and time.
    EXPECT_NE(run.err.find("\n    official list: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\n    personal list: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
    EXPECT_TRUE(testsupport::FileExists(work_.file("home/zarniks.mtc")));

    run = RunZarnikSync({"sync", "--pc-only", "--quiet"}, work_.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    // A record no report could be is neither sent nor deleted, and even a quiet run says so.
    const std::string offTheGlobe(80, '\x7f');
    testsupport::WriteWholeFile(work_.file("home/poiupdates.upd"), offTheGlobe);
    run = RunZarnikSync({"sync", "--pc-only", "--quiet"}, work_.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("1 personal updates could not be read and have not been sent.\nThey are kept on the PC.\n"
                           "zarnik-sync: they stay in " + work_.file("home/poiupdates.upd")),
              std::string::npos) << run.err;
    EXPECT_EQ(testsupport::ReadWholeFile(work_.file("home/poiupdates.upd")), offTheGlobe);
    std::remove(work_.file("home/poiupdates.upd").c_str());
    run = RunZarnikSync({"sync", "--pc-only", "-v"}, work_.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("working folder " + work_.file("home")), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("    logon: "), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Changes downloaded to the local cache: 0 added"), std::string::npos) << run.out;

    StopServer();
    run = RunZarnikSync({"sync", "--pc-only"}, work_.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to send request !\nCause: sending http://"), std::string::npos) << run.err;
    // The folder of the settings was not reachable either, and the user is told so.
    EXPECT_NE(run.err.find("the server-address file could not be fetched (sending http://" + address_ +
                           "/POIDataBase/vyosync.txt: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(RunZarnikSync({"sync"}, work_.path()).status, 1);  // the device side is not there
}

// OpenStreetMap cameras join the camera file on both roads, except the one that stands where a
// fixed service camera already is (a camera of the other class there does not count).
TEST_F(SyncCommand, OpenStreetMapCamerasJoinTheCameraFileOnBothRoads) {
    AddOfficial(48000000, 9000000, "fixed", 90, 27516);  // 13 service cameras with the fixture's
    testsupport::WriteWholeFile(work_.file("cams.osm"),
                                "<osm version=\"0.6\">"
                                "<node id=\"1\" lat=\"48.0001\" lon=\"9.0\"><tag k=\"highway\" v=\"speed_camera\"/></node>"
                                "<node id=\"2\" lat=\"47.0\" lon=\"8.0\"><tag k=\"highway\" v=\"speed_camera\"/></node>"
                                "<node id=\"3\" lat=\"10.0\" lon=\"10.0\"><tag k=\"highway\" v=\"speed_camera\"/></node>"
                                "</osm>");
    ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial, "--email",
                             poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/", "--device", "2"},
                            work_.path()).status, 0);
    const auto imported = RunZarnikSync({"import-osm", "cams.osm"}, work_.path());
    ASSERT_EQ(imported.status, 0) << imported.err;
    for (const char* road : {"Full retrieval", "Changes downloaded"}) {
        const auto run = RunZarnikSync({"sync", "--pc-only"}, work_.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(road), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("/home/zarniks.mtc: 15 zarniks."), std::string::npos) << road << "\n" << run.out;
    }
}

// A folder that the service does not have, or whose file holds no address, is told as plainly as
// one that cannot be reached: the user learns why the built-in address is asked instead.
TEST_F(SyncCommand, AServiceFolderWithoutAnAddressIsTold) {
    const std::pair<const char*, const char*> cases[] = {  // the folder, and why it gave no address
        {"/Wrong/", "/Wrong/vyosync.txt: the server answered HTTP status 404"},
        {"/POIDataBase/ServerUp.php?/", "/POIDataBase/ServerUp.php?/vyosync.txt: it holds no address beginning with http:"},
    };
    for (const auto& [folder, why] : cases) {
        ASSERT_EQ(RunZarnikSync({"settings", "set", "--url", "http://" + address_ + folder}, work_.path()).status, 0);
        const auto run = RunZarnikSync({"sync", "--pc-only"}, work_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("the server-address file could not be fetched (fetching http://" + address_ + why +
                               "); asking http://127.0.0.1/ instead"), std::string::npos) << run.err;
    }
}

}  // namespace

namespace {

TEST_F(SyncCommand, SettingsThatWouldBeCutOrWouldReplaceADamagedStoreAreRefused) {
    const std::string store = work_.file("settings.reg");
    ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", "Ann", "--serial", "S-1"}, work_.path()).status, 0);
    const std::string good = testsupport::ReadWholeFile(store);
    const struct {
        const char* name;
        std::string contents;
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {"serial of 256 bytes", good, {"--serial", std::string(256, '7')}, 2, "--serial takes at most 255 bytes"},
        {"language of 20 bytes", good, {"--language", std::string(20, '1')}, 2, "--language takes at most 19 bytes"},
        {"damaged store", good + "garbage\n", {"--email", "a@b.c"}, 1, "is damaged at line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteWholeFile(store, c.contents);
        std::vector<std::string> args = {"settings", "set"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = RunZarnikSync(args, work_.path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(testsupport::ReadWholeFile(store), c.contents);
    }
    EXPECT_EQ(RunZarnikSync({"settings"}, work_.path()).status, 1);  // the damage is shown, not hidden
}

}  // namespace

namespace {

TEST_F(SyncCommand, StatusRunsTheStartUpExchangesAndShowsTheCounts) {
    ASSERT_EQ(RunZarnikSync({"settings", "set", "--name", poidbtest::kName, "--serial", poidbtest::kSerial,
                             "--email", poidbtest::kEmail, "--url", "http://" + address_ + "/POIDataBase/"},
                            work_.path())
                  .status,
              0);
    ASSERT_TRUE(Admin().AddAlert("Mobile camera on the B12", "", 20000101, 29991231));
    ASSERT_TRUE(Admin().AddMessage("Welcome", "1033"));
    const struct {
        const char* name;
        const char* offer;  // the address of the newer version
        bool serviceUp;
        int status;
        std::vector<std::string> shown;
        std::vector<std::string> notShown;
    } cases[] = {
        {"first start", "http://example.org/zarnik", true, 0,
         {"Alert: Mobile camera on the B12\n", "Information 1: Welcome\n", "Update available at http://example.org/zarnik",
          "A full synchronisation will be done !"},
         {}},
        // Only an http(s) address is named as the place to download from.
        {"the alert was seen", "file:///etc/passwd", true, 0, {"Information 1: Welcome\n", "Version 2.1.0 is out"},
         {"Mobile camera", "file:", "Update available at"}},
        {"service down", "", false, 1, {"Alert: There seems to be a problem connecting"}, {"Information"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.serviceUp) {
            ASSERT_TRUE(Admin().SetVersion({210, c.offer, "Version 2.1.0 is out"}));
        } else {
            StopServer();
        }
        const auto run = RunZarnikSync({"status"}, work_.path());
        EXPECT_EQ(run.status, c.status) << run.err;
        for (const auto& text : c.shown) EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
        for (const auto& text : c.notShown) EXPECT_EQ(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
}

}  // namespace
