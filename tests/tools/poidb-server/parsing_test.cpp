#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tools/poidb-server/change_list.h"
#include "tools/poidb-server/request_bodies.h"
#include "tools/poidb-server/sessions.h"
#include "tools/poidb-server/text_rules.h"

using namespace poidb;

namespace {

struct LineCase {
    const char* line;
    bool good;
    char action;
    std::int32_t lat, lon, direction, category, extra;
    const char* text;
};

TEST(ChangeLineTest, AcceptsWellFormedAndRejectsTheRest) {
    const LineCase cases[] = {
        {"A;52000000;5000000; ;90;27515;50", true, 'A', 52000000, 5000000, 90, 27515, 50, " "},
        {"U;-15;-5; ;720;1;0", true, 'U', -15, -5, 720, 1, 0, " "},
        {"D;1;2;Nothing;0;3;0", true, 'D', 1, 2, 0, 3, 0, "Nothing"},
        {"A;1;2;a;b;c;-2;4;5", true, 'A', 1, 2, -2, 4, 5, "a;b;c"},             // ";" inside the text
        {"A;90000000;-180000000;x;-1;-7;2147483647", true, 'A', 90000000, -180000000, -1, -7, 2147483647, "x"},
        {"A;1;2;OK:|#x;0;0;0", true, 'A', 1, 2, 0, 0, 0, "OK.//x"},              // markers and separators
        {"X;1;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},                          // unknown letter
        {"AA;1;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"a;1;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;1;2; ;0;0", false, 0, 0, 0, 0, 0, 0, ""},                            // six fields
        {"A;1;2", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;1x;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},                         // not a number
        {"A; 1;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;1;2; ;0;0;2147483648", false, 0, 0, 0, 0, 0, 0, ""},                  // overflow
        {"A;90000001;2; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},                   // off the globe
        {"A;1;-180000001; ;0;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;1;2; ;721;0;0", false, 0, 0, 0, 0, 0, 0, ""},                        // direction range
        {"A;1;2; ;-3;0;0", false, 0, 0, 0, 0, 0, 0, ""},
        {"A;1;2;+;0;0;++1", false, 0, 0, 0, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ChangeLine line;
        ASSERT_EQ(ParseChangeLine(c.line, line), c.good);
        if (!c.good) continue;
        EXPECT_EQ(line.action, c.action);
        EXPECT_EQ(line.latitude, c.lat);
        EXPECT_EQ(line.longitude, c.lon);
        EXPECT_EQ(line.direction, c.direction);
        EXPECT_EQ(line.category, c.category);
        EXPECT_EQ(line.extra, c.extra);
        EXPECT_EQ(line.text, c.text);
    }
}

TEST(ChangeLineTest, EmbeddedNulIsRejected) {
    ChangeLine line;
    EXPECT_FALSE(ParseChangeLine(std::string("A;1;2;a\0b;0;0;0", 15), line));
}

TEST(ChangeListTest, KeepsGoodLinesAroundBadOnes) {
    const auto list = ParseChangeList("VyoSync Updates\r\nA;1;2; ;0;0;0\r\nnonsense\n\nD;3;4;Nothing;0;5;0\nU;5;6; ;1;2;0");
    EXPECT_TRUE(list.has_header);
    ASSERT_EQ(list.lines.size(), 3U);
    EXPECT_EQ(list.rejected, 1U);
    EXPECT_EQ(list.lines[0].action, 'A');
    EXPECT_EQ(list.lines[1].action, 'D');
    EXPECT_EQ(list.lines[2].latitude, 5);  // last line without line feed still counts
}

TEST(ChangeListTest, HeaderOnlyAndMissingHeader) {
    EXPECT_TRUE(ParseChangeList("VyoSync Updates\n").has_header);
    EXPECT_TRUE(ParseChangeList("VyoSync Updates\n").lines.empty());
    const auto headless = ParseChangeList("A;1;2; ;0;0;0\n");
    EXPECT_FALSE(headless.has_header);
    EXPECT_FALSE(ParseChangeList("").has_header);
    EXPECT_FALSE(ParseChangeList("VyoSync Updates extra\n").has_header);
}

TEST(CredentialsTest, TakesValuesFromTheRight) {
    struct Case {
        const char* body;
        bool good;
        const char* name;
        const char* serial;
        const char* email;
        const char* version;
    };
    const Case cases[] = {
        {"Jan,1234,jan@example.org,2.0", true, "Jan", "1234", "jan@example.org", "2.0"},
        {"de Vries, Jan & Co+%20,1234,jan@example.org,V2.0", true, "de Vries, Jan & Co+%20", "1234", "jan@example.org", "V2.0"},
        {"Jan,1234,jan@example.org,", true, "Jan", "1234", "jan@example.org", ""},
        {"Jan,1234,jan@example.org,2.0\r\n", true, "Jan", "1234", "jan@example.org", "2.0"},
        {"Jan,1234,jan@example.org", false, "", "", "", ""},
        {",1234,jan@example.org,2.0", false, "", "", "", ""},
        {"Jan,,jan@example.org,2.0", false, "", "", "", ""},
        {"Jan,1234,,2.0", false, "", "", "", ""},
        {"", false, "", "", "", ""},
        {",,,", false, "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto parsed = ParseCredentials(c.body);
        ASSERT_EQ(parsed.has_value(), c.good);
        if (!parsed) continue;
        EXPECT_EQ(parsed->name, c.name);
        EXPECT_EQ(parsed->serial, c.serial);
        EXPECT_EQ(parsed->email, c.email);
        EXPECT_EQ(parsed->version, c.version);
    }
    EXPECT_FALSE(ParseCredentials(std::string(300, 'n') + ",1,e,2.0").has_value());
    EXPECT_FALSE(ParseCredentials(std::string("J\0n,1,e,2.0", 11)).has_value());
}

TEST(StartupBodiesTest, AlertAndInformationQueries) {
    const auto alert = ParseAlertQuery("-1;20080630;1033");
    ASSERT_TRUE(alert.has_value());
    EXPECT_EQ(alert->last_id, -1);
    EXPECT_EQ(alert->date, 20080630);
    EXPECT_EQ(alert->language, "1033");
    EXPECT_FALSE(ParseAlertQuery("x;20080630;1033").has_value());
    EXPECT_FALSE(ParseAlertQuery("1;2008-06-30;1033").has_value());
    EXPECT_FALSE(ParseAlertQuery("1;1033").has_value());
    const auto info = ParseInfoQuery("7;1043");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->last_id, 7);
    EXPECT_EQ(info->language, "1043");
    EXPECT_FALSE(ParseInfoQuery("1043").has_value());
    EXPECT_FALSE(ParseInfoQuery(";1043").has_value());
}

TEST(TextRulesTest, NamesAreSafeInsideReplies) {
    struct Case {
        std::string raw;
        std::string clean;
    };
    const Case cases[] = {
        {"A1 km 12", "A1 km 12"},
        {"a|b#c", "a/b/c"},
        {"line\nfeed\rand\ttab", "line feed and tab"},
        {std::string("nul\0here", 8), "nul here"},
        {"ERROR:Not_Logged_In!", "ERROR.Not_Logged_In!"},
        {"OK: fine", "OK. fine"},
        {"NONE left", "None left"},
        {std::string(60, 'x'), std::string(51, 'x')},
        // A two-byte character across the 51-byte limit is left out whole.
        {std::string(50, 'x') + "\xC3\xA9" + "tail", std::string(50, 'x')},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanName(c.raw), c.clean);
    EXPECT_EQ(CleanText("two\nlines", 100, true), "two\nlines");
}

TEST(TextRulesTest, NumbersStrictAndLenient) {
    std::int32_t v = 0;
    EXPECT_TRUE(ParseInt32("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(ParseInt32("+5", v));
    EXPECT_EQ(v, 5);
    for (const char* bad : {"", "+", "-", "1 ", " 1", "0x10", "2147483648", "1e3", "+-1"}) {
        EXPECT_FALSE(ParseInt32(bad, v)) << bad;
    }
    EXPECT_EQ(LeadingInteger("  42abc"), 42);
    EXPECT_EQ(LeadingInteger("-7"), -7);
    EXPECT_EQ(LeadingInteger("abc"), 0);
}

TEST(SessionsTest, CookieHeaderAndTokens) {
    EXPECT_EQ(SessionTokenFromCookies("a=1; ZSESSION=abc; b=2"), "abc");
    EXPECT_EQ(SessionTokenFromCookies("ZSESSION=xyz"), "xyz");
    EXPECT_EQ(SessionTokenFromCookies("XZSESSION=abc"), "");
    EXPECT_EQ(SessionTokenFromCookies(""), "");
}

TEST(SessionsTest, BoundedPerUserAndNeverTakenFromOthers) {
    SessionTable table(std::chrono::hours(1), 3, 2);
    const auto first = table.Create(1, 10);
    const auto second = table.Create(1, 20);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size(), 32U);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(table.Find(*second)->logon_rev, 20);
    // A user's oldest session gives way to their newest, even one they used last.
    ASSERT_TRUE(table.Find(*first).has_value());
    const auto third = table.Create(1, 30);
    ASSERT_TRUE(third.has_value());
    EXPECT_FALSE(table.Find(*first).has_value());
    EXPECT_TRUE(table.Find(*second).has_value());
    // Full of live sessions: a newcomer is refused and pushes out nobody else's.
    const auto other = table.Create(2, 40);
    ASSERT_TRUE(other.has_value());
    EXPECT_FALSE(table.Create(3, 50).has_value());
    EXPECT_EQ(table.size(), 3U);
    for (const auto& token : {*second, *third, *other}) EXPECT_TRUE(table.Find(token).has_value());
    // A user already holding a session still logs on, in the place of their oldest.
    const auto again = table.Create(2, 60);
    ASSERT_TRUE(again.has_value());
    EXPECT_FALSE(table.Find(*other).has_value());
    EXPECT_EQ(table.size(), 3U);
    EXPECT_FALSE(table.Find("").has_value());
}

TEST(SessionsTest, IdleSessionsExpire) {
    SessionTable table(std::chrono::seconds(0), 10);
    const auto token = table.Create(1, 1);
    ASSERT_TRUE(token.has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(table.Find(*token).has_value());
}

}  // namespace
