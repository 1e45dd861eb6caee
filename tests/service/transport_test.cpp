#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "loopback.h"
#include "scripted_http_server.h"
#include "service/service_client.h"
#include "temp_dir.h"

using testsupport::HttpConnection;
using testsupport::HttpRequest;
using testsupport::ScriptedHttpServer;

namespace {

std::string Pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * 7) % 26));
    return s;
}

class TransportTest : public ::testing::Test {
protected:
    testsupport::TempDir dir_{true};
};

TEST_F(TransportTest, EachFailingStepHasItsOwnCode) {
    ScriptedHttpServer resetting([](const HttpRequest&, HttpConnection& c) {
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nOK:partial");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.Reset();
    });
    ASSERT_TRUE(resetting.ok());

    const std::string refused = "http://" + testsupport::UnusedLoopbackAddress() + "/";
    // Each row's cause is its own failing call's, whatever the row before it said: a session
    // request with no connection has nothing to add to that.
    const struct {
        const char* name;
        std::string baseUrl;
        service::Result sendCode;  // what opening and sending give
        bool readFails;
        std::string cause;         // of the standalone request: whole, or its start up to ": "
        std::string sessionCause;
    } cases[] = {
        {"no host in the URL", "not a url/", service::Result::kCrackUrlFailed, false,
         "reading the address not a url/POIDataBase/LoGon.php: the address \"not a url/POIDataBase/LoGon.php\" is no "
         "http://HOST/... address",
         "reading the address not a url/POIDataBase/mut.php: the address \"not a url/POIDataBase/mut.php\" is no"},
        {"empty host", "http:///", service::Result::kCrackUrlFailed, false,
         "reading the address http:///POIDataBase/LoGon.php: the address \"http:///POIDataBase/LoGon.php\" names no host",
         "reading the address http:///POIDataBase/mut.php: the address"},
        {"unresolvable host", "http://no-such-host.invalid/", service::Result::kConnectFailed, false,
         "connecting for http://no-such-host.invalid/POIDataBase/LoGon.php: cannot find the host no-such-host.invalid: ",
         "opening the request http://no-such-host.invalid/POIDataBase/mut.php: no connection is open"},
        {"refused connection", refused, service::Result::kSendFailed, false,
         "sending " + refused + "POIDataBase/LoGon.php: ",
         "opening the request " + refused + "POIDataBase/mut.php: no connection is open"},
        {"unclosed bracket", "http://[::1/", service::Result::kCrackUrlFailed, false,
         "reading the address http://[::1/POIDataBase/LoGon.php: the address \"http://[::1/POIDataBase/LoGon.php\" names no host",
         "reading the address http://[::1/POIDataBase/mut.php: the address"},
        {"reset mid-reply", resetting.BaseUrl(), service::Result::kOk, true, "reading the reply: ",
         "opening the request " + resetting.BaseUrl() + "POIDataBase/mut.php: no connection is open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CServiceClient client{platform::WorkFolder(dir_.path())};
        client.SetBaseUrl(c.baseUrl.c_str());
        EXPECT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/LoGon.php", "a,b,c,2.0"), c.sendCode);
        if (c.sendCode == service::Result::kOk) {
            service::ReplyPiece piece;
            EXPECT_EQ(client.ReadLastPiece(piece), !c.readFails);
        }
        if (c.cause.back() == ' ') {  // the transport's own words follow
            EXPECT_EQ(client.failure_cause().rfind(c.cause, 0), 0U) << client.failure_cause();
            EXPECT_GT(client.failure_cause().size(), c.cause.size()) << "no reason given";
        } else {
            EXPECT_EQ(client.failure_cause(), c.cause);
        }
        client.CloseHandles();
        // On the session of a logon that never happened, every failure is the single code 1.
        EXPECT_EQ(client.OpenSessionRequest(nullptr, "POIDataBase/mut.php", nullptr), service::Result::kSessionTransportFailed);
        EXPECT_EQ(client.failure_cause().rfind(c.sessionCause, 0), 0U) << client.failure_cause();
    }
}

TEST_F(TransportTest, SendsExactlyTheAgentHeaderAndBodyToPort80WhateverTheUrlSays) {
    ScriptedHttpServer server([](const HttpRequest&, HttpConnection& c) { testsupport::SendReply(c, "OK:"); });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(dir_.path())};
    const std::string base = "http://" + server.address() + ":8080/";  // the port is ignored
    client.SetBaseUrl(base.c_str());
    const std::string body = "Ann Smith,SER%41+1,ann@example.com,2.0";  // sent as it stands
    ASSERT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/LoGon.php", body.c_str()), service::Result::kOk);
    service::ReplyPiece piece;
    ASSERT_TRUE(client.ReadLastPiece(piece));
    EXPECT_STREQ(piece.text, "OK:");
    client.CloseHandles();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    const HttpRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/POIDataBase/LoGon.php");
    EXPECT_EQ(r.body, body);
    EXPECT_EQ(r.headers.at("user-agent"), "Example Agent");
    EXPECT_EQ(r.headers.at("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.headers.count("expect"), 0U);
}

TEST_F(TransportTest, SessionRequestsCarryTheLogonCookieOverTheSameConnection) {
    ScriptedHttpServer server([](const HttpRequest& r, HttpConnection& c) {
        if (r.path == "/POIDataBase/LoGon.php") {
            testsupport::SendReply(c, "OK:", "Set-Cookie: PHPSESSID=abc123; path=/; HttpOnly\r\n");
        } else {
            const auto it = r.headers.find("cookie");
            testsupport::SendReply(c, it == r.headers.end() ? "ERROR:Not_Logged_In!" : it->second);
        }
    });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(dir_.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    ASSERT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/LoGon.php", "a,b,c,2.0"), service::Result::kOk);
    service::ReplyPiece piece;
    ASSERT_TRUE(client.ReadLastPiece(piece));
    for (const char* path : {"POIDataBase/mut.php", "POIDataBase/off.php", "POIDataBase/per.php"}) {
        ASSERT_EQ(client.OpenSessionRequest(nullptr, path, nullptr), service::Result::kOk) << path;
        ASSERT_TRUE(client.ReadLastPiece(piece));
        EXPECT_STREQ(piece.text, "PHPSESSID=abc123") << path;
    }
    ASSERT_EQ(client.OpenSessionRequest("POST", "POIDataBase/upl0ad.php", "VyoSync Updates\r\n"), service::Result::kOk);
    ASSERT_TRUE(client.ReadPiece(piece));
    client.CloseHandles();
    EXPECT_EQ(server.connections_accepted(), 1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5U);
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[4].method, "POST");
    EXPECT_EQ(requests[4].body, "VyoSync Updates\r\n");

    // A new client is a new session: no cookie from the earlier one.
    CServiceClient other{platform::WorkFolder(dir_.path())};
    other.SetBaseUrl(server.BaseUrl().c_str());
    ASSERT_EQ(other.OpenStandaloneRequest(nullptr, "POIDataBase/mut.php", nullptr), service::Result::kOk);
    ASSERT_TRUE(other.ReadLastPiece(piece));
    EXPECT_STREQ(piece.text, "ERROR:Not_Logged_In!");
}

TEST_F(TransportTest, PiecesAre500BytesWhateverTheWireSplitting) {
    const std::string reply = Pattern(1234);
    // The same reply as one block, in chunks of 1, 7 and 499 bytes, and in two halves.
    const std::vector<std::vector<std::string>> splits = [&] {
        std::vector<std::vector<std::string>> all;
        for (std::size_t step : {reply.size(), std::size_t{1}, std::size_t{7}, std::size_t{499}, std::size_t{617}}) {
            std::vector<std::string> chunks;
            for (std::size_t i = 0; i < reply.size(); i += step) chunks.push_back(reply.substr(i, step));
            all.push_back(chunks);
        }
        return all;
    }();
    // The request names the case, so the server thread never reads the test's loop state.
    ScriptedHttpServer server([&](const HttpRequest& r, HttpConnection& c) {
        testsupport::SendChunkedReply(c, splits.at(std::stoul(r.body)));
    });
    ASSERT_TRUE(server.ok());
    for (std::size_t which = 0; which < splits.size(); ++which) {
        SCOPED_TRACE("split " + std::to_string(which));
        CServiceClient client{platform::WorkFolder(dir_.path())};
        client.SetBaseUrl(server.BaseUrl().c_str());
        const std::string body = std::to_string(which);
        ASSERT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/off.php", body.c_str()), service::Result::kOk);
        std::vector<std::string> pieces;
        ASSERT_TRUE(client.ReadEachPiece([&](const service::ReplyPiece& p) {
            EXPECT_EQ(p.text[p.length], '\0');
            pieces.emplace_back(p.text, p.length);
            return true;
        }));
        ASSERT_EQ(pieces.size(), 3U);
        EXPECT_EQ(pieces[0], reply.substr(0, 500));
        EXPECT_EQ(pieces[1], reply.substr(500, 500));
        EXPECT_EQ(pieces[2], reply.substr(1000));
    }
}

TEST_F(TransportTest, ReadingStyles) {
    struct Case {
        std::string reply;
        std::string lastPiece;
        std::string singlePiece;
    };
    const std::vector<Case> cases = {
        {"", "", ""},
        {"OK:12:2008-06-30", "OK:12:2008-06-30", "OK:12:2008-06-30"},
        {std::string(500, 'x'), std::string(500, 'x'), std::string(500, 'x')},
        {std::string(500, 'x') + "OKFULL:", "OKFULL:", std::string(500, 'x')},  // judged by the second piece
        {std::string(1000, 'y'), std::string(500, 'y'), std::string(500, 'y')},
    };
    ScriptedHttpServer server([&](const HttpRequest& r, HttpConnection& c) {
        testsupport::SendReply(c, cases.at(std::stoul(r.body)).reply);
    });
    ASSERT_TRUE(server.ok());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string body = std::to_string(i);
        SCOPED_TRACE(c.reply.size());
        CServiceClient client{platform::WorkFolder(dir_.path())};
        client.SetBaseUrl(server.BaseUrl().c_str());
        service::ReplyPiece piece;
        ASSERT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/Updates.php", body.c_str()), service::Result::kOk);
        ASSERT_TRUE(client.ReadLastPiece(piece));
        EXPECT_EQ(std::string(piece.text, piece.length), c.lastPiece);
        ASSERT_EQ(client.OpenStandaloneRequest("POST", "POIDataBase/upl0ad.php", body.c_str()), service::Result::kOk);
        ASSERT_TRUE(client.ReadPiece(piece));
        EXPECT_EQ(std::string(piece.text, piece.length), c.singlePiece);
        client.CloseHandles();
    }
}

TEST_F(TransportTest, ErrorLogEntriesFollowEachOtherWithTheRestOfTheReply) {
    const std::string tail = Pattern(700);
    ScriptedHttpServer server([&](const HttpRequest&, HttpConnection& c) {
        testsupport::SendReply(c, "ERROR:Strange!" + tail);
    });
    ASSERT_TRUE(server.ok());
    CServiceClient client{platform::WorkFolder(dir_.path())};
    client.SetBaseUrl(server.BaseUrl().c_str());
    // A reply read to its end leaves nothing to append after the reply text.
    client.WriteErrorLog("ERROR:first", "LoGon");
    // A reply read one piece in: the rest of the reply follows the first piece.
    ASSERT_EQ(client.OpenStandaloneRequest(nullptr, "POIDataBase/D0Sync.php", nullptr), service::Result::kOk);
    service::ReplyPiece piece;
    ASSERT_TRUE(client.ReadPiece(piece));
    client.WriteErrorLog(piece.text, "D0Sync");
    ASSERT_TRUE(client.ReadPiece(piece));
    EXPECT_EQ(piece.length, 0U);  // the log read the reply to its end
    client.CloseHandles();

    const std::string log = testsupport::ReadWholeFile("httperror.txt");
    const std::string reply = "ERROR:Strange!" + tail;
    const std::regex entry(
        "At ([0-9]|1[0-9]|2[0-3]):([0-9]|[1-5][0-9]):([0-9]|[1-5][0-9]) reported in LoGon  \r\n\r\n ERROR:first"
        "At ([0-9]|1[0-9]|2[0-3]):([0-9]|[1-5][0-9]):([0-9]|[1-5][0-9]) reported in D0Sync  \r\n\r\n (.*)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(log, m, entry)) << log.substr(0, 200);
    EXPECT_EQ(m[7].str(), reply);
}

TEST_F(TransportTest, NewClientDeletesTheLeftoverConfigFile) {
    testsupport::WriteWholeFile("config.dat", "old");
    CServiceClient client{platform::WorkFolder(dir_.path())};
    EXPECT_FALSE(testsupport::FileExists("config.dat"));
}

}  // namespace
