#pragma once
#include <string>

namespace platform {
class StringTable;
}

namespace ui {

// The string table of the interface language, program-wide like the old resource module.
// Before start-up loads a language (and after SetTexts(nullptr)) the texts are English.
const platform::StringTable& Texts();
// The program's English, whatever language is loaded (the first-run dialog speaks it).
const platform::StringTable& EnglishTexts();
void SetTexts(const platform::StringTable* table);
std::string Text(unsigned id);

}  // namespace ui

#include <QString>

namespace ui {

// A text from outside (the service, a language pack) for the screen, read by the one rule of
// platform::ReadableUtf8, so no text turns into replacement marks.
QString FromOutside(const std::string& text);

}  // namespace ui
