#include "service/service_client.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/fixed_text.h"
#include "platform/pc_files.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

namespace inet = platform::inet;

namespace {
constexpr const char* kAgentName = "Example Agent";
constexpr const char* kFormHeader = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr std::uint16_t kServicePort = 80;
}  // namespace

CServiceClient::CServiceClient(platform::WorkFolder folder) : folder_(std::move(folder)) {
    // A leftover of older versions; nothing reads it, so it must not linger.
    folder_.Delete(platform::pcfile::kOldConfig);
}

CServiceClient::~CServiceClient() {
    CloseInfoCache();
    // Internet handles are the user's to close (CloseHandles); release them if forgotten.
    CloseHandles();
}

void CServiceClient::SetBaseUrl(const char* url) { platform::CopyToField(baseUrl_, url); }

void CServiceClient::CloseHandles() {
    if (requestTimed_) {
        timeLeft_ -= std::chrono::steady_clock::now() - requestSent_;
        requestTimed_ = false;
    }
    for (auto* handle : {&request_, &connection_, &session_}) {
        if (*handle) inet::InternetCloseHandle(*handle);
        *handle = nullptr;
    }
}

void CServiceClient::ReleaseRecords() {
    localMirrorsFile_ = false;
    localAheadOfFile_ = false;
    localRecords_.clear();
    localRecords_.shrink_to_fit();
}

std::string CServiceClient::FullUrl(const char* path) const { return std::string(baseUrl_) + (path ? path : ""); }

Result CServiceClient::OpenStandaloneRequest(const char* verb, const char* path, const char* body) {
    return OpenStandaloneRequestAt(FullUrl(path), verb, body);
}

void CServiceClient::LimitRequestTime(std::chrono::milliseconds total) {
    timeLimited_ = total.count() > 0;
    timeLeft_ = total;
    requestTimed_ = false;
}

void CServiceClient::SetTransferObserver(platform::inet::TransferObserver observer) {
    transferObserver_ = std::move(observer);
    if (session_) inet::SetTransferObserver(session_, transferObserver_);
}

// The port written in an address is never used; a user who wrote one is told so, since the
// failure would otherwise make no sense to them.
void CServiceClient::NoteTransportFailure(const char* step, const std::string& url, const std::string& why) {
    failureCause_ = std::string(step) + " " + url;
    if (!why.empty()) failureCause_ += ": " + why;
    const std::string port = inet::UrlPort(url.c_str());
    if (!port.empty() && port != "80") {
        failureCause_ += " (the address names port " + port + ", but the service is always reached on port 80)";
    }
}

void CServiceClient::NoteFileFailure(const std::string& path, int error) {
    failureCause_ = "cannot write " + path + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

Result CServiceClient::OpenStandaloneRequestAt(const std::string& url, const char* verb, const char* body) {
    CloseHandles();
    std::string why;
    session_ = inet::InternetOpen(kAgentName, why);
    if (!session_) {
        NoteTransportFailure("opening a session for", url, why);
        return Result::kOpenSessionFailed;
    }
    if (transferObserver_) inet::SetTransferObserver(session_, transferObserver_);
    if (timeLimited_) {
        requestSent_ = std::chrono::steady_clock::now();
        requestTimed_ = true;
        inet::SetDeadline(session_, requestSent_ + std::max(timeLeft_, std::chrono::steady_clock::duration::zero()));
    }
    std::string host;
    std::string urlPath;
    if (!inet::InternetCrackUrl(url.c_str(), host, urlPath, why)) {
        NoteTransportFailure("reading the address", url, why);
        return Result::kCrackUrlFailed;
    }
    connection_ = inet::InternetConnect(session_, host.c_str(), kServicePort, why);
    if (!connection_) {
        NoteTransportFailure("connecting for", url, why);
        return Result::kConnectFailed;
    }
    request_ = inet::HttpOpenRequest(connection_, verb, urlPath.c_str(), why);
    if (!request_) {
        NoteTransportFailure("opening the request", url, why);
        return Result::kOpenRequestFailed;
    }
    const bool post = verb && std::strcmp(verb, "POST") == 0;
    if (post && !inet::HttpAddRequestHeaders(request_, kFormHeader)) {
        NoteTransportFailure("adding the header to", url, inet::RequestErrorText(request_));
        return Result::kAddHeaderFailed;
    }
    const char* data = body ? body : "";
    if (!inet::HttpSendRequest(request_, data, std::strlen(data))) {
        NoteTransportFailure("sending", url, inet::RequestErrorText(request_));
        return Result::kSendFailed;
    }
    return Result::kOk;
}

Result CServiceClient::OpenSessionRequest(const char* verb, const char* path, const char* body) {
    const std::string url = FullUrl(path);
    std::string host;
    std::string urlPath;
    std::string why;
    if (!inet::InternetCrackUrl(url.c_str(), host, urlPath, why)) {
        NoteTransportFailure("reading the address", url, why);
        return Result::kSessionTransportFailed;
    }
    if (request_) {
        inet::InternetCloseHandle(request_);
        request_ = nullptr;
    }
    request_ = inet::HttpOpenRequest(connection_, verb, urlPath.c_str(), why);
    if (!request_) {
        NoteTransportFailure("opening the request", url, why);
        return Result::kSessionTransportFailed;
    }
    const bool post = verb && std::strcmp(verb, "POST") == 0;
    if (post && !inet::HttpAddRequestHeaders(request_, kFormHeader)) {
        NoteTransportFailure("adding the header to", url, inet::RequestErrorText(request_));
        return Result::kSessionTransportFailed;
    }
    const char* data = post && body ? body : "";
    if (!inet::HttpSendRequest(request_, data, std::strlen(data))) {
        NoteTransportFailure("sending", url, inet::RequestErrorText(request_));
        return Result::kSessionTransportFailed;
    }
    return Result::kOk;
}

bool CServiceClient::ReadPiece(ReplyPiece& piece) {
    piece.length = 0;
    return ReadInto(piece.text, piece.length);
}

bool CServiceClient::ReadInto(char* text, std::uint32_t& length) {
    length = 0;
    text[0] = '\0';
    if (!inet::InternetReadFile(request_, text, ReplyPiece::kMaxLength, &length)) {
        failureCause_ = "reading the reply";
        if (const std::string why = inet::RequestErrorText(request_); !why.empty()) failureCause_ += ": " + why;
        return false;
    }
    text[length] = '\0';
    return true;
}

bool CServiceClient::ReadLastPiece(ReplyPiece& piece) {
    ReplyPiece next;
    piece.length = 0;
    piece.text[0] = '\0';
    for (;;) {
        if (!ReadPiece(next)) return false;
        if (next.length == 0) return true;
        piece = next;
    }
}

bool CServiceClient::ReadEachPiece(const std::function<bool(const ReplyPiece&)>& visit) {
    ReplyPiece piece;
    for (;;) {
        if (!ReadPiece(piece)) return false;
        if (piece.length == 0 || !visit(piece)) return true;
    }
}
