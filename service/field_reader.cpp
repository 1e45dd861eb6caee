#include "service/field_reader.h"

#include <cctype>

namespace service {

std::int32_t ReadNumber(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    std::uint64_t value = 0;
    constexpr std::uint64_t kLimit = 1ULL << 63;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<std::uint64_t>(*text - '0');
        if (value >= kLimit) value = kLimit;  // saturate, as a long would
    }
    const std::uint64_t wrapped = negative ? (~value + 1) : value;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wrapped));
}

}  // namespace service
