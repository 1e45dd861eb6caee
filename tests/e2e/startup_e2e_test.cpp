// The start-up and information requests against the reference service.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "engine/session.h"
#include "engine/startup.h"
#include "platform/registry.h"
#include "service/service_client.h"
#include "scripted_http_server.h"
#include "sync_harness.h"
#include "tests/tools/poidb-server/server_fixture.h"
#include "who.h"

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
    ASSERT_EQ(service::Code(client_.FetchServerUrl(("http://" + address_ + "/POIDataBase/").c_str(), base)), 0);
    EXPECT_EQ(base, "http://" + address_ + "/");
    EXPECT_EQ(service::Code(client_.PingServer()), 0);

    // Alerts come one at a time, each asked for with the identifier of the one shown before.
    const auto first = Admin().AddAlert("Speed checks on the A2 this week", "", 20000101, 29991231);
    const auto second = Admin().AddAlert("Nouveau radar", "1036", 20000101, 29991231);
    ASSERT_TRUE(first && second);
    std::string text;
    std::int32_t id = 0;
    ASSERT_EQ(service::Code(client_.FetchAlert("-1;20261207;1033", text, 1024, id)), 0);
    EXPECT_EQ(id, *first);
    EXPECT_EQ(text, "Speed checks on the A2 this week");
    const std::string next = std::to_string(id) + ";20261207;1033";
    ASSERT_EQ(service::Code(client_.FetchAlert(next.c_str(), text, 1024, id)), 0);
    EXPECT_EQ(id, -1);  // the French alert is not for this language: the loop ends

    std::string address, message;
    ASSERT_EQ(service::Code(client_.CheckVersion("209", address, message)), 0);
    EXPECT_EQ(address, "");
    ASSERT_TRUE(Admin().SetVersion({210, "http://example.org/zarnik", "Version 2.1.0 is out"}));
    ASSERT_EQ(service::Code(client_.CheckVersion("209", address, message)), 0);
    EXPECT_EQ(address, "http://example.org/zarnik");
    EXPECT_EQ(message, "Version 2.1.0 is out");

    ASSERT_TRUE(Admin().AddMessage("Welcome to the new season", "1033"));
    ASSERT_TRUE(Admin().AddMessage("Two lines\nof news", ""));
    ASSERT_EQ(service::Code(client_.FetchInformation("1033")), 0);
    std::int32_t infoId = 0;
    char info[1024];
    ASSERT_EQ(client_.OpenInfoCache(infoId, info), service::InfoCacheResult::kDone);
    EXPECT_EQ(client_.info_count(), 2);
    EXPECT_STREQ(info, "Welcome to the new season");
    bool atLast = false, second_flag = false;
    client_.NextInfoRecord(info, atLast, second_flag);
    EXPECT_STREQ(info, "Two lines\nof news");
    client_.CloseInfoCache();
    ASSERT_EQ(service::Code(client_.FetchInformation("1033")), 0);  // nothing newer than the last one held
    EXPECT_EQ(client_.LastInfoId(), 2);
}

class RecordingInformation : public engine::IInformationSink {
public:
    struct Shown {
        std::string caption, button, text;
        std::int32_t storedAlertId;  // "AlertID" at the moment the dialog appeared
    };
    void ShowInformation(const std::string& caption, const std::string& button, const std::string& text) override {
        shown.push_back({caption, button, text, platform::ReadStoredSettings().alertId});
    }
    std::vector<Shown> shown;
};

TEST_F(StartupEndToEnd, TheStartUpProcedureAsTheWindowAndTheToolRunIt) {
    setenv("ZARNIK_SETTINGS", work_.file("settings.reg").c_str(), 1);
    const platform::StringTable texts = e2e::EnglishTexts();
    CServiceClient client{platform::WorkFolder(work_.path())};

    // No key (first run): nothing is asked, the alternative address holds.
    platform::StoredSettings stored = platform::ReadStoredSettings();
    EXPECT_EQ(engine::ResolveServiceBaseUrl(client, stored), engine::kDefaultServiceBaseUrl);
    engine::Session session;
    ASSERT_TRUE(session.LoadSettings().ok());
    EXPECT_EQ(session.service_address(), engine::kDefaultServiceBaseUrl);
    EXPECT_EQ(session.language(), "1033");
    {
        platform::CRegistry key;
        ASSERT_TRUE(key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true));
        ASSERT_TRUE(key.SetString("Url", ("http://" + address_ + "/POIDataBase/").c_str()));
    }
    stored = platform::ReadStoredSettings();
    const std::string base = engine::ResolveServiceBaseUrl(client, stored);
    EXPECT_EQ(base, "http://" + address_ + "/");
    client.SetBaseUrl(base.c_str());

    const auto first = Admin().AddAlert("Speed checks on the A2", "", 20000101, 29991231);
    const auto second = Admin().AddAlert("Mobile camera on the B12", "1033", 20000101, 29991231);
    ASSERT_TRUE(first && second && Admin().AddMessage("Welcome", "1033"));
    ASSERT_TRUE(Admin().SetVersion({210, "http://example.org/zarnik", "Version 2.1.0 is out"}));
    testsupport::WriteWholeFile(work_.file("info.cache"), std::string(1028 * 3, 'x'));  // last start's

    RecordingInformation information;
    e2e::RecordingProgress progress;
    const auto outcome = engine::RunStartupExchanges(client, texts, "1033", stored.alertId, std::time(nullptr),
                                                     progress, information);
    EXPECT_TRUE(outcome.serviceAnswered);
    EXPECT_EQ(outcome.alertsShown, 2);
    EXPECT_EQ(outcome.updateAddress, "http://example.org/zarnik");
    ASSERT_EQ(information.shown.size(), 3U);
    // Each alert is stored before it is shown, and shown before the next is asked for.
    EXPECT_EQ(information.shown[0].text, "Speed checks on the A2");
    EXPECT_EQ(information.shown[0].storedAlertId, *first);
    EXPECT_EQ(information.shown[1].text, "Mobile camera on the B12");
    EXPECT_EQ(information.shown[1].storedAlertId, *second);
    EXPECT_EQ(information.shown[0].caption, "Alert");
    EXPECT_EQ(information.shown[0].button, "OK");
    EXPECT_EQ(information.shown[2].caption, "Update available");
    EXPECT_EQ(information.shown[2].text, "Version 2.1.0 is out");
    EXPECT_EQ(progress.title, "Initialising VyoSync");
    EXPECT_TRUE(progress.closed);
    EXPECT_EQ(client.LastInfoId(), 1);  // a fresh cache of the current messages only
    EXPECT_EQ(client.info_count(), 1);

    StopServer();  // no answer: the connection-problem text, and nothing else is asked
    information.shown.clear();
    const auto down = engine::RunStartupExchanges(client, texts, "1033", outcome.lastAlertId, std::time(nullptr),
                                                  progress, information);
    EXPECT_FALSE(down.serviceAnswered);
    ASSERT_EQ(information.shown.size(), 1U);
    EXPECT_NE(information.shown[0].text.find("connect"), std::string::npos) << information.shown[0].text;
    unsetenv("ZARNIK_SETTINGS");
}

TEST(StartupBodies, AlertRequestDateIsUtcWithTwoDigitMonthAndDay) {
    EXPECT_EQ(engine::AlertRequestBody(-1, 1204329600, "1033"), "-1;20080301;1033");  // 1 March 2008 00:00 UTC
    EXPECT_EQ(engine::AlertRequestBody(42, 1230767999, "1031"), "42;20081231;1031");  // 31 December 23:59:59
}

TEST_F(StartupEndToEnd, RegistrationTestAndPendingUpdates) {
    AddUser(poidbtest::kName, poidbtest::kSerial, poidbtest::kEmail);
    EXPECT_EQ(client_.TestLogon(testsupport::Who(poidbtest::kName.c_str(), poidbtest::kSerial.c_str(), poidbtest::kEmail.c_str())),
              service::Result::kFullRetrievalDemanded);
    EXPECT_EQ(client_.TestLogon(testsupport::Who("Nobody", "0000", "x@y")), service::Result::kUserNotFound);
    std::int32_t count = 0;
    std::string date;
    ASSERT_EQ(service::Code(client_.QueryUpdates(testsupport::Who(poidbtest::kName.c_str(), poidbtest::kSerial.c_str(), poidbtest::kEmail.c_str()),
                                   "V2.0", count, date)),
              0);
    EXPECT_EQ(count, -1);  // never synchronised: everything is to come
}

}  // namespace

// A service that answers every alert request with the alert just shown would keep start-up in
// the loop for ever: the repeat ends it.
TEST(StartupAlerts, AServiceRepeatingTheAlertJustShownEndsTheLoop) {
    testsupport::TempDir work;
    setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
    testsupport::ScriptedHttpServer server([](const testsupport::HttpRequest& request, testsupport::HttpConnection& conn) {
        if (request.path.find("Alerts.php") != std::string::npos) {
            testsupport::SendReply(conn, "7|Speed checks on the A2|");
        } else {
            testsupport::SendReply(conn, request.path.find("ServerUp") != std::string::npos ? "IMTHERE:" : "NONE:");
        }
    });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(work.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    RecordingInformation information;
    e2e::RecordingProgress progress;
    const auto outcome = engine::RunStartupExchanges(client, e2e::EnglishTexts(), "1033", -1, std::time(nullptr),
                                                     progress, information);
    EXPECT_EQ(outcome.alertsShown, 1);
    EXPECT_EQ(outcome.lastAlertId, 7);
    EXPECT_EQ(platform::ReadStoredSettings().alertId, 7);
    unsetenv("ZARNIK_SETTINGS");
}

// A service with a new alert every time would keep start-up in the loop as well: a bound ends it.
TEST(StartupAlerts, AServiceThatNeverRunsOutOfNewAlertsEndsTheLoop) {
    testsupport::TempDir work;
    setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
    std::atomic<int> next{7};
    testsupport::ScriptedHttpServer server([&](const testsupport::HttpRequest& request, testsupport::HttpConnection& conn) {
        const bool alert = request.path.find("Alerts.php") != std::string::npos;
        testsupport::SendReply(conn, alert ? std::to_string(next++) + "|New speed checks|" : "IMTHERE:");
    });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(work.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    RecordingInformation information;
    e2e::RecordingProgress progress;
    const auto outcome = engine::RunStartupExchanges(client, e2e::EnglishTexts(), "1033", -1, 0, progress, information);
    EXPECT_EQ(outcome.alertsShown, 50);
    EXPECT_EQ(platform::ReadStoredSettings().alertId, 56);
    unsetenv("ZARNIK_SETTINGS");
}

// An information reply that keeps coming, a little at a time, for a minute (never silent long
// enough to time out) ends with the exchanges' time, and no part of it is stored.
TEST(StartupTime, AnEndlessInformationReplyEndsTheExchangesInTime) {
    testsupport::TempDir work;
    std::atomic<bool> left{false}, ended{false};
    testsupport::ScriptedHttpServer server([&](const testsupport::HttpRequest& request, testsupport::HttpConnection& conn) {
        if (request.path.find("Information") == std::string::npos) {
            testsupport::SendReply(conn, request.path.find("ServerUp") != std::string::npos ? "IMTHERE:" : "NONE:");
            return;
        }
        conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        int sent = 0;
        for (; sent < 600 && conn.Write(std::to_string(sent) + "|m|"); ++sent) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        left = sent < 600;
        ended = true;
    });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(work.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    RecordingInformation information;
    e2e::RecordingProgress progress;
    engine::RunStartupExchanges(client, e2e::EnglishTexts(), "1033", -1, 0, progress, information, 2);
    for (int i = 0; i < 4000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(left);  // the exchanges hung up before the reply could end
    EXPECT_FALSE(testsupport::FileExists(work.file("info.cache")));
}
