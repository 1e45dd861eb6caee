// zarnik-sync status against a service that lies: every reply is scripted on loopback, and
// nothing it says may be shown, stored or waited for beyond what a true service would give.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "run_tool.h"
#include "scripted_http_server.h"
#include "temp_dir.h"

namespace {

using testsupport::HttpConnection;
using testsupport::HttpRequest;
using tooltest::RunZarnikSync;

class LyingService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok());
        Set("/POIDataBase/vyosync.txt", server_.BaseUrl());
        Set("/POIDataBase/ServerUp.php", "IMTHERE:");
        Set("/POIDataBase/Alerts.php", "NONE:");
        Set("/POIDataBase/CheckVersion.php", "NONE");
        Set("/POIDataBase/Information.php", "NONE:");
        Set("/POIDataBase/Updates.php", "OK:3:2008-06-30");
        setenv("ZARNIK_SETTINGS", work_.file("settings.reg").c_str(), 1);
        setenv("ZARNIK_HOME", work_.file("home").c_str(), 1);
        ASSERT_EQ(RunZarnikSync({"settings", "set", "--url", server_.BaseUrl() + "POIDataBase/", "--name", "Ann",
                                 "--serial", "S", "--email", "a@b.c"},
                                work_.path())
                      .status,
                  0);
    }
    void TearDown() override {
        unsetenv("ZARNIK_SETTINGS");
        unsetenv("ZARNIK_HOME");
    }
    void Set(const std::string& path, const std::string& reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[path] = reply;
    }
    // The information reply trickles, a few bytes at a time, for up to a minute: never silent
    // long enough to time out, and never ending while the client still listens.
    void Answer(const HttpRequest& request, HttpConnection& conn) {
        if (request.path == "/POIDataBase/Information.php" && trickle_) {
            conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
            int sent = 0;
            while (sent < 600 && conn.Write(std::to_string(sent) + "|m|")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ++sent;
            }
            clientLeft_ = sent < 600;
            trickleEnded_ = true;
            return conn.Close();
        }
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reply = replies_[request.path];
        }
        testsupport::SendReply(conn, reply);
    }

    testsupport::TempDir work_;
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::atomic<bool> trickle_{false};
    std::atomic<bool> clientLeft_{false};
    std::atomic<bool> trickleEnded_{false};
    testsupport::ScriptedHttpServer server_{[this](const HttpRequest& r, HttpConnection& c) { Answer(r, c); }};
};

std::string ManyMessages(int count) {
    std::string reply;
    for (int i = 1; i <= count; ++i) reply += std::to_string(i) + "|" + std::string(900, 'm') + "|";
    return reply;
}

TEST_F(LyingService, StatusShowsAndStoresNothingOutOfRange) {
    const struct {
        const char* what;
        std::string path, reply;
        int status;
        std::string shown;  // what a true reply would make the tool say; a lie must not
    } cases[] = {
        {"a negative count of changes", "/POIDataBase/Updates.php", "OK:-5:2008-06-30", 1, "found on server : -5"},
        {"a count beyond 32 bits", "/POIDataBase/Updates.php", "OK:4294967296:2008-06-30", 1, "found on server"},
        {"an alert identifier beyond 32 bits", "/POIDataBase/Alerts.php", "4294967296|Speed checks|", 0, "Speed checks"},
        {"a negative alert identifier", "/POIDataBase/Alerts.php", "-5|Speed checks|", 0, "Speed checks"},
        {"a file address to update from", "/POIDataBase/CheckVersion.php", "210|file:///etc/passwd|Get it|", 0,
         "Update available"},
        {"an information identifier beyond 32 bits", "/POIDataBase/Information.php", "1|a|4294967296|b|", 0,
         "Information 1"},
        {"more messages than any service sends", "/POIDataBase/Information.php", ManyMessages(1500), 0,
         "Information 1:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = testsupport::ReadWholeFile(work_.file("settings.reg"));
        const std::string earlier = replies_[c.path];
        Set(c.path, c.reply);
        const auto run = RunZarnikSync({"status"}, work_.path());
        Set(c.path, earlier);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out.find(c.shown), std::string::npos) << run.out;
        EXPECT_EQ(testsupport::ReadWholeFile(work_.file("settings.reg")), before);  // no "AlertID" stored
        EXPECT_FALSE(testsupport::FileExists(work_.file("home/info.cache")));
        if (c.status != 0) {
            EXPECT_NE(run.err.find("Cause: the service's reply to Updates"), std::string::npos) << run.err;
        }
    }
}

TEST_F(LyingService, AnEndlessInformationReplyEndsTheStartUpExchangesInTime) {
    trickle_ = true;
    const auto run = RunZarnikSync({"status", "--timeout", "1"}, work_.path());
    // The trickle ends by itself after a minute at most, when the tool did not hang up.
    for (int i = 0; i < 4000 && !trickleEnded_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(clientLeft_);  // the tool hung up before the reply could end
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Information: no messages"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("#Changes found on server : 3"), std::string::npos) << run.out;
    EXPECT_FALSE(testsupport::FileExists(work_.file("home/info.cache")));  // never a part of a reply
}

}  // namespace
