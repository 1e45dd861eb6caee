#include "tests/tools/poidb-server/http_session.h"

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

}  // namespace poidbtest
