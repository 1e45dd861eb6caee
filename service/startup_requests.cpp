#include <cstdio>
#include <cstring>
#include <string>

#include "service/field_reader.h"
#include "service/reply_text.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

using service::StartsWith;

namespace {

// The start-up replies carry message texts of up to 1023 characters (an information record's
// room); line feeds stay in them.
using StartupFieldReader = service::FieldReader<1024>;

constexpr std::size_t kInfoTextLimit = 1024;

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
    const Result code = OpenStandaloneRequestAt(std::string(address ? address : "") + "vyosync.txt", "GET", "");
    if (code != Result::kOk) return code;
    ReplyPiece piece;
    if (!ReadPiece(piece)) return Result::kReadFailed;
    if (StartsWith(piece.text, "http:")) {
        const std::string text = FirstLine(std::string(piece.text, strnlen(piece.text, piece.length)));
        // An address too long for the base URL would be cut into a wrong one: take none.
        if (text.size() < sizeof baseUrl_) baseUrl = text;
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
                                              const StartupFieldVisitor& onField) {
    const Result code = OpenStandaloneRequest("POST", path, body);
    if (code != Result::kOk) return code;
    StartupFieldReader reader(false);
    const bool read = ReadEachPiece([&](const ReplyPiece& piece) {
        if (StartsWith(piece.text, skipPrefix)) return true;
        return reader.Feed(piece.text, piece.length, [&](const char* field, std::size_t kept, std::size_t full) {
            onField(field, kept, full);
            return true;
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
    return ReadStartupReply("POIDataBase/Alerts.php", body, "NONE:",
                            [&](const char* field, std::size_t kept, std::size_t full) {
                                if (index == 0) identifier = service::ReadNumber(field);
                                if (index == 1 && full < textLimit) text.assign(field, kept);
                                ++index;
                            });
}

Result CServiceClient::CheckVersion(const char* version, std::string& address, std::string& message) {
    address.clear();
    message.clear();
    int index = 0;
    return ReadStartupReply("POIDataBase/CheckVersion.php", version, "NONE",
                            [&](const char* field, std::size_t kept, std::size_t) {
                                if (index == 1) address.assign(field, kept);
                                if (index == 2) message.assign(field, kept);
                                index = (index + 1) % 3;
                            });
}

Result CServiceClient::FetchInformation(const char* language) {
    char body[64];
    std::snprintf(body, sizeof body, "%d;%.20s", LastInfoId(), language ? language : "");
    InfoRecord record{};
    bool haveIdentifier = false;
    return ReadStartupReply("POIDataBase/Information.php", body, "NONE:",
                            [&](const char* field, std::size_t kept, std::size_t) {
                                if (!haveIdentifier) {
                                    record = InfoRecord{};
                                    record.identifier = service::ReadNumber(field);
                                    haveIdentifier = true;
                                    return;
                                }
                                // A text of 1024 characters or more keeps its first 1023: a
                                // message cut short says more than none.
                                std::memcpy(record.text, field, kept < kInfoTextLimit ? kept : kInfoTextLimit - 1);
                                AppendInfoRecord(record);
                                haveIdentifier = false;
                            });
}
