#include "tests/tools/poidb-server/http_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <strings.h>

namespace poidbtest {

namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

}  // namespace

HttpSession::HttpSession(std::string address, bool keep_connection)
    : base_("http://" + std::move(address)), curl_(curl_easy_init()) {
    if (!keep_connection) curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl_, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
}

HttpSession::~HttpSession() { curl_easy_cleanup(curl_); }

HttpReply HttpSession::Perform(const std::string& path) {
    HttpReply reply;
    const std::string url = base_ + path;
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply.body);
    reply.transferred = curl_easy_perform(curl_) == CURLE_OK;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

HttpReply HttpSession::Post(const std::string& path, const std::string& body) {
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl_, CURLOPT_POST, 1L);
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
    HttpReply reply = Perform(path);
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return reply;
}

HttpReply HttpSession::Get(const std::string& path) {
    curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    return Perform(path);
}

std::string HttpSession::Cookies() {
    curl_slist* list = nullptr;
    curl_easy_getinfo(curl_, CURLINFO_COOKIELIST, &list);
    std::string text;
    for (curl_slist* item = list; item != nullptr; item = item->next) {
        text += item->data;
        text += '\n';
    }
    curl_slist_free_all(list);
    return text;
}

RawConnection::RawConnection(const std::string& address) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(80);
    if (fd_ < 0 || inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        closed_ = true;
    }
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) close(fd_);
}

RawConnection::RawConnection(RawConnection&& other) noexcept
    : fd_(other.fd_), closed_(other.closed_), received_(std::move(other.received_)) {
    other.fd_ = -1;
}

bool RawConnection::Send(std::string_view bytes, std::chrono::milliseconds patience) {
    while (!bytes.empty() && !closed_) {
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(patience.count())) <= 0) return false;
        const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (sent <= 0) closed_ = true;
        if (sent > 0) bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return bytes.empty();
}

bool RawConnection::Receive(std::chrono::milliseconds patience) {
    if (closed_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(patience.count())) <= 0) return true;
    char buffer[4096];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (got <= 0) closed_ = true;
    if (got > 0) received_.append(buffer, static_cast<std::size_t>(got));
    return !closed_;
}

HttpReply RawConnection::ReadReply(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    HttpReply reply;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto head_end = received_.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            const std::string head = received_.substr(0, head_end);
            std::size_t length = 0;
            for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
                if (strncasecmp(head.c_str() + at + 2, "Content-Length:", 15) == 0) {
                    length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
                }
            }
            if (received_.size() >= head_end + 4 + length) {
                reply.transferred = true;
                reply.status = std::strtol(head.c_str() + head.find(' ') + 1, nullptr, 10);
                reply.body = received_.substr(head_end + 4, length);
                received_.erase(0, head_end + 4 + length);
                return reply;
            }
        }
        if (!Receive(std::chrono::milliseconds(50))) return reply;
    }
    return reply;
}

bool RawConnection::Closed(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    do {
        if (!Receive(std::chrono::milliseconds(10))) return true;
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace poidbtest
