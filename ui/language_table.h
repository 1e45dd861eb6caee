#pragma once
#include <array>
#include <string>

namespace ui {

// The interface languages, in the order the language lists show them. The locale code is the
// stored "Language" value and the name of the language pack; the help name picks the help page
// (<data>/help/<help>.html). Languages without help of their own use the English page.
struct LanguageEntry {
    const char* displayName;
    const char* locale;
    const char* help;
};

inline constexpr std::array<LanguageEntry, 13> kLanguageTable{{
    {"English", "1033", "english"},
    {"Czech", "1029", "english"},
    {"Dansk", "1030", "english"},
    {"Nederlands", "1043", "dutch"},
    {"Francais", "1036", "french"},
    {"Deutsch", "1031", "german"},
    {"Greek", "1032", "english"},
    {"Italiano", "1040", "italian"},
    {"Norsk", "1044", "english"},
    {"Polski", "1045", "english"},
    {"Portugues", "1046", "english"},
    {"Espanol", "3082", "spanish"},
    {"Turkce", "1055", "english"},
}};

// Index of the entry for locale, or -1.
int LanguageIndex(const std::string& locale);
// The help page of a locale: its entry's page, or English's for a locale not in the table.
std::string HelpPagePath(const std::string& locale);

// Opens a help page or an address with the desktop's opener (xdg-open, or the program named
// by ZARNIK_OPENER), as one argument and without a shell. False when nothing could be started;
// the caller says nothing, as a missing help viewer is no error of the tool.
bool OpenWithDesktop(const std::string& argument);

}  // namespace ui
