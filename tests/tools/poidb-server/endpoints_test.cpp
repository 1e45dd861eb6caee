// Each endpoint's exact reply bytes over HTTP on loopback, and what it does with bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/poidb-server/http_session.h"
#include "tests/tools/poidb-server/server_fixture.h"

namespace poidbtest {
namespace {

using namespace std::string_literals;

class EndpointTest : public ServerFixture {};

std::string Chunk(std::string_view data) {
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + std::string(data) + "\r\n";
}

// A request as the client labels its bodies, with the body chunked or of a declared length.
std::string Request(const std::string& path, const std::string& body, bool chunked) {
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: poi\r\nContent-Type: application/x-www-form-urlencoded\r\n";
    if (!chunked) return request + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    request += "Transfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += 1000) request += Chunk(std::string_view(body).substr(at, 1000));
    return request + "0\r\n\r\n";
}

TEST_F(EndpointTest, ServerAddressFileAtBothPlacesWithoutLineEnd) {
    HttpSession http(address_);
    const std::string expected = "http://" + address_ + "/";
    for (const char* path : {"/vyosync.txt", "/POIDataBase/vyosync.txt"}) {
        const auto reply = http.Get(path);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, expected) << path;
    }
    ASSERT_TRUE(Admin().SetSetting("server_url", "http://poi.example.org/"));
    EXPECT_EQ(http.Get("/vyosync.txt").body, "http://poi.example.org/");
}

TEST_F(EndpointTest, ServerUpAnswersImThere) {
    HttpSession http(address_);
    EXPECT_EQ(http.Post("/POIDataBase/ServerUp.php", "ServerUpFake").body, "IMTHERE:");
}

TEST_F(EndpointTest, AlertsOneAtATimeByIdDateAndLanguage) {
    ASSERT_TRUE(Admin().AddAlert("For everyone", "", 0, 99991231));           // 1
    ASSERT_TRUE(Admin().AddAlert("Dutch only", "1043", 0, 99991231));         // 2
    ASSERT_TRUE(Admin().AddAlert("Expired", "", 20000101, 20001231));         // 3
    ASSERT_TRUE(Admin().AddAlert("Two|fields#here\nsecond line", "", 0, 99991231));  // 4
    HttpSession http(address_);
    struct Case {
        const char* body;
        const char* reply;
    };
    const Case cases[] = {
        {"-1;20080630;1033", "1|For everyone|"},
        {"1;20080630;1033", "4|Two/fields/here\nsecond line|"},
        {"1;20080630;1043", "2|Dutch only|"},
        {"2;20000601;1043", "3|Expired|"},
        {"4;20080630;1033", "NONE:"},
        {"garbage", "NONE:"},
        {"", "NONE:"},
    };
    for (const auto& c : cases) EXPECT_EQ(http.Post("/POIDataBase/Alerts.php", c.body).body, c.reply) << c.body;
}

TEST_F(EndpointTest, CheckVersionOffersOnlyANewerVersion) {
    HttpSession http(address_);
    EXPECT_EQ(http.Post("/POIDataBase/CheckVersion.php", "209").body, "NONE:");
    ASSERT_TRUE(Admin().SetVersion({210, "http://example.org/zarnik-210", "Version 2.1.0 is out"}));
    EXPECT_EQ(http.Post("/POIDataBase/CheckVersion.php", "209").body,
              "210|http://example.org/zarnik-210|Version 2.1.0 is out|");
    EXPECT_EQ(http.Post("/POIDataBase/CheckVersion.php", "210").body, "NONE:");
    EXPECT_EQ(http.Post("/POIDataBase/CheckVersion.php", "abc").body, "NONE:");
}

TEST_F(EndpointTest, InformationGivesPairsAfterTheLastKnownId) {
    HttpSession http(address_);
    EXPECT_EQ(http.Post("/POIDataBase/Information.php", "-1;1033").body, "NONE:");
    ASSERT_TRUE(Admin().AddMessage("First", ""));
    ASSERT_TRUE(Admin().AddMessage("Nederlands", "1043"));
    ASSERT_TRUE(Admin().AddMessage(std::string(2000, 'm'), ""));
    const auto all = http.Post("/POIDataBase/Information.php", "-1;1033").body;
    EXPECT_EQ(all, "1|First|3|" + std::string(1023, 'm') + "|");
    EXPECT_EQ(http.Post("/POIDataBase/Information.php", "1;1043").body, "2|Nederlands|3|" + std::string(1023, 'm') + "|");
    EXPECT_EQ(http.Post("/POIDataBase/Information.php", "3;1033").body, "NONE:");
    EXPECT_EQ(http.Post("/POIDataBase/Information.php", "nonsense").body, "NONE:");
}

TEST_F(EndpointTest, LogonRepliesAndSessionCookie) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    struct Case {
        std::string body;
        const char* reply;
    };
    const Case cases[] = {
        {LogonBody("Nobody", kSerial, kEmail), "ERROR:User_Not_Found"},
        {LogonBody(kName, "0000", kEmail), "ERROR:User_Not_Found"},
        {kName + "," + kSerial + "," + kEmail, "ERROR:Logon_Credentials_Not_Found!"},
        {"", "ERROR:Logon_Credentials_Not_Found!"},
        {",,,", "ERROR:Logon_Credentials_Not_Found!"},
        {LogonBody(kName, kSerial, "JAN@EXAMPLE.ORG"), "OKFULL:"},  // e-mail case does not matter
        {LogonBody(kName, kSerial, kEmail, "V2.0"), "OKFULL:"},
    };
    for (const auto& c : cases) EXPECT_EQ(http.Post("/POIDataBase/LoGon.php", c.body).body, c.reply) << c.body;
    const std::string cookies = http.Cookies();
    EXPECT_NE(cookies.find("#HttpOnly_"), std::string::npos) << cookies;
    EXPECT_NE(cookies.find("ZSESSION"), std::string::npos) << cookies;
}

TEST_F(EndpointTest, RegistrationNameIsTakenAsSent) {
    const std::string odd = "Müller, K. & Söhne +%41=";
    AddUser(odd, kSerial, kEmail);
    HttpSession http(address_);
    EXPECT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(odd, kSerial, kEmail)).body, "OKFULL:");
}

TEST_F(EndpointTest, UpdatesBeforeAnySynchronisation) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    EXPECT_EQ(http.Post("/POIDataBase/Updates.php", LogonBody(kName, kSerial, kEmail, "V2.0")).body, "OK:FULL:Never");
    EXPECT_EQ(http.Post("/POIDataBase/Updates.php", LogonBody("x", kSerial, kEmail)).body, "ERROR:User_Not_Found");
    EXPECT_EQ(http.Post("/POIDataBase/Updates.php", "x").body, "ERROR:Logon_Credentials_Not_Found!");
}

TEST_F(EndpointTest, SessionRequestsNeedTheCookie) {
    AddUser(kName, kSerial, kEmail);
    HttpSession anonymous(address_);
    for (const char* path : {"/POIDataBase/mut.php", "/POIDataBase/off.php", "/POIDataBase/per.php",
                             "/POIDataBase/D0Sync.php"}) {
        EXPECT_EQ(anonymous.Get(path).body, "ERROR:Not_Logged_In!") << path;
    }
    EXPECT_EQ(anonymous.Post("/POIDataBase/upl0ad.php", "VyoSync Updates\n").body, "ERROR:Not_Logged_In!");
    // A failed logon gives no session either.
    EXPECT_EQ(anonymous.Post("/POIDataBase/LoGon.php", LogonBody("x", "y", "z")).body, "ERROR:User_Not_Found");
    EXPECT_EQ(anonymous.Get("/POIDataBase/off.php").body, "ERROR:Not_Logged_In!");
}

TEST_F(EndpointTest, ListGrammarsExactly) {
    const auto user = AddUser(kName, kSerial, kEmail);
    const auto a = AddOfficial(52370216, 4895168, "Amsterdam A10 km 3", 90, 27514, 80);
    const auto b = AddOfficial(-33856784, 151215297, "Sydney|Harbour#Bridge", 361, 27516, 60);
    ASSERT_TRUE(Admin().MutateCamera(b, false, -2, 27600, 0));
    const auto c = AddOfficial(1, -1, "Gone", -1, 1, 0);
    ASSERT_TRUE(Admin().MutateCamera(c, true, 0, 0, 0));
    poidb::CameraInput personal{48000000, 2000000, "Mine", 45, 2, 30, user};
    const auto p = Admin().AddCamera(personal, 0);
    ASSERT_TRUE(p.has_value());

    HttpSession http(address_);
    ASSERT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    EXPECT_EQ(http.Get("/POIDataBase/mut.php").body,
              "MUT:" + std::to_string(b) + "|-33856784|151215297|Sydney/Harbour/Bridge|-2|27600|60|CH#\n" +
                  std::to_string(c) + "|1|-1|Gone|0|0|0|DT#\nOK:");
    EXPECT_EQ(http.Get("/POIDataBase/off.php").body,
              "OFF:" + std::to_string(a) + "|52370216|4895168|Amsterdam A10 km 3|90|27514|80|1#\n" +
                  std::to_string(b) + "|-33856784|151215297|Sydney/Harbour/Bridge|361|27516|60|1#\n" +
                  std::to_string(c) + "|1|-1|Gone|-1|1|0|1#\nOK:");
    EXPECT_EQ(http.Get("/POIDataBase/per.php").body,
              "PER:" + std::to_string(*p) + "|48000000|2000000|Mine|45|2|30|0#\nOK:");
}

TEST_F(EndpointTest, EmptyListsStillCarryTheirPrefix) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    ASSERT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    EXPECT_EQ(http.Get("/POIDataBase/mut.php").body, "MUT:OK:");
    EXPECT_EQ(http.Get("/POIDataBase/off.php").body, "OFF:OK:");
    EXPECT_EQ(http.Get("/POIDataBase/per.php").body, "PER:OK:");
    EXPECT_EQ(http.Get("/POIDataBase/D0Sync.php").body, "");
}

TEST_F(EndpointTest, UploadKeepsGoodLinesAndRejectsBadOnes) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    ASSERT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    struct Case {
        std::string body;
        const char* reply;
    };
    const Case cases[] = {
        {"VyoSync Updates\n", "OK:0:0"},
        {"VyoSync Updates\nA;10;20; ;90;3;50\nA;10;20; ;90;3;50\n", "OK:1:2"},  // same place twice: one camera
        {"VyoSync Updates\nA;30;40; ;1;2;3\nbroken line\nD;10;20;Nothing;0;3;0\nA;1;2; ;999;0;0\n", "OK:1:2"},
        {"A;50;60; ;1;2;3\n", "ERROR:Change_List_Not_Found!"},
        {"VyoSync Updates\nA;70;80;\0; ;1;2;3\n"s, "OK:0:0"},
    };
    for (const auto& c : cases) EXPECT_EQ(http.Post("/POIDataBase/upl0ad.php", c.body).body, c.reply) << c.body;
}

TEST_F(EndpointTest, OversizedBodyIsRefused) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    ASSERT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    std::string body = "VyoSync Updates\n";
    while (body.size() <= poidb::kDefaultMaxBody) body += "A;1;2; ;0;0;0\n";
    const auto reply = http.Post("/POIDataBase/upl0ad.php", body);
    EXPECT_EQ(reply.status, 413);
    EXPECT_EQ(reply.body, "ERROR:Request_Too_Large");
    EXPECT_EQ(http.Get("/POIDataBase/per.php").body, "PER:OK:");  // nothing of it was stored
}

TEST_F(EndpointTest, LongFormEncodedChangeListIsTakenWhole) {
    AddUser(kName, kSerial, kEmail);
    HttpSession http(address_);
    ASSERT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    std::string body = "VyoSync Updates\n";
    int lines = 0;
    for (;;) {
        const std::string line = "A;" + std::to_string(50000000 + lines * 20) + ";4000000;Camera " +
                                 std::to_string(lines) + " on the ring road, northbound;90;3;50\n";
        if (body.size() + line.size() > 100000) break;
        body += line;
        ++lines;
    }
    ASSERT_GT(lines, 1000);
    const std::string counts = std::to_string(lines) + ":" + std::to_string(lines);
    EXPECT_EQ(http.Post("/POIDataBase/upl0ad.php", body).body, "OK:" + counts);
    const std::string personal = http.Get("/POIDataBase/per.php").body;
    EXPECT_EQ(std::count(personal.begin(), personal.end(), '#'), lines);
}

TEST_F(EndpointTest, EveryBodyIsBoundedBeforeItsSessionIsChecked) {
    StopServer();
    options_.max_body = std::size_t{64} * 1024;
    StartServer();
    const std::size_t limit = options_.max_body;
    struct Case {
        const char* path;
        bool chunked;
        std::size_t size;
        long status;
        const char* reply;
    };
    const Case cases[] = {
        {"/POIDataBase/upl0ad.php", true, limit + 1, 413, "ERROR:Request_Too_Large"},
        {"/POIDataBase/upl0ad.php", true, limit, 200, "ERROR:Not_Logged_In!"},
        {"/POIDataBase/upl0ad.php", false, limit + 1, 413, "ERROR:Request_Too_Large"},
        {"/POIDataBase/ServerUp.php", true, limit + 1, 413, "ERROR:Request_Too_Large"},
        {"/POIDataBase/LoGon.php", true, limit + 1, 413, "ERROR:Request_Too_Large"},
        {"/POIDataBase/nothing.php", true, limit + 1, 413, "ERROR:Request_Too_Large"},
        {"/POIDataBase/nothing.php", true, 10, 404, "ERROR:Not_Found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.chunked ? " chunked " : " ") + std::to_string(c.size));
        RawConnection raw(address_);
        ASSERT_TRUE(raw.Send(Request(c.path, std::string(c.size, 'x'), c.chunked)));
        const auto reply = raw.ReadReply();
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.body, c.reply);
        // The whole body was read, refused or not, so the connection is still in step.
        ASSERT_TRUE(raw.Send("GET /POIDataBase/ServerUp.php HTTP/1.1\r\nHost: poi\r\n\r\n"));
        EXPECT_EQ(raw.ReadReply().body, "IMTHERE:");
    }

    // A body without end is cut off long before it is all sent, and the service goes on.
    RawConnection endless(address_);
    ASSERT_TRUE(endless.Send("POST /POIDataBase/ServerUp.php HTTP/1.1\r\nHost: poi\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string piece = Chunk(std::string(std::size_t{64} * 1024, 'x'));
    constexpr std::size_t kMost = std::size_t{64} * 1024 * 1024;
    std::size_t sent = 0;
    while (sent < kMost && endless.Send(piece, std::chrono::seconds(2))) sent += piece.size();
    EXPECT_LT(sent, kMost);
    EXPECT_TRUE(endless.Closed(std::chrono::seconds(5)));
    EXPECT_EQ(HttpSession(address_).Post("/POIDataBase/ServerUp.php", "ServerUpFake").body, "IMTHERE:");
}

TEST_F(EndpointTest, SlowClientsAreDroppedWhileOthersAreServed) {
    StopServer();
    options_.threads = 2;
    options_.request_timeout = std::chrono::seconds(1);
    StartServer();
    std::vector<RawConnection> slow;
    for (int i = 0; i < 6; ++i) {
        slow.emplace_back(address_);
        ASSERT_TRUE(slow.back().Send("P"));
    }
    // Two more that send their headers at once and then dribble their bodies, each holding a worker.
    for (int i = 0; i < 2; ++i) {
        slow.emplace_back(address_);
        ASSERT_TRUE(slow.back().Send("POST /POIDataBase/ServerUp.php HTTP/1.1\r\nHost: poi\r\nContent-Length: 1000\r\n\r\n"));
    }
    HttpSession http(address_, false);
    EXPECT_EQ(http.Post("/POIDataBase/ServerUp.php", "ServerUpFake").body, "IMTHERE:");

    // They go on sending a byte at a time; each is dropped at its deadline all the same.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::size_t open = slow.size();
    while (open > 0 && std::chrono::steady_clock::now() < give_up) {
        open = 0;
        for (auto& connection : slow) {
            if (connection.Closed() || !connection.Send("O", std::chrono::milliseconds(100))) continue;
            ++open;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(open, 0U);
    EXPECT_EQ(http.Post("/POIDataBase/ServerUp.php", "ServerUpFake").body, "IMTHERE:");
}

TEST_F(EndpointTest, UnknownPathsAndWrongVerbs) {
    HttpSession http(address_);
    const auto missing = http.Get("/POIDataBase/nothing.php");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "ERROR:Not_Found");
    EXPECT_EQ(http.Get("/POIDataBase/LoGon.php").status, 404);
    EXPECT_EQ(http.Get("/poidatabase/vyosync.txt").status, 404);
}

}  // namespace
}  // namespace poidbtest
