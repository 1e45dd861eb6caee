#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "service/field_reader.h"
#include "service/reply_text.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

using service::StartsWith;

namespace inet = platform::inet;

namespace {

// The start-up replies carry message texts of up to 1023 characters (an information record's
// room); line feeds stay in them.
using StartupFieldReader = service::FieldReader<1024>;

constexpr std::size_t kInfoTextLimit = 1024;

// The service sends at most 200 messages, and no start-up reply comes near 2 MiB; a reply past
// either is not one of its replies, however well formed.
constexpr std::size_t kMaxInfoMessages = 1000;
constexpr std::size_t kMaxStartupReply = std::size_t{2} * 1024 * 1024;

// An alert's or a message's identifier: a whole number the service can count up from.
bool ReadIdentifier(const char* field, std::size_t kept, std::size_t full, std::int32_t& identifier) {
    return kept == full && service::ReadWholeNumber(std::string_view(field, kept), identifier);
}

// The address is the file's first line; its line end and trailing blanks are no part of it.
std::string FirstLine(std::string text) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.erase(end);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

Result CServiceClient::FetchServerUrl(const char* address, std::string& baseUrl) {
    baseUrl.clear();
    const std::string url = std::string(address ? address : "") + "vyosync.txt";
    const Result code = OpenStandaloneRequestAt(url, "GET", "");
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadPiece(piece)) return Result::kReadFailed;
    if (StartsWith(piece.text, "http:")) {
        const std::string text = FirstLine(std::string(piece.text, strnlen(piece.text, piece.length)));
        // An address too long for the base URL would be cut into a wrong one: take none.
        if (text.size() < sizeof baseUrl_) {
            baseUrl = text;
        } else {
            failureCause_ = "fetching " + url + ": its address is longer than the " +
                            std::to_string(sizeof baseUrl_ - 1) + " characters a service address may have";
        }
    } else if (const int status = inet::HttpStatus(request_); status != 200) {
        // No address is no failure of the request, but the user who named the folder is told
        // why theirs was not used; an error page says more by its status than by its text.
        failureCause_ = "fetching " + url + ": the server answered HTTP status " + std::to_string(status);
    } else {
        failureCause_ = "fetching " + url + ": it holds no address beginning with http:";
    }
    CloseHandles();
    return Result::kOk;
}

Result CServiceClient::PingServer() {
    const Result code = OpenStandaloneRequest("POST", "POIDataBase/ServerUp.php", "ServerUpFake");
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadPiece(piece)) return Result::kReadFailed;
    if (!StartsWith(piece.text, "IMTHERE:")) return Result::kNoStartupAnswer;
    CloseHandles();
    return Result::kOk;
}

Result CServiceClient::ReadStartupReply(const char* path, const char* body, const char* skipPrefix,
                                        const StartupFieldVisitor& onField, bool& understood) {
    understood = true;
    const Result code = OpenStandaloneRequest("POST", path, body);
    if (code != Result::kOk) return code;
    StartupFieldReader reader(false);
    std::size_t received = 0;
    const bool read = ReadEachPiece([&](const ReplyPiece& piece) {
        received += piece.length;
        if (received > kMaxStartupReply) understood = false;
        if (!understood || StartsWith(piece.text, skipPrefix)) return understood;
        return reader.Feed(piece.text, piece.length, [&](const char* field, std::size_t kept, std::size_t full) {
            understood = onField(field, kept, full);
            return understood;
        });
    });
    if (!read) return Result::kReadFailed;
    CloseHandles();
    return Result::kOk;
}

Result CServiceClient::FetchAlert(const char* body, std::string& text, std::size_t textLimit,
                                        std::int32_t& identifier) {
    identifier = -1;
    text.clear();
    int index = 0;
    bool understood = true;
    const Result code = ReadStartupReply("POIDataBase/Alerts.php", body, "NONE:",
                                         [&](const char* field, std::size_t kept, std::size_t full) {
                                             if (index == 0 && !ReadIdentifier(field, kept, full, identifier)) {
                                                 return false;
                                             }
                                             if (index == 1 && full < textLimit) text.assign(field, kept);
                                             ++index;
                                             return true;
                                         },
                                         understood);
    if (!understood) {
        identifier = -1;
        text.clear();
    }
    return code;
}

Result CServiceClient::CheckVersion(const char* version, std::string& address, std::string& message) {
    address.clear();
    message.clear();
    int index = 0;
    bool understood = true;
    return ReadStartupReply("POIDataBase/CheckVersion.php", version, "NONE",
                            [&](const char* field, std::size_t kept, std::size_t) {
                                if (index == 1) address.assign(field, kept);
                                if (index == 2) message.assign(field, kept);
                                index = (index + 1) % 3;
                                return true;
                            },
                            understood);
}

Result CServiceClient::FetchInformation(const char* language) {
    char body[64];
    std::snprintf(body, sizeof body, "%d;%.20s", LastInfoId(), language ? language : "");
    std::vector<InfoRecord> records;
    InfoRecord record{};
    bool haveIdentifier = false;
    bool understood = true;
    const Result code = ReadStartupReply(
        "POIDataBase/Information.php", body, "NONE:",
        [&](const char* field, std::size_t kept, std::size_t full) {
            if (!haveIdentifier) {
                record = InfoRecord{};
                haveIdentifier = true;
                return ReadIdentifier(field, kept, full, record.identifier);
            }
            // A text of 1024 characters or more keeps its first 1023: a message cut short says
            // more than none.
            std::memcpy(record.text, field, kept < kInfoTextLimit ? kept : kInfoTextLimit - 1);
            records.push_back(record);
            haveIdentifier = false;
            return records.size() <= kMaxInfoMessages;
        },
        understood);
    // Only a whole reply is stored, and in one piece: a reply cut short, not understood or
    // stopped by the time limit leaves the cache as it was.
    if (code == Result::kOk && understood && !records.empty()) AppendInfoRecords(records);
    return code;
}
