// Device names travel either as plain 8-bit text or as UTF-16 behind a byte-order mark. A PC
// text can force a UTF-16 unit with a pair of escapes ("%41%00" is "A"); a device name whose
// characters have no 8-bit form comes back in that escaped spelling, so it survives the trip.
#include <cstring>
#include <string>

#include "devicekit/wire/text_codec.h"
#include "klxpxclnt/klxp_xclient.h"

namespace klxp {

namespace {

int HexValue(unsigned char c) {
    int v = static_cast<int>(c) - 48;
    if (v > 9) v -= 7;
    return (v >= 0 && v <= 15) ? v : -1;
}

// Length of the escaped form, or 0 when it does not apply.
int EscapedLength(const unsigned char* text) {
    int length = 4;
    bool escaped = false;
    for (std::size_t i = 0; text[i] != 0;) {
        if (text[i] == '%') {
            if (HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0) return 0;
            escaped = true;
            length += 1;
            i += 3;
        } else {
            length += 2;
            i += 1;
        }
    }
    return (escaped && length % 2 == 0) ? length : 0;
}

void WriteEscaped(const unsigned char* text, unsigned char* out) {
    *out++ = 0xFF;
    *out++ = 0xFE;
    for (std::size_t i = 0; text[i] != 0;) {
        if (text[i] == '%') {
            *out++ = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 3;
        } else {
            *out++ = text[i++];
            *out++ = 0;
        }
    }
    *out++ = 0;
    *out = 0;
}

int WriteUnits(const std::u16string& units, unsigned char* out, int room) {
    const int length = 2 * static_cast<int>(units.size() + 1) + 2;
    if (length > room) return 0;
    *out++ = 0xFF;
    *out++ = 0xFE;
    for (const char16_t u : units) {
        *out++ = static_cast<unsigned char>(u & 0xFF);
        *out++ = static_cast<unsigned char>(u >> 8);
    }
    *out++ = 0;
    *out = 0;
    return length;
}

void AppendHex(std::string& out, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kDigits[(value >> 4) & 0xF]);
    out.push_back(kDigits[value & 0xF]);
}

std::string EscapedSpelling(const std::u16string& units) {
    std::string out;
    for (const char16_t u : units) {
        if ((u >> 8) == 0) {
            out.push_back(static_cast<char>(u));
        } else {
            AppendHex(out, u & 0xFF);
            AppendHex(out, u >> 8);
        }
    }
    return out;
}

bool CopyText(const std::string& text, char* out, int room) {
    if (static_cast<int>(text.size()) + 1 > room) return false;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

}  // namespace

int CKlxpXClient::EncodeRemoteName(const char* text, unsigned char* output, int outputSize) {
    if (text == nullptr || output == nullptr) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const int escaped = EscapedLength(bytes);
    if (escaped > 0) {
        if (escaped > outputSize) return 0;
        WriteEscaped(bytes, output);
        return escaped;
    }
    const std::size_t n = std::strlen(text);
    bool plain = true;
    for (std::size_t i = 0; i < n; ++i) plain = plain && bytes[i] < 0x80;
    if (plain) {
        if (static_cast<int>(n) + 1 > outputSize) return 0;
        std::memcpy(output, text, n + 1);
        return static_cast<int>(n) + 1;
    }
    return WriteUnits(klxpwire::AnsiToUtf16(std::string_view(text, n)), output, outputSize);
}

int CKlxpXClient::DecodeRemoteName(const unsigned char* wire, int wireSize, char* text, int textSize) {
    if (wire == nullptr || text == nullptr || wireSize <= 0 || textSize <= 0) return 0;
    const auto size = static_cast<std::size_t>(wireSize);
    if (size < 2 || wire[0] != 0xFF || wire[1] != 0xFE) {
        const void* end = std::memchr(wire, 0, size);
        if (end == nullptr) return 0;
        const auto n = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - wire);
        if (!CopyText(std::string(reinterpret_cast<const char*>(wire), n), text, textSize)) return 0;
        return static_cast<int>(n) + 1;
    }
    std::u16string units;
    std::size_t at = 2;
    for (;; at += 2) {
        if (at + 1 >= size) return 0;  // no terminating unit within the received bytes
        const auto u = static_cast<char16_t>(wire[at] | (wire[at + 1] << 8));
        if (u == 0) break;
        units.push_back(u);
    }
    std::string ansi;
    const bool exact = klxpwire::Utf16ToAnsi(units, ansi) && klxpwire::AnsiToUtf16(ansi) == units;
    if (!CopyText(exact ? ansi : EscapedSpelling(units), text, textSize)) return 0;
    return static_cast<int>(at + 2);
}

}  // namespace klxp
