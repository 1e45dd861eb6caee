#include "platform/internet.h"

#include <curl/curl.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::inet {

namespace {

// Replies are buffered only this far ahead of the reader; past it the transfer pauses.
constexpr std::size_t kMaxBuffered = std::size_t{256} * 1024;

std::atomic<long> g_connectSeconds{30};
std::atomic<long> g_silentSeconds{60};

struct SessionState {
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    std::string agent;
    TransferObserver observer;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();

    ~SessionState() {
        if (multi) curl_multi_cleanup(multi);
        if (share) curl_share_cleanup(share);
    }
};

struct RequestState;

}  // namespace

struct Handle {
    enum class Kind { kSession, kConnection, kRequest };
    explicit Handle(Kind k) : kind(k) {}
    virtual ~Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Kind kind;
};

namespace {

struct SessionHandle : Handle {
    SessionHandle() : Handle(Kind::kSession), state(std::make_shared<SessionState>()) {}
    std::shared_ptr<SessionState> state;
};

struct ConnectionHandle : Handle {
    ConnectionHandle() : Handle(Kind::kConnection) {}
    std::shared_ptr<SessionState> session;
    std::string host;
    std::uint16_t port = 80;
};

struct RequestHandle : Handle {
    RequestHandle() : Handle(Kind::kRequest) {}
    ~RequestHandle() override {
        if (easy) {
            if (added) curl_multi_remove_handle(session->multi, easy);
            curl_easy_cleanup(easy);
        }
        curl_slist_free_all(headers);
    }

    std::size_t Available() const { return data.size() - head; }
    // Lets the transfer move on, then notes which transfers ended.
    bool Pump();
    // Waits for the network, unless there is nothing to wait for (ended, or paused by us).
    void Wait(int waitMs);

    std::shared_ptr<SessionState> session;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
    bool post = false;
    bool headersDone = false;
    bool interim = false;  // the status line seen last was a 1xx one
    bool done = false;
    bool paused = false;
    CURLcode result = CURLE_OK;
    std::vector<char> data;
    std::size_t head = 0;
    // What the user is told: the transport's account of a failure, and the transfer's progress.
    char errorText[CURL_ERROR_SIZE] = {};
    std::string path;
    std::string host;
    std::chrono::steady_clock::time_point sent;
    std::chrono::steady_clock::time_point lastHeard;  // the last byte from the service
    long silentSeconds = 60;
    bool reportedEnd = false;
    bool silenced = false;  // ended by us: the service said nothing for silentSeconds
    bool overdue = false;   // ended by us: the session's deadline passed

    // Ends a transfer still running at the session's deadline, however busy the service is.
    bool EndIfOverdue();

    // Ends a transfer whose service has been silent too long. curl's own low-speed limit
    // averages over several seconds (a request body just sent counts as speed), so it would
    // fire seconds late; the wait is measured here, from the last byte heard.
    bool EndIfSilent();

    void Report(bool finished);
    void NoteFailure();
    std::string failure;  // why the call on it that failed last failed
};

std::once_flag g_curlInit;

void InitCurl() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

template <class T>
T* As(HINTERNET h, Handle::Kind kind) {
    return h && h->kind == kind ? static_cast<T*>(h) : nullptr;
}

size_t OnBody(char* ptr, size_t size, size_t nmemb, void* user) {
    auto* r = static_cast<RequestHandle*>(user);
    const size_t n = size * nmemb;
    r->lastHeard = std::chrono::steady_clock::now();
    if (r->Available() > 0 && r->Available() + n > kMaxBuffered) {
        r->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (r->head > 0 && r->head >= r->data.size() / 2) {
        r->data.erase(r->data.begin(), r->data.begin() + static_cast<std::ptrdiff_t>(r->head));
        r->head = 0;
    }
    r->data.insert(r->data.end(), ptr, ptr + n);
    return n;
}

size_t OnHeader(char* ptr, size_t size, size_t nmemb, void* user) {
    auto* r = static_cast<RequestHandle*>(user);
    const size_t n = size * nmemb;
    r->lastHeard = std::chrono::steady_clock::now();
    if (n >= 12 && std::strncmp(ptr, "HTTP/", 5) == 0) {
        const char* space = static_cast<const char*>(std::memchr(ptr, ' ', n));
        r->interim = space && space[1] == '1';
    } else if ((n == 2 && ptr[0] == '\r' && ptr[1] == '\n') || (n == 1 && ptr[0] == '\n')) {
        if (!r->interim) r->headersDone = true;
    }
    return n;
}

bool ProxyConfigured() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

bool HostResolves(const std::string& host, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0) {
        why = "cannot find the host " + host + ": " + gai_strerror(error);
        return false;
    }
    freeaddrinfo(found);
    return true;
}

bool RequestHandle::Pump() {
    int running = 0;
    if (curl_multi_perform(session->multi, &running) != CURLM_OK) return false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(session->multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        RequestHandle* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        if (owner) {
            owner->done = true;
            owner->result = msg->data.result;
            owner->Report(true);
        }
    }
    return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RequestHandle::Report(bool finished) {
    if (!session->observer || reportedEnd) return;
    reportedEnd = finished;
    TransferState state;
    state.path = path;
    curl_off_t received = 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    state.received = received > 0 ? static_cast<std::uint64_t>(received) : 0;
    state.expected = expected > 0 ? static_cast<std::uint64_t>(expected) : 0;
    state.seconds = SecondsSince(sent);
    state.finished = finished;
    session->observer(state);
}

// A failed transfer in words: curl's own text, with a timeout told as what the user sees of it.
void RequestHandle::NoteFailure() {
    const std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
    if (result != CURLE_OPERATION_TIMEDOUT) {
        failure = detail;
        return;
    }
    curl_off_t connected = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
    char text[256];
    if (overdue) {
        std::snprintf(text, sizeof text,
                      "timed out after %.0f s: the exchange with the service at %s ran out of its time",
                      SecondsSince(sent), host.c_str());
    } else if (connected == 0) {
        std::snprintf(text, sizeof text, "timed out after %.0f s: no connection to %s port 80 within %ld s",
                      SecondsSince(sent), host.c_str(), silenced ? silentSeconds : g_connectSeconds.load());
    } else if (!headersDone) {
        std::snprintf(text, sizeof text,
                      "timed out after %.0f s: the service at %s accepted the connection but sent nothing for %ld s",
                      SecondsSince(sent), host.c_str(), silentSeconds);
    } else {
        std::snprintf(text, sizeof text, "timed out after %.0f s: the service at %s stopped sending for %ld s",
                      SecondsSince(sent), host.c_str(), silentSeconds);
    }
    failure = text;
}

int CurlProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    static_cast<RequestHandle*>(user)->Report(false);
    return 0;
}

void RequestHandle::Wait(int waitMs) {
    if (done || paused) return;
    const auto until = std::min(lastHeard + std::chrono::seconds(silentSeconds), session->deadline);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    const int wait = static_cast<int>(std::clamp<long long>(left.count() + 1, 1, waitMs));
    curl_multi_poll(session->multi, nullptr, 0, wait, nullptr);
}

bool RequestHandle::EndIfOverdue() {
    if (done || std::chrono::steady_clock::now() < session->deadline) return false;
    done = true;
    overdue = true;
    result = CURLE_OPERATION_TIMEDOUT;
    Report(true);
    return true;
}

bool RequestHandle::EndIfSilent() {
    if (EndIfOverdue()) return true;
    if (done || paused) return false;
    if (std::chrono::steady_clock::now() - lastHeard < std::chrono::seconds(silentSeconds)) return false;
    done = true;
    silenced = true;
    result = CURLE_OPERATION_TIMEDOUT;
    Report(true);
    return true;
}

}  // namespace

HINTERNET InternetOpen(const char* agent, std::string& why) {
    why.clear();
    InitCurl();
    auto session = std::make_unique<SessionHandle>();
    SessionState& s = *session->state;
    s.agent = agent ? agent : "";
    s.multi = curl_multi_init();
    s.share = curl_share_init();
    if (!s.multi || !s.share) {
        why = "the transfer library could not be started";
        return nullptr;
    }
    curl_share_setopt(s.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(s.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    return session.release();
}

bool InternetCrackUrl(const char* url, std::string& host, std::string& path, std::string& why) {
    why.clear();
    if (url == nullptr) return false;
    const std::string text(url);
    const size_t scheme = text.find("://");
    if (scheme == std::string::npos || scheme == 0) {
        why = "the address \"" + text + "\" is no http://HOST/... address";
        return false;
    }
    const size_t start = scheme + 3;
    size_t end = text.find_first_of("/?#", start);
    if (end == std::string::npos) end = text.size();
    std::string authority = text.substr(start, end - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) {
            why = "the address \"" + text + "\" names no host";
            return false;
        }
        host = authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    if (host.empty() || host.find_first_of(" \t\r\n") != std::string::npos) {
        why = "the address \"" + text + "\" names no host";
        return false;
    }
    path = end < text.size() ? text.substr(end) : "/";
    if (path[0] != '/') path.insert(0, "/");
    return true;
}

std::string UrlPort(const char* url) {
    if (url == nullptr) return {};
    const std::string text(url);
    const size_t scheme = text.find("://");
    if (scheme == std::string::npos) return {};
    const size_t start = scheme + 3;
    const size_t end = text.find_first_of("/?#", start);
    std::string authority = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos || authority.find(']', colon) != std::string::npos) return {};
    if (authority[0] == '[' && authority.find(']') == std::string::npos) return {};  // no host, so no port either
    return authority.substr(colon + 1);
}

HINTERNET InternetConnect(HINTERNET session, const char* host, std::uint16_t port, std::string& why) {
    why.clear();
    auto* s = As<SessionHandle>(session, Handle::Kind::kSession);
    if (!s) {
        why = "no session is open";
        return nullptr;
    }
    if (!host || !*host) {
        why = "no host is named";
        return nullptr;
    }
    if (!ProxyConfigured() && !HostResolves(host, why)) return nullptr;
    auto c = std::make_unique<ConnectionHandle>();
    c->session = s->state;
    c->host = host;
    c->port = port;
    return c.release();
}

HINTERNET HttpOpenRequest(HINTERNET connection, const char* verb, const char* path, std::string& why) {
    why.clear();
    auto* c = As<ConnectionHandle>(connection, Handle::Kind::kConnection);
    if (!c) {
        why = "no connection is open";
        return nullptr;
    }
    auto r = std::make_unique<RequestHandle>();
    r->session = c->session;
    r->easy = curl_easy_init();
    if (!r->easy) {
        why = "the transfer library could not make a request";
        return nullptr;
    }
    r->path = path && *path ? path : "/";
    r->host = c->host;
    r->silentSeconds = g_silentSeconds.load();
    const bool v6 = c->host.find(':') != std::string::npos;
    const std::string url = "http://" + (v6 ? "[" + c->host + "]" : c->host) + (path && *path ? path : "/");
    CURL* e = r->easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PORT, static_cast<long>(c->port));
    curl_easy_setopt(e, CURLOPT_USERAGENT, c->session->agent.c_str());
    curl_easy_setopt(e, CURLOPT_SHARE, c->session->share);
    curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, g_connectSeconds.load());
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, r->silentSeconds);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->errorText);
    if (c->session->observer) {
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, CurlProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, r.get());
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    }
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, r.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, r.get());
    curl_easy_setopt(e, CURLOPT_PRIVATE, r.get());
    if (verb && std::strcmp(verb, "POST") == 0) {
        r->post = true;
        curl_easy_setopt(e, CURLOPT_POST, 1L);
    } else if (verb && *verb && std::strcmp(verb, "GET") != 0) {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb);
    }
    // The service answers at once; waiting for "100 Continue" would only add a round trip.
    r->headers = curl_slist_append(r->headers, "Expect:");
    // The requests name no accepted types; curl would add one of its own.
    r->headers = curl_slist_append(r->headers, "Accept:");
    return r.release();
}

bool HttpAddRequestHeaders(HINTERNET request, const char* headers) {
    auto* r = As<RequestHandle>(request, Handle::Kind::kRequest);
    if (!r) return false;
    if (!headers || r->added) {
        r->failure = r->added ? "the request has been sent already" : "no header lines are given";
        return false;
    }
    const std::string text(headers);
    size_t pos = 0;
    bool any = false;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            r->failure = "\"" + line + "\" is no header line";
            return false;
        }
        r->headers = curl_slist_append(r->headers, line.c_str());
        any = true;
    }
    if (!any) r->failure = "no header lines are given";
    return any;
}

bool HttpSendRequest(HINTERNET request, const char* body, std::size_t length) {
    auto* r = As<RequestHandle>(request, Handle::Kind::kRequest);
    if (!r) return false;
    if (r->added) {
        r->failure = "the request has been sent already";
        return false;
    }
    if (r->post) {
        curl_easy_setopt(r->easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? length : 0));
        curl_easy_setopt(r->easy, CURLOPT_COPYPOSTFIELDS, body ? body : "");
    }
    curl_easy_setopt(r->easy, CURLOPT_HTTPHEADER, r->headers);
    if (curl_multi_add_handle(r->session->multi, r->easy) != CURLM_OK) {
        r->failure = "the transfer library could not start the request";
        return false;
    }
    r->added = true;
    r->sent = std::chrono::steady_clock::now();
    r->lastHeard = r->sent;
    while (!r->headersDone && !r->done) {
        if (!r->Pump()) {
            r->failure = "the transfer library failed";
            return false;
        }
        if (!r->headersDone && !r->EndIfSilent()) r->Wait(1000);
    }
    if (r->headersDone || r->result == CURLE_OK) return true;
    r->NoteFailure();
    return false;
}

bool InternetReadFile(HINTERNET request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    auto* r = As<RequestHandle>(request, Handle::Kind::kRequest);
    if (read) *read = 0;
    if (!r || !r->added || !read || (!buffer && toRead > 0)) return false;
    // A reply that keeps coming faster than it is read never waits below: the deadline is
    // checked here as well.
    r->EndIfOverdue();
    while (r->Available() < toRead && !r->done) {
        if (r->paused) {
            // The reader held the transfer back, not the service: its silence starts now.
            r->paused = false;
            r->lastHeard = std::chrono::steady_clock::now();
            curl_easy_pause(r->easy, CURLPAUSE_CONT);
            continue;
        }
        if (!r->Pump()) {
            r->failure = "the transfer library failed";
            return false;
        }
        if (r->Available() < toRead && !r->EndIfSilent()) r->Wait(1000);
    }
    const std::size_t n = std::min<std::size_t>(toRead, r->Available());
    if (n == 0) {
        if (r->result == CURLE_OK) return true;
        r->NoteFailure();
        return false;
    }
    std::memcpy(buffer, r->data.data() + r->head, n);
    r->head += n;
    if (r->head == r->data.size()) {
        r->data.clear();
        r->head = 0;
    }
    *read = static_cast<std::uint32_t>(n);
    return true;
}

void SetTransferObserver(HINTERNET session, TransferObserver observer) {
    if (auto* s = As<SessionHandle>(session, Handle::Kind::kSession)) s->state->observer = std::move(observer);
}

void SetDeadline(HINTERNET session, std::chrono::steady_clock::time_point deadline) {
    if (auto* s = As<SessionHandle>(session, Handle::Kind::kSession)) s->state->deadline = deadline;
}

void SetTimeouts(int connectSeconds, int silentSeconds) {
    if (connectSeconds >= 1) g_connectSeconds = connectSeconds;
    if (silentSeconds >= 1) g_silentSeconds = silentSeconds;
}

std::string RequestErrorText(HINTERNET request) {
    const auto* r = As<RequestHandle>(request, Handle::Kind::kRequest);
    return r ? r->failure : std::string();
}

int HttpStatus(HINTERNET request) {
    auto* r = As<RequestHandle>(request, Handle::Kind::kRequest);
    if (!r || !r->added) return 0;
    long status = 0;
    curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int>(status);
}

bool InternetCloseHandle(HINTERNET handle) {
    if (!handle) return false;
    delete handle;
    return true;
}

}  // namespace platform::inet
