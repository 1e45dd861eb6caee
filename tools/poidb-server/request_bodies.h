#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace poidb {

// The four comma-joined values of a logon or updates request. The registration name may hold
// commas itself, so the values are taken from the right: version, e-mail and serial hold none.
struct Credentials {
    std::string name;
    std::string serial;
    std::string email;
    std::string version;
};

// Nothing when the body does not hold four values with a non-empty name, serial and e-mail,
// or a value is too long or holds a NUL.
std::optional<Credentials> ParseCredentials(std::string_view body);

// "last id;YYYYMMDD;language": the alert request.
struct AlertQuery {
    std::int64_t last_id = -1;
    std::int32_t date = 0;
    std::string language;
};
std::optional<AlertQuery> ParseAlertQuery(std::string_view body);

// "last id;language": the information request.
struct InfoQuery {
    std::int64_t last_id = -1;
    std::string language;
};
std::optional<InfoQuery> ParseInfoQuery(std::string_view body);

}  // namespace poidb
