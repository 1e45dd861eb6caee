#include "service/field_reader.h"

#include <algorithm>
#include <limits>

namespace service {

std::int32_t ReadNumber(const char* text) {
    // The blanks isspace knows in the C locale, without its per-call locale lookup.
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    // A 32-bit long saturates at its limits; any longer run of digits stays at the limit.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::int64_t limit = negative ? kMax + 1 : kMax;
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = std::min(limit, value * 10 + (*text - '0'));
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

bool ReadWholeNumber(std::string_view text, std::int32_t& value) {
    if (text.empty()) return false;
    std::int64_t whole = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        whole = whole * 10 + (c - '0');
        if (whole > std::numeric_limits<std::int32_t>::max()) return false;
    }
    value = static_cast<std::int32_t>(whole);
    return true;
}

}  // namespace service
