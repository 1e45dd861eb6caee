#include "platform/string_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "temp_dir.h"

using platform::StringTable;

namespace {

std::string SourcePacks() {
    const char* src = std::getenv("ZARNIK_SOURCE_DIR");
    return std::string(src ? src : ".") + "/resources/lang";
}

TEST(StringTable, EnglishPackHoldsEveryIdAndTheExactTexts) {
    StringTable table;
    ASSERT_TRUE(table.Load(SourcePacks(), "1033"));
    for (unsigned id = platform::kFirstStringId; id <= platform::kLastStringId; ++id) {
        EXPECT_FALSE(table.Text(id).empty()) << "id " << id;
    }
    const struct {
        unsigned id;
        const char* text;
    } exact[] = {
        {131, "Server reports, user not logged in !"}, {132, "User not found in database !"},
        {133, "There is a problem with posting user credentials !"}, {135, "Unknown error has occured !"},
        {136, "Failed to open session !"},  {137, "Failed to crack URL !"},
        {138, "Failed to open connection !"}, {139, "Failed to get HTTP request !"},
        {140, "Failed to add header !"}, {141, "Failed to send request !"},
        {142, "Failed to read data !"}, {143, "Default URL has not been set !"},
    };
    for (const auto& e : exact) EXPECT_EQ(table.Text(e.id), e.text) << "id " << e.id;
    EXPECT_EQ(table.Text(175).rfind("There seems to be a problem connecting to the Database server.\nPlease check "
                                    "following things :\n\nCheck your proxy settings inside your internet browser ! "
                                    "\n\n",
                                    0),
              0U);
}

TEST(StringTable, MissingPacksAndIdsFallBackToEnglish) {
    testsupport::TempDir dir;
    testsupport::WriteWholeFile(dir.file("1033.txt"), "# comment\n131\tEnglish\n132\tAlso English\n");
    testsupport::WriteWholeFile(dir.file("1031.txt"), "131\tDeutsch\\nZeile\\t\\\\\n999\tout of range\nbad line\n");

    const struct {
        const char* locale;
        const char* text131;
        bool translated;
    } cases[] = {
        {"1031", "Deutsch\nZeile\t\\", true},
        {"1036", "English", false},                 // no pack for this language
        {"../1031", "English", false},              // never a path
        {"10310310310310310310310", "English", false},  // longer than a locale code can be
    };
    for (const auto& c : cases) {
        StringTable table;
        EXPECT_TRUE(table.Load(dir.path(), c.locale)) << c.locale;
        EXPECT_EQ(table.Text(131), c.text131) << c.locale;
        EXPECT_EQ(table.Text(132), "Also English") << c.locale;
        EXPECT_EQ(table.Text(186), "Exit") << c.locale;  // in neither file: the built-in English
        EXPECT_EQ(table.has_pack_for_locale(), c.translated) << c.locale;
        EXPECT_EQ(platform::HasLanguagePack(dir.path(), c.locale), c.translated) << c.locale;
        EXPECT_EQ(table.Text(999), "");
    }
}

// A copied or installed program with no pack files at all still has every English text, the
// same as the pack it was built from.
TEST(StringTable, EnglishIsBuiltInWhenNoPackIsThere) {
    testsupport::TempDir dir;
    const auto source = platform::ParseStringPack(testsupport::ReadWholeFile(SourcePacks() + "/1033.txt"));
    ASSERT_EQ(source.size(), platform::kLastStringId - platform::kFirstStringId + 1);
    for (const char* locale : {"1033", "1031"}) {
        StringTable table;
        EXPECT_TRUE(table.Load(dir.file("nowhere"), locale));
        EXPECT_EQ(table.has_pack_for_locale(), std::string(locale) == "1033");
        for (const auto& [id, text] : source) EXPECT_EQ(table.Text(id), text) << locale << " id " << id;
    }
    EXPECT_TRUE(platform::HasLanguagePack(dir.file("nowhere"), "1033"));
    EXPECT_FALSE(platform::HasLanguagePack(dir.file("nowhere"), "1031"));
}

// A translated text that would make a formatter take a value it was not given, or that is no
// UTF-8, gives way to English when the pack loads; the pack's other texts stay.
TEST(StringTable, UnsafeTranslationsGiveWayToEnglish) {
    const StringTable english = [] {
        StringTable t;
        t.Load("/nonexistent", "1033");
        return t;
    }();
    const struct {
        unsigned id;
        const char* text;
        bool kept;
    } cases[] = {
        {170, "\\nKameras : %d\\n\\nÄnderungen : %d\\n", true},
        {170, "\\nKameras : %s\\n\\nÄnderungen : %d\\n", false},  // a number read as a text
        {170, "\\nÄnderungen : %d\\n", false},                        // one conversion short
        {171, "Datum %d, %d, %d, %d, %s", false},                      // same conversions, other order
        {171, "Datum %s %d %d %d", true},
        {171, "Datum %10s %d %d %d", false},                           // a width English does not have
        {155, "%d %d %d %d", false},                                    // one too many
        {102, "100% sicher", false},                                    // a stray percent sign
        {102, "100%% sicher", true},
        {153, "Fehler\xC3", false},                                    // cut UTF-8
        {153, "Fehler \xC0\xAF", false},                              // overlong
        {153, "Fehlér", true},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        testsupport::WriteWholeFile(dir.file("1031.txt"), std::to_string(c.id) + "\t" + c.text + "\n186\tEnde\n");
        StringTable table;
        table.Load(dir.path(), "1031");
        EXPECT_EQ(table.Text(c.id) != english.Text(c.id), c.kept) << c.text;
        EXPECT_EQ(table.Text(186), "Ende") << c.text;
    }
}

TEST(StringTable, LoadStringCutsToTheBufferLikeTheWindowsCall) {
    testsupport::TempDir dir;
    // "Größe ε": 1-, 2- and 2-byte characters around the cut points.
    testsupport::WriteWholeFile(dir.file("1033.txt"), "140\tFailed to add header !\n141\tGr\xC3\xB6\xC3\x9F" "e \xCE\xB5\n");
    StringTable table;
    table.Load(dir.path(), "1033");
    const struct {
        unsigned id;
        int size;
        int copied;
        const char* text;
    } cases[] = {
        {140, 7, 6, "Failed"},
        {140, 1, 0, ""},
        {141, 3, 2, "Gr"},            // room for "Gr" only
        {141, 4, 2, "Gr"},            // one byte of "ö": cut before it
        {141, 5, 4, "Gr\xC3\xB6"},   // "ö" whole
        {141, 6, 4, "Gr\xC3\xB6"},   // one byte of "ß"
        {141, 10, 8, "Gr\xC3\xB6\xC3\x9F" "e "},  // one byte of "ε"
        {141, 11, 10, "Gr\xC3\xB6\xC3\x9F" "e \xCE\xB5"},
        {186, 50, 4, "Exit"},
        {999, 50, 0, ""},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(table.LoadString(c.id, buffer, c.size), c.copied) << c.id << " in " << c.size;
        EXPECT_STREQ(buffer, c.text) << c.id << " in " << c.size;
    }
    char untouched = 'x';
    EXPECT_EQ(table.LoadString(140, &untouched, 0), 0);
    EXPECT_EQ(untouched, 'x');
}

TEST(StringTable, ConversionsAndUtf8AreReadAsAFormatterWould) {
    const struct {
        const char* text;
        std::vector<std::string> conversions;
    } cases[] = {
        {"%d of %s", {"%d", "%s"}},
        {"100%% done", {}},
        {"%-5.2ld|%lld|%*d|%zu", {"%-5.2ld", "%lld", "%*d", "%zu"}},
        {"50 % faster", {"% f"}},
        {"50 %!", {"%!"}},
        {"ends with %", {"%"}},
        {"%%%d", {"%d"}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::PrintfConversions(c.text), c.conversions) << c.text;

    const struct {
        const char* bytes;
        bool valid;
    } utf8[] = {
        {"plain", true},          {"\xCE\xB5\xE2\x82\xAC\xF0\x9F\x9A\x97", true},
        {"\xCE", false},          {"\xE2\x82", false},
        {"\xC1\xBF", false},      {"\xE0\x9F\xBF", false},  // overlong
        {"\xED\xA0\x80", false},  {"\xF4\x90\x80\x80", false},  // surrogate, past U+10FFFF
        {"\x80", false},          {"\xFF", false},
    };
    for (const auto& c : utf8) EXPECT_EQ(platform::IsValidUtf8(c.bytes), c.valid) << c.bytes;
}
}  // namespace

namespace {

TEST(FormatNumbers, FillsOnlyNumberConversionsInOrder) {
    const struct {
        const char* format;
        const char* expected;
    } cases[] = {
        {"%d changes, %d stored, %d accepted, %d on the device", "12 changes, 3 stored, 2 accepted, 9999 on the device"},
        {"100%% done: %d", "100% done: 12"},
        {"%s and %n stay as text: %d", "%s and %n stay as text: 12"},  // a hostile pack reads nothing
        {"%d %d %d %d %d %d", "12 3 2 9999 %d %d"},                     // more conversions than numbers
        {"no numbers", "no numbers"},
        {"ends with %", "ends with %"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::FormatNumbers(c.format, {12, 3, 2, 9999}), c.expected) << c.format;
    }
    // Texts fill only "%s", in order; one text too few leaves the conversion standing.
    EXPECT_EQ(platform::FormatText("\nLast sync date : %s\n%d on PC, %s", {"2008-06-30"}, {7}),
              "\nLast sync date : 2008-06-30\n7 on PC, %s");
}

}  // namespace
