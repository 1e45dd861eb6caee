// The start-up and information requests against the reference service.
#include <gtest/gtest.h>

#include "service/service_client.h"
#include "tests/tools/poidb-server/server_fixture.h"

namespace {

class StartupEndToEnd : public poidbtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        client_.SetBaseUrl(("http://" + address_ + "/").c_str());
    }
    testsupport::TempDir work_{true};
    CServiceClient client_{platform::WorkFolder(work_.path())};
};

TEST_F(StartupEndToEnd, AddressPingAlertsVersionAndMessages) {
    std::string base;
    ASSERT_EQ(client_.FetchServerUrl(("http://" + address_ + "/POIDataBase/").c_str(), base), 0);
    EXPECT_EQ(base, "http://" + address_ + "/");
    EXPECT_EQ(client_.PingServer(), 0);

    // Alerts come one at a time, each asked for with the identifier of the one shown before.
    const auto first = Admin().AddAlert("Speed checks on the A2 this week", "", 20000101, 29991231);
    const auto second = Admin().AddAlert("Nouveau radar", "1036", 20000101, 29991231);
    ASSERT_TRUE(first && second);
    std::string text;
    std::int32_t id = 0;
    ASSERT_EQ(client_.FetchAlert("-1;20261207;1033", text, 1024, id), 0);
    EXPECT_EQ(id, *first);
    EXPECT_EQ(text, "Speed checks on the A2 this week");
    const std::string next = std::to_string(id) + ";20261207;1033";
    ASSERT_EQ(client_.FetchAlert(next.c_str(), text, 1024, id), 0);
    EXPECT_EQ(id, -1);  // the French alert is not for this language: the loop ends

    std::string address, message;
    ASSERT_EQ(client_.CheckVersion("209", address, message), 0);
    EXPECT_EQ(address, "");
    ASSERT_TRUE(Admin().SetVersion({210, "http://example.org/zarnik", "Version 2.1.0 is out"}));
    ASSERT_EQ(client_.CheckVersion("209", address, message), 0);
    EXPECT_EQ(address, "http://example.org/zarnik");
    EXPECT_EQ(message, "Version 2.1.0 is out");

    ASSERT_TRUE(Admin().AddMessage("Welcome to the new season", "1033"));
    ASSERT_TRUE(Admin().AddMessage("Two lines\nof news", ""));
    ASSERT_EQ(client_.FetchInformation("1033"), 0);
    std::int32_t infoId = 0;
    char info[1024];
    ASSERT_EQ(client_.OpenInfoCache(infoId, info), 0);
    EXPECT_EQ(client_.info_count(), 2);
    EXPECT_STREQ(info, "Welcome to the new season");
    bool atLast = false, second_flag = false;
    client_.NextInfoRecord(info, atLast, second_flag);
    EXPECT_STREQ(info, "Two lines\nof news");
    client_.CloseInfoCache();
    ASSERT_EQ(client_.FetchInformation("1033"), 0);  // nothing newer than the last one held
    EXPECT_EQ(client_.LastInfoId(), 2);
}

TEST_F(StartupEndToEnd, RegistrationTestAndPendingUpdates) {
    AddUser(poidbtest::kName, poidbtest::kSerial, poidbtest::kEmail);
    EXPECT_EQ(client_.TestLogon(poidbtest::kName.c_str(), poidbtest::kSerial.c_str(), poidbtest::kEmail.c_str()),
              result::kFullRetrievalDemanded);
    EXPECT_EQ(client_.TestLogon("Nobody", "0000", "x@y"), result::kUserNotFound);
    std::int32_t count = 0;
    std::string date;
    ASSERT_EQ(client_.QueryUpdates(poidbtest::kName.c_str(), poidbtest::kSerial.c_str(), poidbtest::kEmail.c_str(),
                                   "V2.0", count, date),
              0);
    EXPECT_EQ(count, -1);  // never synchronised: everything is to come
}

}  // namespace
