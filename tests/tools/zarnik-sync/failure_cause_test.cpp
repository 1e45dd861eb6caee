// What a failed synchronisation tells beside its message: the cause underneath, from a real
// peer on loopback that misbehaves the way services do.
#include <gtest/gtest.h>

#include <cstdlib>

#include "run_tool.h"
#include "scripted_http_server.h"
#include "temp_dir.h"

namespace {

using testsupport::HttpConnection;
using testsupport::HttpRequest;
using testsupport::TempDir;
using tooltest::RunZarnikSync;

enum class Logon { kSilent, kServerError };

TEST(FailureCause, EachFailureSaysWhatWentWrongUnderneath) {
    const struct {
        const char* what;
        Logon logon;
        std::string message;  // the text of the string table, as it always was
        std::string cause;
    } cases[] = {
        {"a service that accepts and never answers", Logon::kSilent, "Failed to send request !",
         "timed out after 1 s: the service at "},
        {"a reply that is no reply of the service", Logon::kServerError, "Unknown error has occured !",
         "the service's reply to LoGon was not understood (HTTP status 500); details in "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir work;
        std::string self;
        testsupport::ScriptedHttpServer server([&](const HttpRequest& request, HttpConnection& conn) {
            if (request.path == "/vyosync.txt") {
                testsupport::SendReply(conn, "http://" + self + "/");
            } else if (c.logon == Logon::kServerError) {
                conn.Write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 14\r\n\r\nInternal error");
            }  // else: silence, with the connection held open
        });
        ASSERT_TRUE(server.ok());
        self = server.address();
        setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
        setenv("ZARNIK_HOME", work.file("home").c_str(), 1);
        ASSERT_EQ(RunZarnikSync({"settings", "set", "--url", server.BaseUrl(), "--name", "Ann", "--serial", "S", "--email",
                                 "a@b.c"},
                                work.path())
                      .status,
                  0);
        const auto run = RunZarnikSync({"sync", "--pc-only", "--timeout", "1"}, work.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.message + "\nCause: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << run.err;
        if (c.logon == Logon::kServerError) {
            EXPECT_NE(run.err.find(work.file("home/httperror.txt")), std::string::npos) << run.err;
            EXPECT_NE(testsupport::ReadWholeFile(work.file("home/httperror.txt")).find("Internal error"),
                      std::string::npos);
        }
    }
    unsetenv("ZARNIK_SETTINGS");
    unsetenv("ZARNIK_HOME");
}

}  // namespace
