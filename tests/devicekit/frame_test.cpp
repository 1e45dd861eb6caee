#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicekit/wire/frame.h"
#include "devicekit/wire/payload.h"
#include "devicekit/wire/text_codec.h"

namespace klxpwire {
namespace {

std::vector<std::uint8_t> Header(std::uint32_t magic, std::uint16_t type, std::uint16_t flags, std::uint32_t length) {
    std::vector<std::uint8_t> out(12);
    PutLe(out.data(), magic, 4);
    PutLe(out.data() + 4, type, 2);
    PutLe(out.data() + 6, flags, 2);
    PutLe(out.data() + 8, length, 4);
    return out;
}

TEST(FrameTest, HeaderBytesAreLittleEndianMagicTypeFlagsLength) {
    const auto bytes = EncodeFrame(MessageType::kReply, {1, 2, 3});
    const std::vector<std::uint8_t> expected = {'Z', 'K', 'X', 'P', 0x30, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3};
    EXPECT_EQ(bytes, expected);
}

TEST(FrameTest, FramesSurviveAnySplitOfTheByteStream) {
    std::vector<std::uint8_t> stream;
    const std::vector<std::vector<std::uint8_t>> payloads = {{}, {7}, std::vector<std::uint8_t>(5000, 0xAB), {1, 2}};
    for (const auto& p : payloads) {
        const auto f = EncodeFrame(MessageType::kData, p);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{12}, std::size_t{4096}, stream.size()}) {
        FrameDecoder decoder;
        std::vector<std::vector<std::uint8_t>> got;
        std::size_t pos = 0;
        for (int guard = 0; pos < stream.size() && guard < 100000; ++guard) {
            const std::size_t end = std::min(stream.size(), pos + piece);
            std::size_t at = pos;
            while (at < end && decoder.error() == DecodeError::kNone) {
                at += decoder.Feed(stream.data() + at, end - at);
                if (decoder.HasFrame()) got.push_back(decoder.TakeFrame().payload);
            }
            if (decoder.HasFrame()) got.push_back(decoder.TakeFrame().payload);
            pos = end;
        }
        EXPECT_EQ(got, payloads) << "piece size " << piece;
        EXPECT_EQ(decoder.error(), DecodeError::kNone);
    }
}

TEST(FrameTest, HostileHeadersAreRejectedBeforeAnyPayloadIsKept) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> header;
        DecodeError error;
    };
    const Case cases[] = {
        {"foreign magic", Header(0x50545448, 0x30, 0, 0), DecodeError::kBadMagic},
        {"unknown type", Header(kFrameMagic, 0x99, 0, 0), DecodeError::kUnknownType},
        {"type zero", Header(kFrameMagic, 0, 0, 0), DecodeError::kUnknownType},
        {"reserved flags set", Header(kFrameMagic, 0x30, 1, 0), DecodeError::kBadFlags},
        {"one byte over the limit", Header(kFrameMagic, 0x20, 0, kMaxPayload + 1), DecodeError::kTooLarge},
        {"4 GiB announced", Header(kFrameMagic, 0x20, 0, 0xFFFFFFFFU), DecodeError::kTooLarge},
    };
    for (const Case& c : cases) {
        FrameDecoder decoder;
        auto bytes = c.header;
        bytes.insert(bytes.end(), 64, 0);
        const std::size_t used = decoder.Feed(bytes.data(), bytes.size());
        EXPECT_EQ(decoder.error(), c.error) << c.what;
        EXPECT_EQ(used, 12U) << c.what;
        EXPECT_FALSE(decoder.HasFrame()) << c.what;
        EXPECT_EQ(decoder.Feed(bytes.data(), bytes.size()), 0U) << c.what << ": stays failed";
    }
}

TEST(FrameTest, NegotiatedLimitIsEnforced) {
    FrameDecoder decoder(4096);
    const auto ok = Header(kFrameMagic, 0x20, 0, 4096);
    decoder.Feed(ok.data(), ok.size());
    EXPECT_EQ(decoder.error(), DecodeError::kNone);
    FrameDecoder small(4096);
    const auto big = Header(kFrameMagic, 0x20, 0, 4097);
    small.Feed(big.data(), big.size());
    EXPECT_EQ(small.error(), DecodeError::kTooLarge);
}

TEST(PayloadTest, ReaderNeverReadsPastTheEnd) {
    const auto bytes = PayloadWriter().U8(1).U16(0x0203).U32(0x04050607).U64(0x08090A0B0C0D0E0FULL).Text("abc").bytes();
    ASSERT_EQ(bytes.size(), 1U + 2 + 4 + 8 + 2 + 3);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        PayloadReader r(bytes.data(), cut);
        std::uint8_t a = 0;
        std::uint16_t b = 0;
        std::uint32_t c = 0;
        std::uint64_t d = 0;
        std::string e;
        EXPECT_FALSE(r.U8(a) && r.U16(b) && r.U32(c) && r.U64(d) && r.Text(e)) << cut;
        EXPECT_FALSE(r.ok());
    }
    PayloadReader r(bytes);
    std::uint8_t a = 0;
    std::uint16_t b = 0;
    std::uint32_t c = 0;
    std::uint64_t d = 0;
    std::string e;
    ASSERT_TRUE(r.U8(a) && r.U16(b) && r.U32(c) && r.U64(d) && r.Text(e));
    EXPECT_EQ(b, 0x0203);
    EXPECT_EQ(c, 0x04050607U);
    EXPECT_EQ(d, 0x08090A0B0C0D0E0FULL);
    EXPECT_EQ(e, "abc");
    EXPECT_TRUE(r.AtEnd());
}

TEST(TextCodecTest, Windows1252ConvertsBothWays) {
    struct Case {
        std::string ansi;
        std::u16string units;
    };
    const Case cases[] = {
        {"abc", u"abc"},
        {"\x80", u"\u20AC"},
        {"\xE9t\xE9", u"\u00E9t\u00E9"},
        {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // unassigned bytes
        {"\x9F", u"\u0178"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiToUtf16(c.ansi), c.units);
        std::string back;
        ASSERT_TRUE(Utf16ToAnsi(c.units, back));
        EXPECT_EQ(back, c.ansi);
    }
    std::string out;
    EXPECT_FALSE(Utf16ToAnsi(u"\u0416", out)) << "Cyrillic has no Windows-1252 byte";
    EXPECT_FALSE(Utf16ToAnsi(u"\u0080", out)) << "U+0080 is not what byte 0x80 means";
}

TEST(TextCodecTest, InvalidUtf8IsRefused) {
    std::u16string units;
    for (const std::string bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "\x80"}) {
        EXPECT_FALSE(Utf8ToUtf16(bad, units)) << bad.size();
    }
    ASSERT_TRUE(Utf8ToUtf16("A\xC3\xA9\xF0\x9F\x98\x80", units));
    EXPECT_EQ(units, (std::u16string{u'A', 0xE9, 0xD83D, 0xDE00}));
    EXPECT_EQ(Utf16ToUtf8(units), "A\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(TextCodecTest, WireNamesNeedTheirTerminatorWithinTheBytes) {
    const auto wide = EncodeWireName("K\xC3\xB6ln");
    EXPECT_EQ(wide, (std::vector<std::uint8_t>{0xFF, 0xFE, 'K', 0, 0xF6, 0, 'l', 0, 'n', 0, 0, 0}));
    std::string name;
    EXPECT_EQ(DecodeWireName(wide.data(), wide.size(), name), wide.size());
    EXPECT_EQ(name, "K\xC3\xB6ln");
    EXPECT_EQ(DecodeWireName(wide.data(), wide.size() - 1, name), 0U);
    const auto plain = EncodeWireName("abc");
    EXPECT_EQ(plain.size(), 4U);
    EXPECT_EQ(DecodeWireName(plain.data(), 3, name), 0U);
}

}  // namespace
}  // namespace klxpwire
