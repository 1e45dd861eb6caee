// Checks of the language packs and help pages shipped in resources/: every pack loads whole,
// each text fits the buffer the program loads it into, and no translation can change what a
// formatter reads. The check that labels fit their rectangles needs fonts and lives with the window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/string_table.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string Resources() {
    const char* src = std::getenv("ZARNIK_SOURCE_DIR");
    return std::string(src ? src : ".") + "/resources";
}

// The locales of the Settings page's language list, with the help page each one opens.
const struct {
    const char* locale;
    const char* help;
} kLanguages[] = {
    {"1033", "english"}, {"1029", "english"}, {"1030", "english"}, {"1043", "dutch"},   {"1036", "french"},
    {"1031", "german"},  {"1032", "english"}, {"1040", "italian"}, {"1044", "english"}, {"1045", "english"},
    {"1046", "english"}, {"3082", "spanish"}, {"1055", "english"},
};

// The buffers the program loads these texts into hold one byte more (the terminator).
size_t ByteLimit(unsigned id) {
    if (id == 118 || id == 181) return 99;
    if (id == 153) return 49;
    if (id == 176) return 1023;
    if (id >= 129 && id <= 143) return 255;
    return 2047;
}

size_t LineBreaks(const std::string& text) {
    size_t count = 0;
    for (const char c : text) count += c == '\n';
    return count;
}

TEST(LanguagePacks, EveryLanguageOfTheListHasExactlyOnePack) {
    std::set<std::string> expected;
    for (const auto& language : kLanguages) expected.insert(std::string(language.locale) + ".txt");
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(Resources() + "/lang")) {
        if (entry.path().extension() == ".txt") found.insert(entry.path().filename().string());
    }
    EXPECT_EQ(found, expected);
}

TEST(LanguagePacks, EveryPackIsWholeAndSafeInTheProgramsBuffers) {
    const std::string folder = Resources() + "/lang";
    const auto english = platform::ParseStringPack(testsupport::ReadWholeFile(folder + "/1033.txt"));
    for (const auto& language : kLanguages) {
        const std::string name = std::string(language.locale) + ".txt";
        SCOPED_TRACE(name);
        const std::string contents = testsupport::ReadWholeFile(folder + "/" + name);
        if (contents.empty()) {
            ADD_FAILURE() << "no pack";
            continue;
        }
        EXPECT_TRUE(platform::IsValidUtf8(contents));

        // Raw lines: the parser skips what it cannot read, so a malformed or repeated line
        // would otherwise go unnoticed.
        std::map<unsigned, int> seen;
        size_t start = 0;
        while (start < contents.size()) {
            size_t end = contents.find('\n', start);
            if (end == std::string::npos) end = contents.size();
            const std::string line = contents.substr(start, end - start);
            start = end + 1;
            if (line.empty() || line[0] == '#') continue;
            const size_t tab = line.find('\t');
            ASSERT_EQ(tab, 3U) << line;
            const unsigned id = static_cast<unsigned>(std::stoul(line.substr(0, tab)));
            ++seen[id];
            for (size_t i = tab + 1; i < line.size(); ++i) {
                if (line[i] != '\\') continue;
                ASSERT_LT(i + 1, line.size()) << "id " << id << ": a backslash ends the line";
                EXPECT_NE(std::string("nt\\").find(line[i + 1]), std::string::npos) << "id " << id << ": unknown escape";
                ++i;
            }
        }
        for (unsigned id = platform::kFirstStringId; id <= platform::kLastStringId; ++id) {
            EXPECT_EQ(seen[id], 1) << "id " << id;
        }
        EXPECT_EQ(seen.size(), platform::kLastStringId - platform::kFirstStringId + 1);

        const auto texts = platform::ParseStringPack(contents);
        platform::StringTable table;
        table.Load(folder, language.locale);
        for (const auto& [id, text] : texts) {
            const std::string& reference = english.at(id);
            EXPECT_EQ(platform::PrintfConversions(text), platform::PrintfConversions(reference)) << "id " << id;
            EXPECT_EQ(LineBreaks(text), LineBreaks(reference)) << "id " << id;
            EXPECT_LE(text.size(), ByteLimit(id)) << "id " << id;
            EXPECT_FALSE(text.empty()) << "id " << id;
            EXPECT_EQ(table.Text(id), text) << "id " << id << " gave way to English when loaded";
            // Any buffer, however short, receives whole characters only.
            std::vector<char> buffer(text.size() + 2);
            for (size_t size = 1; size <= buffer.size(); ++size) {
                table.LoadString(id, buffer.data(), static_cast<int>(size));
                ASSERT_TRUE(platform::IsValidUtf8(buffer.data())) << "id " << id << " in " << size << " bytes";
            }
        }
    }
}

// Each help page opens without the network and names the messages of its own language as the
// program shows them, so a user can find the one on the screen.
TEST(HelpPages, EachHelpNameHasAPageThatQuotesItsLanguagesMessages) {
    const std::string folder = Resources() + "/help";
    ASSERT_TRUE(fs::exists(folder + "/zarnik-help.css"));
    const unsigned quoted[] = {118, 122, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143,
                               160, 165, 167, 168, 169, 176, 179, 181};
    std::set<std::string> pages;
    for (const auto& language : kLanguages) {
        if (!pages.insert(language.help).second) continue;
        const std::string name = std::string(language.help) + ".html";
        SCOPED_TRACE(name);
        const std::string page = testsupport::ReadWholeFile(folder + "/" + name);
        ASSERT_FALSE(page.empty());
        EXPECT_TRUE(platform::IsValidUtf8(page));
        EXPECT_NE(page.find("href=\"zarnik-help.css\""), std::string::npos);
        for (const char* banned : {"<script", "://", "src=", ".\\", "@import"}) {
            EXPECT_EQ(page.find(banned), std::string::npos) << banned;
        }
        const std::string locale = language.help == std::string("english") ? "1033" : language.locale;
        const auto texts = platform::ParseStringPack(testsupport::ReadWholeFile(Resources() + "/lang/" + locale + ".txt"));
        for (const unsigned id : quoted) EXPECT_NE(page.find(texts.at(id)), std::string::npos) << "id " << id;
    }
    EXPECT_EQ(pages.size(), 6U);
}

}  // namespace
