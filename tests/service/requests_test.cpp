#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "scripted_service.h"
#include "service/cache_file.h"
#include "service/service_client.h"
#include "temp_dir.h"
#include "who.h"

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

std::string ListLine(int id, int lat, int lon, const std::string& name, int dir, int cat, int extra,
                     const std::string& last) {
    return std::to_string(id) + "|" + std::to_string(lat) + "|" + std::to_string(lon) + "|" + name + "|" +
           std::to_string(dir) + "|" + std::to_string(cat) + "|" + std::to_string(extra) + "|" + last + "#\n";
}

std::vector<service::CameraRecord> Cache(const char* file) {
    std::vector<service::CameraRecord> records;
    service::ReadCacheFile(file, records);
    return records;
}

class RequestsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.ok());
        client_.SetBaseUrl(service_.BaseUrl().c_str());
    }
    void LogOn() {
        service_.Set("/POIDataBase/LoGon.php", "OK:");
        ASSERT_EQ(client_.LogOn(testsupport::Who("Ann", "S1", "a@b"), "2.0"), service::Result::kOk);
    }
    std::string ErrorLog() const { return FileExists("httperror.txt") ? ReadWholeFile("httperror.txt") : ""; }

    testsupport::TempDir dir_{true};
    testsupport::ScriptedService service_;
    CServiceClient client_{platform::WorkFolder(dir_.path())};
};

TEST_F(RequestsTest, LogOnReplies) {
    const struct {
        std::string reply;
        std::int32_t code;
        bool logged;
    } cases[] = {
        {"OK:", 0, false},
        {"OK:anything after", 0, false},
        {"OKFULL:", 8192, false},
        {"OKFULL:x", 10006, true},
        {"ERROR:Not_Logged_In!", 10002, false},
        {"ERROR:Not_Logged_In", 10006, true},
        {"ERROR:User_Not_Fou", 10003, false},
        {"ERROR:Logon_Credentials_Not_Found!", 10004, false},
        {"", 10006, true},
        {std::string(500, 'x') + "OKFULL:", 8192, false},  // judged by the last piece alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        std::remove("httperror.txt");
        service_.Set("/POIDataBase/LoGon.php", c.reply);
        EXPECT_EQ(service::Code(client_.LogOn(testsupport::Who("Ann Smith", "S-1", "ann@example.com"), "2.0")), c.code);
        EXPECT_TRUE(client_.has_session());  // left open for the requests that follow
        client_.CloseHandles();
        const std::string log = ErrorLog();
        EXPECT_EQ(!log.empty(), c.logged);
        if (c.logged) {
            EXPECT_EQ(log.substr(log.find("reported in")), "reported in LoGon  \r\n\r\n " + c.reply);
        }
    }
    EXPECT_EQ(service_.server().requests().back().body, "Ann Smith,S-1,ann@example.com,2.0");
    service_.Set("/POIDataBase/LoGon.php", "OK:");
    EXPECT_EQ(service::Code(client_.TestLogon(testsupport::Who("Ann", "S", "E"))), 0);
    EXPECT_FALSE(client_.has_session());
    EXPECT_EQ(service_.server().requests().back().body, "Ann,S,E,V2.0");
}

TEST_F(RequestsTest, QueryUpdatesReplies) {
    const struct {
        const char* reply;
        std::int32_t code;
        std::int32_t count;
        const char* date;
    } cases[] = {
        {"OK:12:2008-06-30", 0, 12, "2008-06-30"},
        {"OK:FULL:2008-06-30", 0, -1, "2008-06-30"},
        {"OK:7", 0, 7, "Unknown!"},
        {"OK:3:2008-06-30T12:00", 0, 3, "2008-06-30"},
        {"OK:FULL", 0, -1, "Unknown!"},
        // A count that is no whole number of changes is a reply not understood.
        {"OK:", 10006, 99, "as before"},
        {"OK:12 changes:2008-06-30", 10006, 99, "as before"},
        {"OK:-5:2008-06-30", 10006, 99, "as before"},
        {"OK:4294967296:2008-06-30", 10006, 99, "as before"},
        {"ERROR:User_Not_Found", 10003, 99, "as before"},
        {"garbage", 10006, 99, "as before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        service_.Set("/POIDataBase/Updates.php", c.reply);
        std::int32_t count = 99;
        std::string date = "as before";
        EXPECT_EQ(service::Code(client_.QueryUpdates(testsupport::Who("A", "S", "E"), "V2.0", count, date)), c.code);
        EXPECT_EQ(count, c.code == 0 ? c.count : 99);
        EXPECT_EQ(date, c.date);
        EXPECT_FALSE(client_.has_session());
    }
}

TEST_F(RequestsTest, FullRetrievalFiltersOfficialCamerasThroughMutations) {
    LogOn();
    service_.Set("/POIDataBase/mut.php", "MUT:" + ListLine(90, 1, 1, "gone", 5, 5, 5, "DT") +
                                             ListLine(91, 2, 2, "changed", 180, 27514, 0, "CH") + "OK:");
    service_.Set("/POIDataBase/off.php", "OFF:" + ListLine(1, 1, 1, "deleted", 10, 1, 1, "1") +
                                             ListLine(2, 2, 2, "Main St", 10, 30000, 7, "1") +
                                             ListLine(3, 3, 3, "New\nline\rkept", -1, 2, 3, "4"));
    service_.Set("/POIDataBase/per.php", "PER:" + ListLine(4, 4, 4, "mine", -2, 1, 0, "0") + "OK:");
    ASSERT_EQ(service::Code(client_.FetchMutationList()), 0);
    ASSERT_EQ(service::Code(client_.FetchOfficialList()), 0);
    ASSERT_EQ(service::Code(client_.FetchPersonalList()), 0);

    const auto mutations = Cache("mut.cache");
    ASSERT_EQ(mutations.size(), 2U);
    EXPECT_EQ(mutations[0].flag, 0);
    EXPECT_EQ(mutations[1].flag, 1);
    const auto local = Cache("local.cache");
    ASSERT_EQ(local.size(), 3U);
    EXPECT_EQ(local[0].identifier, 2);
    EXPECT_EQ(local[0].direction, 180);
    EXPECT_EQ(local[0].category, 27514);
    EXPECT_STREQ(local[0].name, "Main St");
    EXPECT_EQ(local[0].extra, 7);
    EXPECT_STREQ(local[1].name, "Newline\rkept");  // line feeds dropped, carriage returns kept
    EXPECT_EQ(local[1].flag, 4);
    EXPECT_EQ(local[2].identifier, 4);
    EXPECT_EQ(local[2].flag, 0);
}

TEST_F(RequestsTest, ListReplyPrefixes) {
    LogOn();
    const struct {
        const char* path;
        std::string reply;
        std::int32_t code;
    } cases[] = {
        {"/POIDataBase/mut.php", "OK:", 0},
        {"/POIDataBase/per.php", "OK:", 0},
        {"/POIDataBase/off.php", "OK:", 10006},
        {"/POIDataBase/off.php", "OFF:OK:", 0},
        {"/POIDataBase/mut.php", "LIST:1|2|", 10006},
        {"/POIDataBase/per.php", "ERROR:User_Not_Found", 10003},
        {"/POIDataBase/off.php", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.reply);
        service_.Set(c.path, c.reply);
        std::int32_t code = -1;
        if (std::strstr(c.path, "mut")) code = service::Code(client_.FetchMutationList());
        if (std::strstr(c.path, "off")) code = service::Code(client_.FetchOfficialList());
        if (std::strstr(c.path, "per")) code = service::Code(client_.FetchPersonalList());
        EXPECT_EQ(code, c.code);
    }
    EXPECT_NE(ErrorLog().find("reported in OFF  \r\n\r\n OK:"), std::string::npos);
}

TEST_F(RequestsTest, RecordsSplitAtEveryPositionAcrossPiecesAreStoredWhole) {
    LogOn();
    const std::string tail = ListLine(2, -52123456, 4567890, "Second camera name", 361, 27515, -9, "1") +
                             ListLine(3, 7, 8, std::string(60, 'n'), 720, 1, 2, "1");
    for (std::size_t shift = 0; shift < 520; ++shift) {
        // Leading blanks of a number are skipped, so they move every later byte along.
        service_.Set("/POIDataBase/off.php", "OFF:" + std::string(shift, ' ') + "1|2|3|a|4|5|6|1#" + tail + "OK:");
        ASSERT_EQ(service::Code(client_.FetchOfficialList()), 0) << shift;
        const auto local = Cache("local.cache");
        ASSERT_EQ(local.size(), 3U) << shift;
        EXPECT_EQ(local[1].latitude, -52123456);
        EXPECT_STREQ(local[1].name, "Second camera name");
        EXPECT_EQ(local[2].direction, 720);
        EXPECT_EQ(std::strlen(local[2].name), 51U);  // a long name is cut to its field
    }
}

TEST_F(RequestsTest, AListFailingMidwayKeepsTheEarlierCacheAndGivesTheFailure) {
    WriteWholeFile("local.cache", std::string(160, 'k'));
    WriteWholeFile("mut.cache", std::string(80, 'm'));
    std::string records;
    for (int i = 0; i < 40; ++i) records += ListLine(i, i, i, "cam", 1, 1, 1, "1");
    LogOn();
    const struct {
        const char* name;
        std::string reply;
        long resetAfter;
        std::int32_t code;
    } cases[] = {
        {"error reply in the middle", "OFF:" + records.substr(0, 496) + "ERROR:Not_Logged_In!", -1, 10002},
        {"connection reset in the middle", "OFF:" + records, 700, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service_.Set("/POIDataBase/off.php", c.reply, c.resetAfter);
        EXPECT_EQ(service::Code(client_.FetchOfficialList()), c.code);
        EXPECT_EQ(ReadWholeFile("local.cache"), std::string(160, 'k'));
        if (c.resetAfter >= 0) {
            LogOn();  // the reset took the session's connection down
        }
    }
    service_.Set("/POIDataBase/mut.php", "MUT:" + records, 300);
    EXPECT_EQ(service::Code(client_.FetchMutationList()), 1);
    EXPECT_EQ(ReadWholeFile("mut.cache"), std::string(80, 'm'));
}

// A list long enough to keep the parsing thread busy while the reading goes on: however the
// reply ends, the cache holds the complete records in order, or stays as it was.
TEST_F(RequestsTest, ALongListEndingAnyWayIsStoredWholeOrNotAtAll) {
    std::string records;
    constexpr int kRecords = 60000;  // about 3 MB, several batches of the pipeline
    for (int i = 0; i < kRecords; ++i) records += ListLine(i, i, -i, "camera " + std::to_string(i), 90, 1, 2, "1");
    const std::string earlier(160, 'k');
    const struct {
        const char* name;
        const char* path;
        std::string reply;
        long resetAfter;
        std::int32_t code;
        int stored;  // records in the cache afterwards; -1: the earlier cache
    } cases[] = {
        {"cut midway", "/POIDataBase/off.php", "OFF:" + records, 2000000, 1, -1},
        {"cut in the last piece", "/POIDataBase/off.php", "OFF:" + records + "OK:",
         static_cast<long>(records.size() + 2), 1, -1},
        {"error reply far in", "/POIDataBase/off.php", "OFF:" + records.substr(0, 1500000 - 4) + "ERROR:Not_Logged_In!",
         -1, 10002, -1},
        {"ends in a partial record", "/POIDataBase/off.php", "OFF:" + records + "7|8|9|half", -1, 0, kRecords},
        {"ends after a separator", "/POIDataBase/off.php", "OFF:" + records + "7|8|", -1, 0, kRecords},
        {"personal list ends in a partial record", "/POIDataBase/per.php", "PER:" + records + "1|2", -1, 0,
         kRecords + 2},
    };
    LogOn();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile("local.cache", earlier);
        std::filesystem::remove("local.cache.sum");
        service_.Set(c.path, c.reply, c.resetAfter);
        const bool official = std::strstr(c.path, "off") != nullptr;
        EXPECT_EQ(service::Code(official ? client_.FetchOfficialList() : client_.FetchPersonalList()), c.code);
        if (c.stored < 0) {
            EXPECT_TRUE(ReadWholeFile("local.cache") == earlier);
        } else {
            const auto local = Cache("local.cache");
            ASSERT_EQ(local.size(), static_cast<std::size_t>(c.stored));
            const std::size_t first = local.size() - kRecords;  // after the earlier records, if kept
            for (int i = 0; i < kRecords; ++i) {
                ASSERT_EQ(local[first + i].identifier, i);
                ASSERT_EQ(local[first + i].longitude, -i);
                ASSERT_EQ(std::string(local[first + i].name), "camera " + std::to_string(i));
            }
        }
        if (c.resetAfter >= 0) LogOn();  // the reset took the session's connection down
    }
}

// Both lists with one commit leave the cache and its seal as the two requests in a row do, and
// hand the records on only when the whole cache is there; a failure keeps the earlier cache.
TEST_F(RequestsTest, BothListsInOneCommitMatchTheTwoRequests) {
    std::string official;
    for (int i = 0; i < 3000; ++i) official += ListLine(i, i, i, "off", 1, 1, 1, "1");
    const std::string personal = ListLine(7, 7, 7, "mine", -2, 1, 0, "0") + ListLine(8, 8, 8, "mine", 1, 1, 0, "0");
    service_.Set("/POIDataBase/mut.php", "MUT:" + ListLine(90, 5, 5, "gone", 5, 5, 5, "DT") + "OK:");
    service_.Set("/POIDataBase/off.php", "OFF:" + official + "OK:");
    service_.Set("/POIDataBase/per.php", "PER:" + personal + "OK:");
    LogOn();
    ASSERT_EQ(service::Code(client_.FetchMutationList()), 0);
    ASSERT_EQ(service::Code(client_.FetchOfficialList()), 0);
    ASSERT_EQ(service::Code(client_.FetchPersonalList()), 0);
    const std::string cache = ReadWholeFile("local.cache");
    const std::string seal = ReadWholeFile("local.cache.sum");
    const struct {
        const char* name;
        long perResetAfter;
        std::int32_t code;
    } cases[] = {{"whole", -1, 0}, {"personal list cut", 30, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile("local.cache", std::string(160, 'k'));
        std::filesystem::remove("local.cache.sum");
        service_.Set("/POIDataBase/per.php", "PER:" + personal + "OK:", c.perResetAfter);
        ASSERT_EQ(service::Code(client_.FetchMutationList()), 0);
        std::size_t handed = 0;
        EXPECT_EQ(service::Code(client_.FetchOfficialAndPersonalLists([&](const auto& r) { handed = r.size(); })),
                  c.code);
        EXPECT_FALSE(FileExists("mut.cache"));
        if (c.code == 0) {
            EXPECT_TRUE(ReadWholeFile("local.cache") == cache);
            EXPECT_EQ(ReadWholeFile("local.cache.sum"), seal);
            EXPECT_EQ(handed * sizeof(service::CameraRecord), cache.size());
            EXPECT_TRUE(client_.local_records_are_the_cache());
        } else {
            EXPECT_EQ(ReadWholeFile("local.cache"), std::string(160, 'k'));
            EXPECT_EQ(handed, 0U);
            LogOn();  // the reset took the session's connection down
        }
    }
}

TEST_F(RequestsTest, SessionRequestsNeedTheLogon) {
    std::int32_t a = 0, u = 0, d = 0;
    EXPECT_EQ(service::Code(client_.ChangeDownload(a, u, d)), 1);  // no connection at all
    service_.Set("/POIDataBase/LoGon.php", "OK:");
    ASSERT_EQ(service::Code(client_.LogOn(testsupport::Who("A", "S", "E"), "2.0")), 0);
    CServiceClient stranger{platform::WorkFolder(dir_.path())};
    stranger.SetBaseUrl(service_.BaseUrl().c_str());
    ASSERT_EQ(service::Code(stranger.OpenStandaloneRequest(nullptr, "POIDataBase/mut.php", nullptr)), 0);
    service::ReplyPiece piece;
    ASSERT_TRUE(stranger.ReadLastPiece(piece));
    EXPECT_STREQ(piece.text, "ERROR:Not_Logged_In!");
}

TEST_F(RequestsTest, UploadReplies) {
    LogOn();
    const char* kThreeLines = "VyoSync Updates\nA;1;2;x;0;0;0\nD;1;2;x;0;0;0\nU;1;2;x;0;0;0\n";
    const struct {
        const char* reply;
        std::int32_t code, first, second;
    } cases[] = {
        {"OK:3:2", 0, 3, 2}, {"OK:0:3\r\n", 0, 0, 3}, {"ERROR:Not_Logged_In!", 10002, 0, 0},
        {"Fatal error", 10006, 0, 0},
        // Only two whole numbers, each at most the three lines sent, confirm the upload.
        {"OK:4:1", 10006, 0, 0}, {"OK:+1:1", 10006, 0, 0}, {"OK:1:1:1", 10006, 0, 0}, {"OK:x:y", 10006, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        service_.Set("/POIDataBase/upl0ad.php", c.reply);
        std::int32_t first = -7, second = -7;
        EXPECT_EQ(service::Code(client_.UploadChanges(kThreeLines, first, second)), c.code);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(second, c.second);
    }
    EXPECT_EQ(service_.server().requests().back().body, kThreeLines);
    EXPECT_NE(ErrorLog().find("reported in Upload  \r\n\r\n Fatal error"), std::string::npos);
    EXPECT_NE(ErrorLog().find("reported in Upload  \r\n\r\n OK:4:1"), std::string::npos);
}

// However long the replies not understood and however many, the log keeps the start of each
// and its newest entries whole, within 1 MiB.
TEST_F(RequestsTest, TheErrorLogStaysBounded) {
    std::string old;
    while (old.size() < 1000 * 1024) old += "At 1:2:3 reported in OFF  \r\n\r\n " + std::string(5000, 'o');
    WriteWholeFile("httperror.txt", old);
    LogOn();
    service_.Set("/POIDataBase/mut.php", std::string(300 * 1024, 'g'));
    EXPECT_EQ(service::Code(client_.FetchMutationList()), 10006);
    service_.Set("/POIDataBase/mut.php", "Fatal error");
    EXPECT_EQ(service::Code(client_.FetchMutationList()), 10006);  // the session outlives a reply left unread

    const std::string log = ErrorLog();
    EXPECT_LT(log.size(), 1024U * 1024U);
    EXPECT_EQ(log.rfind("At 1:2:3 reported in OFF  \r\n\r\n " + std::string(5000, 'o'), 0), 0U);  // whole entries
    EXPECT_NE(log.find("reported in MUT  \r\n\r\n " + std::string(64 * 1024, 'g')), std::string::npos);
    EXPECT_EQ(log.find(std::string(64 * 1024 + 1, 'g')), std::string::npos);  // its first 64 KiB only
    const std::string last = "reported in MUT  \r\n\r\n Fatal error";
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
}

TEST_F(RequestsTest, ChangeDownloadCountsAndMerges) {
    WriteWholeFile("local.cache", "");
    LogOn();
    service_.Set("/POIDataBase/D0Sync.php",
                 ListLine(1, 10, 10, "added", 1, 1, 1, "A|1") + ListLine(2, 20, 20, "updated?", 1, 1, 1, "U|1") +
                     ListLine(3, 30, 30, "unknown delete", 1, 1, 1, "D|1") +
                     ListLine(4, 40, 40, "odd action", 1, 1, 1, "X|1") + "5|50|50|unfinished|1|1|1|A|");
    client_.LoadLocalCache();
    std::int32_t adds = -1, updates = -1, deletes = -1;
    ASSERT_EQ(service::Code(client_.ChangeDownload(adds, updates, deletes)), 0);
    EXPECT_EQ(adds, 2);  // field 7 of the unfinished record was read, so it counts
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(deletes, 1);
    const auto local = Cache("local.cache");
    ASSERT_EQ(local.size(), 2U);
    EXPECT_STREQ(local[0].name, "added");
    EXPECT_STREQ(local[1].name, "updated?");
    EXPECT_FALSE(FileExists("newconfig.dat"));

    // An error reply: no counts, the cache stays, the delta file is left on disk.
    const std::string first = ListLine(9, 9, 9, "x", 1, 1, 1, "A|1");
    service_.Set("/POIDataBase/D0Sync.php", first + std::string(500 - first.size(), ' ') + "ERROR:Not_Logged_In!");
    const std::string before = ReadWholeFile("local.cache");
    client_.LoadLocalCache();
    adds = updates = deletes = -1;
    EXPECT_EQ(service::Code(client_.ChangeDownload(adds, updates, deletes)), 10002);
    EXPECT_EQ(adds, -1);
    EXPECT_EQ(ReadWholeFile("local.cache"), before);
    EXPECT_TRUE(FileExists("newconfig.dat"));

    // No delta file, no download: the service would count new cameras as delivered.
    std::filesystem::remove("newconfig.dat");
    std::filesystem::create_directory("newconfig.dat");
    const std::size_t requests = service_.server().requests().size();
    EXPECT_EQ(service::Code(client_.ChangeDownload(adds, updates, deletes)), 10001);
    EXPECT_EQ(service_.server().requests().size(), requests);
    EXPECT_EQ(ReadWholeFile("local.cache"), before);
}

// A download that would add more cameras than the limit is refused whole, however it adds them
// (new cameras, or updates of cameras the cache does not know); at the limit it is stored.
TEST_F(RequestsTest, AChangeDownloadAddingMoreCamerasThanTheLimitIsRefused) {
    const struct {
        int adds;
        const char* lastAction;  // of a camera the cache does not know
        bool refused;
    } cases[] = {{3, "D", false}, {3, "A", true}, {3, "U", true}, {2, "A", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.adds) + " adds and one " + c.lastAction);
        WriteWholeFile("local.cache", std::string(80, 'k'));
        std::remove("local.cache.sum");  // the seal of the row before
        LogOn();
        std::string reply;
        for (int i = 0; i < c.adds; ++i) reply += ListLine(i + 1, i, i, "new", 1, 1, 1, "A|1");
        service_.Set("/POIDataBase/D0Sync.php", reply + ListLine(99, 9, 9, "last", 1, 1, 1, std::string(c.lastAction) + "|1"));
        const std::string before = ReadWholeFile("local.cache");
        client_.LoadLocalCache();
        client_.SetAddedCameraLimit(3);
        std::int32_t adds = -1, updates = -1, deletes = -1;
        const service::Result code = client_.ChangeDownload(adds, updates, deletes);
        EXPECT_EQ(service::Code(code), c.refused ? 10006 : 0);
        if (c.refused) {
            EXPECT_NE(client_.failure_cause().find("would add more than 3 cameras"), std::string::npos);
            EXPECT_EQ(ReadWholeFile("local.cache"), before);
        } else {
            EXPECT_EQ(Cache("local.cache").size(), 4U);  // the cached camera and three new ones
        }
        EXPECT_FALSE(FileExists("newconfig.dat"));
    }
}

TEST_F(RequestsTest, StartUpRequests) {
    const struct {
        std::string file;
        std::string expected;
    } urls[] = {
        {"http://127.0.0.1/\r\n", "http://127.0.0.1/"},
        {"http://example.org/sync/ \n", "http://example.org/sync/"},
        {"http://example.org/a/\nhttp://example.org/b/\n", "http://example.org/a/"},  // the first line only
        {"http://example.org/c/\r", "http://example.org/c/"},
        {"https://secure.example.org/", ""},
        {"<html>Not found</html>", ""},
        {"http://" + std::string(300, 'h') + "/", ""},
    };
    for (const auto& u : urls) {
        service_.Set("/POIDataBase/vyosync.txt", u.file);
        std::string base = "stale";
        const std::string folder = service_.BaseUrl() + "POIDataBase/";
        EXPECT_EQ(service::Code(client_.FetchServerUrl(folder.c_str(), base)), 0);
        EXPECT_EQ(base, u.expected) << u.file;
    }
    EXPECT_EQ(service_.server().requests().back().method, "GET");
    EXPECT_EQ(service_.server().requests().back().headers.count("accept"), 0U);  // no accepted types named

    for (const auto& [reply, code] : std::vector<std::pair<std::string, std::int32_t>>{
             {"IMTHERE:", 0}, {"IMTHERE:up since 9", 0}, {"<h1>500 Internal Server Error</h1>", 1000}, {"", 1000}}) {
        service_.Set("/POIDataBase/ServerUp.php", reply);
        EXPECT_EQ(service::Code(client_.PingServer()), code) << reply;
        client_.CloseHandles();
    }
    EXPECT_EQ(service_.server().requests().back().body, "ServerUpFake");

    const struct {
        std::string reply;
        std::int32_t id;
        std::string text;
    } alerts[] = {
        {"NONE:", -1, ""},
        {"12|Road works\non the A1|13|second|", 12, "Road works\non the A1"},
        {"7|" + std::string(300, 't') + "|", 7, ""},  // not shorter than the limit of 300
        {"8|", 8, ""},
        {"4294967296|Speed checks|", -1, ""},  // stored, either would hide every later alert
        {"-5|Speed checks|", -1, ""},
    };
    for (const auto& a : alerts) {
        service_.Set("/POIDataBase/Alerts.php", a.reply);
        std::string text = "old";
        std::int32_t id = 99;
        EXPECT_EQ(service::Code(client_.FetchAlert("-1;20081207;1033", text, 300, id)), 0);
        EXPECT_EQ(id, a.id) << a.reply;
        EXPECT_EQ(text, a.text) << a.reply;
    }

    const struct {
        const char* reply;
        const char* address;
        const char* message;
    } versions[] = {
        {"NONE", "", ""},
        {"210|http://example.org/get|Version 2.1 is out|", "http://example.org/get", "Version 2.1 is out"},
        {"210||Nothing to fetch|", "", "Nothing to fetch"},
        {"1|a|m|2|b|n|", "b", "n"},
    };
    for (const auto& v : versions) {
        service_.Set("/POIDataBase/CheckVersion.php", v.reply);
        std::string address = "x", message = "y";
        EXPECT_EQ(service::Code(client_.CheckVersion("209", address, message)), 0);
        EXPECT_EQ(address, v.address) << v.reply;
        EXPECT_EQ(message, v.message) << v.reply;
    }
    EXPECT_EQ(service_.server().requests().back().body, "209");
}

TEST_F(RequestsTest, InformationMessagesAreAppendedInReplyOrder) {
    service_.Set("/POIDataBase/Information.php",
                 "3|first|4|second\nline|5|" + std::string(1500, 'w') + "|6|unfinished");
    ASSERT_EQ(service::Code(client_.FetchInformation("1033")), 0);
    EXPECT_EQ(service_.server().requests().back().body, "-1;1033");
    std::int32_t id = 0;
    char text[1024];
    ASSERT_EQ(client_.OpenInfoCache(id, text), service::InfoCacheResult::kDone);
    EXPECT_EQ(client_.info_count(), 3);
    EXPECT_EQ(id, 3);
    bool atLast = false, second = false;
    EXPECT_EQ(client_.NextInfoRecord(text, atLast, second), 4);
    EXPECT_STREQ(text, "second\nline");
    EXPECT_EQ(client_.NextInfoRecord(text, atLast, second), 5);
    EXPECT_EQ(std::strlen(text), 1023U);
    EXPECT_TRUE(atLast);
    client_.CloseInfoCache();

    service_.Set("/POIDataBase/Information.php", "NONE:");
    ASSERT_EQ(service::Code(client_.FetchInformation("1031")), 0);
    EXPECT_EQ(service_.server().requests().back().body, "5;1031");

    // Identifiers a true service cannot give, or more messages than it sends: nothing is stored.
    std::string many;
    for (int i = 1; i <= 1001; ++i) many += std::to_string(i) + "|m|";
    for (const std::string& reply : {std::string("7|a|4294967296|b|"), std::string("7|a|-1|b|"), many}) {
        service_.Set("/POIDataBase/Information.php", reply);
        ASSERT_EQ(service::Code(client_.FetchInformation("1033")), 0);
        EXPECT_EQ(client_.LastInfoId(), 5);
    }
}

}  // namespace
