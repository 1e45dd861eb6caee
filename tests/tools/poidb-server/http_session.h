#pragma once
#include <curl/curl.h>

#include <chrono>
#include <string>
#include <string_view>

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

// A bare connection to port 80 of an address, for requests no well-behaved client makes.
class RawConnection {
public:
    explicit RawConnection(const std::string& address);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    RawConnection(RawConnection&& other) noexcept;
    RawConnection& operator=(RawConnection&&) = delete;

    // Sends all of `bytes`; false when the service closed the connection, or took nothing more
    // for `patience`.
    bool Send(std::string_view bytes, std::chrono::milliseconds patience = std::chrono::seconds(5));
    // One reply with a Content-Length; not transferred when none came whole within `patience`.
    HttpReply ReadReply(std::chrono::milliseconds patience = std::chrono::seconds(10));
    // True once the service has closed the connection, waiting up to `patience` for it.
    bool Closed(std::chrono::milliseconds patience = std::chrono::milliseconds(0));

private:
    // Reads what has arrived, waiting up to `patience`; false at end of file or an error.
    bool Receive(std::chrono::milliseconds patience);

    int fd_ = -1;
    bool closed_ = false;
    std::string received_;
};

}  // namespace poidbtest
