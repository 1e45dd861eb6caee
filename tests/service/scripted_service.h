#pragma once
// A scripted stand-in for the database service: each path answers with the reply the test set
// for it (raw bytes, or a reset after some bytes). The logon sets a session cookie, and the
// session requests answer "ERROR:Not_Logged_In!" without it, as the real service does.
#include <map>
#include <mutex>
#include <string>

#include "scripted_http_server.h"

namespace testsupport {

class ScriptedService {
public:
    ScriptedService()
        : server_([this](const HttpRequest& r, HttpConnection& c) { Answer(r, c); }) {}

    bool ok() const { return server_.ok(); }
    std::string BaseUrl() const { return server_.BaseUrl(); }
    const ScriptedHttpServer& server() const { return server_; }

    void Set(const std::string& path, const std::string& reply, long resetAfter = -1) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[path] = {reply, resetAfter};
    }

private:
    struct Reply {
        std::string body;
        long resetAfter;
    };

    void Answer(const HttpRequest& r, HttpConnection& c) {
        Reply reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = replies_.find(r.path);
            reply = it == replies_.end() ? Reply{"", -1} : it->second;
        }
        const bool logon = r.path == "/POIDataBase/LoGon.php";
        const bool session = r.path == "/POIDataBase/mut.php" || r.path == "/POIDataBase/off.php" ||
                             r.path == "/POIDataBase/per.php" || r.path == "/POIDataBase/D0Sync.php" ||
                             r.path == "/POIDataBase/upl0ad.php";
        const auto cookie = r.headers.find("cookie");
        if (session && (cookie == r.headers.end() || cookie->second != "sid=s1")) {
            reply = {"ERROR:Not_Logged_In!", -1};
        }
        if (reply.resetAfter >= 0) {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n");
            c.Write(reply.body.substr(0, static_cast<std::size_t>(reply.resetAfter)));
            c.Reset();
            return;
        }
        SendReply(c, reply.body, logon ? "Set-Cookie: sid=s1; HttpOnly\r\n" : "");
    }

    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    ScriptedHttpServer server_;
};

}  // namespace testsupport
