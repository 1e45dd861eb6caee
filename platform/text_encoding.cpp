#include "platform/text_encoding.h"

#include "platform/string_table.h"

namespace platform {

namespace {

// 0x80 to 0x9f of Windows-1252; the five bytes it leaves undefined stand for the control
// characters of the same number, as browsers read them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t value) {
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (value >> 6)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (value >> 12)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

// The bytes a UTF-8 sequence with this lead byte takes, 0 for no lead byte.
std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// The length of text without a UTF-8 character begun in its last three bytes and cut short,
// or text.size() when it ends in none.
std::size_t WithoutCutCharacter(std::string_view text) {
    for (std::size_t tail = 1; tail <= 3 && tail <= text.size(); ++tail) {
        const std::size_t at = text.size() - tail;
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: the lead is further back
        return SequenceLength(byte) > tail ? at : text.size();
    }
    return text.size();
}

}  // namespace

std::string ReadableUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    const std::string_view whole = text.substr(0, WithoutCutCharacter(text));
    if (whole.size() < text.size() && IsValidUtf8(whole)) return std::string(whole);
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte);
    }
    return out;
}

}  // namespace platform
