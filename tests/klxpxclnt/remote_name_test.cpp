#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "klxpxclnt/klxp_xclient.h"

namespace klxp {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Encode(const char* text, int room = 600) {
    Bytes out(static_cast<std::size_t>(room) + 8, 0xEE);
    const int n = CKlxpXClient::EncodeRemoteName(text, out.data(), room);
    EXPECT_EQ(out[static_cast<std::size_t>(room)], 0xEE) << "wrote past the room";
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TEST(RemoteNameTest, EncodingPicksEscapedPlainOrUtf16) {
    struct Case {
        const char* text;
        Bytes wire;
    };
    const Case cases[] = {
        {"a%41%00", {0xFF, 0xFE, 'a', 0, 0x41, 0x00, 0, 0}},
        {"%41", {'%', '4', '1', 0}},                          // odd length: plain
        {"x%4g", {'x', '%', '4', 'g', 0}},                    // not an escape: plain
        {"%4", {'%', '4', 0}},                                // escape cut by the end of the text
        {"\xE9%4g", {0xFF, 0xFE, 0xE9, 0, '%', 0, '4', 0, 'g', 0, 0, 0}},  // high byte: UTF-16
        {"\x80", {0xFF, 0xFE, 0xAC, 0x20, 0, 0}},            // euro sign through the code page
        {"%16%04%43%04", {0xFF, 0xFE, 0x16, 0x04, 0x43, 0x04, 0, 0}},
        {"%1a%00", {'%', '1', 'a', '%', '0', '0', 0}},        // lower-case digits are not hex here
        {"", {0}},
        {"\\My Flash Disk\\a.mtc", {}},
    };
    for (const Case& c : cases) {
        Bytes expected = c.wire;
        if (expected.empty()) {
            const std::string s = c.text;
            expected.assign(s.begin(), s.end());
            expected.push_back(0);
        }
        EXPECT_EQ(Encode(c.text), expected) << c.text;
    }
}

TEST(RemoteNameTest, EncodingThatDoesNotFitGivesZero) {
    EXPECT_EQ(Encode("abc", 3).size(), 0U);
    EXPECT_EQ(Encode("abc", 4).size(), 4U);
    EXPECT_EQ(Encode("a%41%00", 7).size(), 0U);
    EXPECT_EQ(Encode("\xE9", 5).size(), 0U);
    EXPECT_EQ(Encode("\xE9", 6).size(), 6U);
    EXPECT_EQ(CKlxpXClient::EncodeRemoteName(nullptr, nullptr, 10), 0);
}

TEST(RemoteNameTest, DecodingGivesAnsiOrTheEscapedSpelling) {
    struct Case {
        Bytes wire;
        const char* text;
        int length;
    };
    const Case cases[] = {
        {{'a', 'b', 0, 'x'}, "ab", 3},
        {{0xFF, 0xFE, 'K', 0, 0xF6, 0, 'l', 0, 'n', 0, 0, 0}, "K\xF6ln", 12},
        {{0xFF, 0xFE, 0xAC, 0x20, 0, 0}, "\x80", 6},
        {{0xFF, 0xFE, 'a', 0, 0x16, 0x04, 0, 0}, "a%16%04", 8},          // Cyrillic: escaped
        {{0xFF, 0xFE, 0xE9, 0, 0x16, 0x04, 0, 0}, "\xE9%16%04", 8},      // mixed: plain byte, escape
        {{0xFF, 0xFE, 0, 0}, "", 4},
    };
    for (const Case& c : cases) {
        char text[CKlxpXClient::kRemoteTextSize];
        EXPECT_EQ(CKlxpXClient::DecodeRemoteName(c.wire.data(), static_cast<int>(c.wire.size()), text, sizeof text), c.length);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(RemoteNameTest, DecodingNeverReadsPastTheReceivedBytes) {
    const Bytes wide = {0xFF, 0xFE, 'a', 0, 'b', 0, 0, 0};
    const Bytes plain = {'a', 'b', 'c', 0};
    char text[16];
    for (int size = 0; size < static_cast<int>(wide.size()); ++size) {
        EXPECT_EQ(CKlxpXClient::DecodeRemoteName(wide.data(), size, text, sizeof text), 0) << size;
    }
    for (int size = 0; size < static_cast<int>(plain.size()); ++size) {
        EXPECT_EQ(CKlxpXClient::DecodeRemoteName(plain.data(), size, text, sizeof text), 0) << size;
    }
    EXPECT_EQ(CKlxpXClient::DecodeRemoteName(plain.data(), 4, text, 3), 0) << "text room too small";
    EXPECT_EQ(CKlxpXClient::DecodeRemoteName(plain.data(), 4, text, 4), 4);
}

TEST(RemoteNameTest, EscapedSpellingEncodesBackToTheSameUnits) {
    const Bytes wire = {0xFF, 0xFE, 'Z', 0, 0x16, 0x04, 0x3D, 0xD8, 0x00, 0xDE, 0, 0};
    char text[64];
    ASSERT_EQ(CKlxpXClient::DecodeRemoteName(wire.data(), static_cast<int>(wire.size()), text, sizeof text), 12);
    EXPECT_STREQ(text, "Z%16%04%3D%D8%00%DE");
    EXPECT_EQ(Encode(text), wire);
}

}  // namespace
}  // namespace klxp
