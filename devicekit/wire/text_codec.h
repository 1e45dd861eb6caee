#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace klxpwire {

// The device's 8-bit texts use the Windows-1252 code page. Its five unassigned bytes map to
// the C1 control characters of the same value, as the Windows conversion does, so every byte
// string converts to UTF-16; the way back fails for characters outside the code page.
std::u16string AnsiToUtf16(std::string_view ansi);
bool Utf16ToAnsi(std::u16string_view units, std::string& ansi);

std::string AnsiToUtf8(std::string_view ansi);
bool Utf8ToUtf16(std::string_view utf8, std::u16string& units);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// Device names on the wire: a plain 8-bit text with its terminator, or FF FE, UTF-16LE units
// and a zero unit. EncodeWireName picks the plain form for ASCII names.
std::vector<std::uint8_t> EncodeWireName(std::string_view utf8);
// Always the UTF-16 form (invalid UTF-8 gives an empty name).
std::vector<std::uint8_t> EncodeWireNameUtf16(std::string_view utf8);
// Reads one wire name from at most `size` bytes into UTF-8; gives the bytes it occupies, or 0
// when no terminator lies within the bytes.
std::size_t DecodeWireName(const std::uint8_t* data, std::size_t size, std::string& utf8);

}  // namespace klxpwire
