#pragma once
#include <curl/curl.h>

#include <string>

namespace poidbtest {

struct HttpReply {
    bool transferred = false;  // false when the transfer itself failed
    long status = 0;
    std::string body;
};

// A client session as the desktop tool keeps one: cookies carry over between its requests,
// bodies go out as they stand with the form Content-Type, every connection goes to port 80.
class HttpSession {
public:
    // Without keep_connection every request uses a connection of its own, so none stays open
    // to hold up a stopping service.
    explicit HttpSession(std::string address, bool keep_connection = true);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    HttpReply Post(const std::string& path, const std::string& body);
    HttpReply Get(const std::string& path);
    // The cookie lines the session holds (Netscape format), for checking attributes.
    std::string Cookies();

private:
    HttpReply Perform(const std::string& path);

    std::string base_;
    CURL* curl_;
};

}  // namespace poidbtest
