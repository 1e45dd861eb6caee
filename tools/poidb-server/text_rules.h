#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace poidb {

inline constexpr std::size_t kMaxNameBytes = 51;   // a camera name as the client stores it
inline constexpr std::size_t kMaxTextBytes = 1023;  // alert and message texts
inline constexpr std::size_t kMaxCredentialBytes = 255;

// A camera name safe inside a reply: at most 51 bytes (never cut inside a UTF-8 sequence), no
// field separators ("|" and "#" become "/"), no control characters, and no reply markers that
// a client could mistake for the start of a reply ("OK:", "ERROR:", "NONE").
std::string CleanName(std::string_view raw);

// The same for a free text of at most `limit` bytes; line feeds may stay when `keep_line_feeds`.
std::string CleanText(std::string_view raw, std::size_t limit, bool keep_line_feeds);

// Strict decimal: optional sign, digits only, within 32 bits.
bool ParseInt32(std::string_view text, std::int32_t& value);

// Lenient decimal in the manner of atol: leading blanks, sign, digits up to the first other
// character; no digits give 0. Saturates instead of overflowing.
std::int64_t LeadingInteger(std::string_view text);

// "YYYY-MM-DD" of a moment, in UTC.
std::string DateText(std::time_t moment);

// YYYYMMDD of a moment, in UTC, as alerts compare dates.
std::int32_t DateNumber(std::time_t moment);

}  // namespace poidb
