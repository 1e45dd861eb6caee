#include "platform/string_table.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
        EXPECT_EQ(table.has_pack_for_locale(), c.translated) << c.locale;
        EXPECT_EQ(table.Text(999), "");
    }
    StringTable none;
    EXPECT_FALSE(none.Load(dir.file("nowhere"), "1033"));
}

TEST(StringTable, LoadStringCutsToTheBufferLikeTheWindowsCall) {
    testsupport::TempDir dir;
    testsupport::WriteWholeFile(dir.file("1033.txt"), "140\tFailed to add header !\n");
    StringTable table;
    ASSERT_TRUE(table.Load(dir.path(), "1033"));
    char buffer[7];
    EXPECT_EQ(table.LoadString(140, buffer, sizeof buffer), 6);
    EXPECT_STREQ(buffer, "Failed");
    EXPECT_EQ(table.LoadString(141, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(table.LoadString(140, buffer, 0), 0);
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
