#include "tools/poidb-server/request_bodies.h"

#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr std::size_t kMaxLanguageBytes = 20;

bool Acceptable(std::string_view value) {
    return value.size() <= kMaxCredentialBytes && value.find('\0') == std::string_view::npos;
}

// Splits off the text after the last `separator`; false when there is none.
bool TakeLast(std::string_view& rest, char separator, std::string_view& last) {
    const auto at = rest.rfind(separator);
    if (at == std::string_view::npos) return false;
    last = rest.substr(at + 1);
    rest = rest.substr(0, at);
    return true;
}

std::string_view TrimLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<Credentials> ParseCredentials(std::string_view body) {
    std::string_view rest = TrimLineEnd(body);
    std::string_view version;
    std::string_view email;
    std::string_view serial;
    if (!TakeLast(rest, ',', version) || !TakeLast(rest, ',', email) || !TakeLast(rest, ',', serial)) {
        return std::nullopt;
    }
    const std::string_view name = rest;
    if (name.empty() || serial.empty() || email.empty()) return std::nullopt;
    for (const auto value : {name, serial, email, version}) {
        if (!Acceptable(value)) return std::nullopt;
    }
    return Credentials{std::string(name), std::string(serial), std::string(email), std::string(version)};
}

std::optional<AlertQuery> ParseAlertQuery(std::string_view body) {
    std::string_view rest = TrimLineEnd(body);
    std::string_view language;
    std::string_view date;
    if (!TakeLast(rest, ';', language) || !TakeLast(rest, ';', date)) return std::nullopt;
    AlertQuery query;
    std::int32_t id = 0;
    if (!ParseInt32(rest, id) || !ParseInt32(date, query.date)) return std::nullopt;
    if (language.size() > kMaxLanguageBytes) return std::nullopt;
    query.last_id = id;
    query.language = language;
    return query;
}

std::optional<InfoQuery> ParseInfoQuery(std::string_view body) {
    std::string_view rest = TrimLineEnd(body);
    std::string_view language;
    if (!TakeLast(rest, ';', language)) return std::nullopt;
    InfoQuery query;
    std::int32_t id = 0;
    if (!ParseInt32(rest, id) || language.size() > kMaxLanguageBytes) return std::nullopt;
    query.last_id = id;
    query.language = language;
    return query;
}

}  // namespace poidb
