// Whole synchronisations as the client runs them: change tracking per user, upload round
// trips, restarts, concurrent logons and the sample data.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/tools/poidb-server/http_session.h"
#include "tests/tools/poidb-server/server_fixture.h"
#include "tools/poidb-server/list_cache.h"
#include "tools/poidb-server/sample_data.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/text_rules.h"

namespace poidbtest {
namespace {

// Records of a list or change reply, without prefix and trailer, each as its fields.
std::vector<std::vector<std::string>> Records(std::string body, std::size_t prefix) {
    body = body.substr(prefix);
    if (body.size() >= 3 && body.compare(body.size() - 3, 3, "OK:") == 0) body.resize(body.size() - 3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    for (const char ch : body) {
        if (ch == '\n') continue;
        if (ch == '|' || ch == '#') {
            fields.push_back(field);
            field.clear();
            if (ch == '#') {
                records.push_back(fields);
                fields.clear();
            }
        } else {
            field += ch;
        }
    }
    EXPECT_TRUE(field.empty() && fields.empty()) << "unfinished record in reply";
    return records;
}

std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ULL;
    return hash;
}

class Client {
public:
    Client(const std::string& address, const std::string& name, const std::string& serial, const std::string& email)
        : http_(address), body_(LogonBody(name, serial, email)) {}
    std::string LogOn() { return http_.Post("/POIDataBase/LoGon.php", body_).body; }
    std::string Updates() { return http_.Post("/POIDataBase/Updates.php", body_).body; }
    std::string Get(const char* path) { return http_.Get(path).body; }
    std::string Upload(const std::string& lines) {
        return http_.Post("/POIDataBase/upl0ad.php", "VyoSync Updates\n" + lines).body;
    }
    std::vector<std::vector<std::string>> Changes() { return Records(Get("/POIDataBase/D0Sync.php"), 0); }
    void FullRetrieval() {
        ASSERT_EQ(LogOn(), "OKFULL:");
        ASSERT_EQ(Get("/POIDataBase/mut.php").substr(0, 4), "MUT:");
        ASSERT_EQ(Get("/POIDataBase/off.php").substr(0, 4), "OFF:");
        ASSERT_EQ(Get("/POIDataBase/per.php").substr(0, 4), "PER:");
    }

private:
    HttpSession http_;
    std::string body_;
};

std::vector<std::string> Change(std::int64_t id, const std::string& lat, const std::string& lon, const std::string& name,
                                const std::string& direction, const std::string& category, const std::string& extra,
                                const std::string& action, const std::string& flag) {
    return {std::to_string(id), lat, lon, name, direction, category, extra, action, flag};
}

class SyncFlowTest : public ServerFixture {};

TEST_F(SyncFlowTest, EachUserGetsExactlyTheChangesSinceTheirLastSynchronisation) {
    AddUser("Anna", "A-1", "anna@example.org");
    AddUser("Bert", "B-2", "bert@example.org");
    const auto x = AddOfficial(50000000, 4000000, "X", 90, 3, 50);
    const auto y = AddOfficial(51000000, 5000000, "Y", 180, 27516, 70);
    Client anna(address_, "Anna", "A-1", "anna@example.org");
    Client bert(address_, "Bert", "B-2", "bert@example.org");

    // First synchronisation of both: full retrieval, upload, second change download.
    anna.FullRetrieval();
    EXPECT_EQ(anna.Upload("A;52000000;6000000; ;45;27515;30\n"), "OK:1:1");
    const auto anna_new = anna.Changes();
    ASSERT_EQ(anna_new.size(), 1U);
    EXPECT_EQ(anna_new[0][1], "52000000");
    EXPECT_EQ(anna_new[0][7], "A");
    EXPECT_EQ(anna_new[0][8], "0");  // personal
    const std::int64_t anna_camera = std::stoll(anna_new[0][0]);
    bert.FullRetrieval();
    EXPECT_TRUE(bert.Changes().empty()) << "Bert must not see Anna's personal camera";
    EXPECT_EQ(bert.Get("/POIDataBase/per.php"), "PER:OK:");

    // The service changes: one camera added, one mutated, one deleted.
    const auto z = AddOfficial(53000000, 7000000, "Z", -1, 4, 90);
    ASSERT_TRUE(Admin().MutateCamera(x, false, 361, 27600, std::time(nullptr)));
    ASSERT_TRUE(Admin().DeleteCamera(y, std::time(nullptr)));

    const std::string today = poidb::DateText(std::time(nullptr));
    EXPECT_EQ(anna.Updates(), "OK:3:" + today);
    ASSERT_EQ(anna.LogOn(), "OK:");
    const auto expected = std::vector<std::vector<std::string>>{
        Change(z, "53000000", "7000000", "Z", "-1", "4", "90", "A", "1"),
        Change(x, "50000000", "4000000", "X", "361", "27600", "50", "U", "1"),
        Change(y, "51000000", "5000000", "Y", "180", "27516", "70", "D", "1"),
    };
    EXPECT_EQ(anna.Changes(), expected);
    EXPECT_TRUE(anna.Changes().empty()) << "a second download repeats nothing";
    EXPECT_EQ(anna.Updates(), "OK:0:" + today);

    // Bert has not synchronised since: he gets the same three, and none of Anna's.
    ASSERT_EQ(bert.LogOn(), "OK:");
    EXPECT_EQ(bert.Changes(), expected);

    // Anna deletes her own camera on the road: the next download tells her cache.
    ASSERT_EQ(anna.LogOn(), "OK:");
    EXPECT_TRUE(anna.Changes().empty());
    EXPECT_EQ(anna.Upload("D;52000000;6000000;Nothing;0;27515;0\n"), "OK:0:1");
    const auto deleted = anna.Changes();
    ASSERT_EQ(deleted.size(), 1U);
    EXPECT_EQ(deleted[0][0], std::to_string(anna_camera));
    EXPECT_EQ(deleted[0][7], "D");
    ASSERT_EQ(bert.LogOn(), "OK:");
    EXPECT_TRUE(bert.Changes().empty());
}

TEST_F(SyncFlowTest, ReportsOnOfficialCamerasAreStoredNotApplied) {
    AddUser(kName, kSerial, kEmail);
    AddOfficial(50000000, 4000000, "X", 90, 3, 50);
    Client client(address_, kName, kSerial, kEmail);
    client.FullRetrieval();
    EXPECT_EQ(client.Upload("D;50000005;4000003;Nothing;0;3;0\nU;50000000;4000000; ;10;3;0\n"), "OK:0:2");
    EXPECT_TRUE(client.Changes().empty());
    poidb::Statement* st = Admin().db().Prepare("SELECT count(*) FROM reports WHERE camera_id IS NOT NULL");
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->Step(), SQLITE_ROW);
    EXPECT_EQ(st->Int(0), 2);  // both matched the official camera, within the position tolerance
    st->Reset();
}

TEST_F(SyncFlowTest, RestartKeepsUsersCamerasAndSynchronisationState) {
    AddUser(kName, kSerial, kEmail);
    AddOfficial(50000000, 4000000, "X");
    std::string personal;
    {
        Client client(address_, kName, kSerial, kEmail);
        client.FullRetrieval();
        ASSERT_EQ(client.Upload("A;1000;2000; ;5;6;7\n"), "OK:1:1");
        ASSERT_EQ(client.Changes().size(), 1U);
        personal = client.Get("/POIDataBase/per.php");
    }
    HttpSession stale(address_, false);
    ASSERT_EQ(stale.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OK:");
    StopServer();
    StartServer();
    EXPECT_EQ(stale.Get("/POIDataBase/per.php").body, "ERROR:Not_Logged_In!") << "sessions end with the service";
    Client again(address_, kName, kSerial, kEmail);
    EXPECT_EQ(again.LogOn(), "OK:");
    EXPECT_EQ(again.Get("/POIDataBase/per.php"), personal);
    EXPECT_TRUE(again.Changes().empty());
}

TEST_F(SyncFlowTest, OldOrPrunedSynchronisationsNeedAFullRetrieval) {
    const auto user = AddUser(kName, kSerial, kEmail);
    Client client(address_, kName, kSerial, kEmail);
    client.FullRetrieval();
    AddOfficial(1, 2, "New");
    ASSERT_EQ(client.LogOn(), "OK:");
    ASSERT_EQ(client.Changes().size(), 1U);

    // Too long ago.
    const std::time_t long_ago = std::time(nullptr) - (poidb::kReplayDays + 1) * poidb::kSecondsPerDay;
    ASSERT_TRUE(Admin().MarkSynced(user, Admin().HeadRevision(), long_ago));
    EXPECT_EQ(client.LogOn(), "OKFULL:");
    EXPECT_EQ(client.Updates(), "OK:FULL:" + poidb::DateText(long_ago));
    client.FullRetrieval();
    EXPECT_EQ(client.LogOn(), "OK:");

    // The changes since the last synchronisation are no longer kept.
    AddOfficial(3, 4, "Newer");
    EXPECT_EQ(Admin().PruneChanges(std::time(nullptr) + 10), 2);
    EXPECT_EQ(client.LogOn(), "OKFULL:");
}

TEST_F(SyncFlowTest, OfficialListFollowsEveryChangeOfTheOfficialCameras) {
    const auto user = AddUser(kName, kSerial, kEmail);
    Client client(address_, kName, kSerial, kEmail);
    ASSERT_EQ(client.LogOn(), "OKFULL:");
    poidb::Database& db = Admin().db();
    const auto fresh = [&db] {
        const auto list = poidb::RenderList(db, poidb::ListQuery{poidb::ListKind::kOfficial, 0, 0, 0});
        std::string text;
        for (const auto& block : list->blocks) text += block;
        return text;
    };
    const auto now = std::time(nullptr);
    struct Case {
        const char* what;
        std::function<bool()> change;
        bool changes_list;
    };
    const Case cases[] = {
        {"nothing yet", [] { return true; }, false},
        {"sample data",
         [&] {
             std::string error;
             return poidb::GenerateSample(db, poidb::SampleOptions{30, 3, 0, 1, 7}, error);
         },
         true},
        {"official camera added", [&] { return AddOfficial(1, 2, "New") > 0; }, true},
        {"personal camera added",
         [&] { return Admin().AddCamera(poidb::CameraInput{3, 4, "Mine", 0, 2, 0, user}, now).has_value(); }, false},
        {"official camera mutated", [&] { return Admin().MutateCamera(4, true, 0, 0, now); }, false},
        {"official camera deleted", [&] { return Admin().DeleteCamera(3, now); }, true},
        {"official camera renamed by hand", [&] { return db.Exec("UPDATE cameras SET name = 'Renamed' WHERE id = 7"); },
         true},
        {"official camera removed by hand", [&] { return db.Exec("DELETE FROM cameras WHERE id = 5"); }, true},
        {"removal rolled back", [&] { return db.Exec("BEGIN; DELETE FROM cameras WHERE id = 6; ROLLBACK"); }, false},
    };
    std::string before = "OFF:OK:";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.change());
        const std::string served = client.Get("/POIDataBase/off.php");
        EXPECT_EQ(served, fresh());
        EXPECT_EQ(served != before, c.changes_list);
        before = served;
    }
}

TEST_F(SyncFlowTest, ConcurrentLogonsAllSucceed) {
    // One user per thread: a user's oldest sessions give way once they hold a few.
    constexpr int kThreads = 8;
    constexpr int kPerThread = 25;
    for (int t = 0; t < kThreads; ++t) AddUser(kName, kSerial + std::to_string(t), kEmail);
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                HttpSession http(address_);
                const auto logon = http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial + std::to_string(t), kEmail));
                const auto list = http.Get("/POIDataBase/per.php");
                // The first finished personal list completes the user's full retrieval.
                if ((logon.body == "OKFULL:" || logon.body == "OK:") && list.body == "PER:OK:") {
                    ++good;
                } else {
                    ADD_FAILURE() << logon.transferred << " " << logon.body << " / " << list.transferred << " " << list.body;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(good.load(), kThreads * kPerThread);
}

TEST_F(SyncFlowTest, SampleDataStreamsWholeAndFollowsItsRules) {
    poidb::SampleOptions options;
    options.cameras = 5000;
    options.mutations = 100;
    options.personal = 3;
    options.users = 2;
    options.seed = 42;
    std::string error;
    ASSERT_TRUE(poidb::GenerateSample(Admin().db(), options, error)) << error;
    EXPECT_FALSE(poidb::GenerateSample(Admin().db(), options, error)) << "sample data goes only into an empty database";

    Client client(address_, "Sample User 2", "SAMPLE-0002", "user2@example.org");
    ASSERT_EQ(client.LogOn(), "OKFULL:");
    const std::string lists[] = {client.Get("/POIDataBase/mut.php"), client.Get("/POIDataBase/off.php"),
                                 client.Get("/POIDataBase/per.php")};
    // Fingerprints of these exact replies as the service first produced them: any change to
    // how lists are read or written must leave every byte as it was.
    const std::pair<std::size_t, std::uint64_t> golden[] = {
        {5716, 18145710803580396336ULL}, {286210, 12674751434158772505ULL}, {169, 9225285295878615062ULL}};
    for (std::size_t i = 0; i < std::size(lists); ++i) {
        EXPECT_EQ(std::make_pair(lists[i].size(), Fnv1a(lists[i])), golden[i]) << lists[i].substr(0, 4);
    }
    const auto mutations = Records(lists[0], 4);
    const auto official = Records(lists[1], 4);
    const auto personal = Records(lists[2], 4);
    EXPECT_EQ(mutations.size(), 100U);
    ASSERT_EQ(official.size(), 5000U);
    EXPECT_EQ(personal.size(), 3U);
    bool below = false, above = false, every = false, none = false, both_ways = false;
    std::set<std::string> ids;
    for (const auto& record : official) {
        ASSERT_EQ(record.size(), 8U);
        EXPECT_LE(record[3].size(), 51U);
        const long direction = std::stol(record[4]);
        const long category = std::stol(record[5]);
        below |= category < 27515;
        above |= category > 27515;
        every |= direction == -1;
        none |= direction == -2;
        both_ways |= direction > 360 && direction <= 720;
        const long lat = std::stol(record[1]);
        EXPECT_TRUE(lat > 35000000 && lat < 62000000) << lat;
        ids.insert(record[0]);
    }
    EXPECT_EQ(ids.size(), official.size());
    EXPECT_TRUE(below && above && every && none && both_ways);

    // The same seed gives the same data in another database.
    testsupport::TempDir other;
    poidb::Database db;
    ASSERT_TRUE(poidb::OpenStore(db, other.file("again.db"), true, error)) << error;
    ASSERT_TRUE(poidb::GenerateSample(db, options, error)) << error;
    poidb::Statement* st = db.Prepare("SELECT lat, lon, name, direction FROM cameras WHERE id = 4321");
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->Step(), SQLITE_ROW);
    const auto& same = official[4320];
    EXPECT_EQ(std::to_string(st->Int(0)), same[1]);
    EXPECT_EQ(std::to_string(st->Int(1)), same[2]);
    EXPECT_EQ(st->Text(2), same[3]);
    EXPECT_EQ(std::to_string(st->Int(3)), same[4]);
    st->Reset();
}

}  // namespace
}  // namespace poidbtest
