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

// A text from outside (the service, a language pack) for the screen: UTF-8 when it is valid
// UTF-8, else taken as Latin-1 byte for byte, so no text turns into replacement marks.
QString FromOutside(const std::string& text);

}  // namespace ui
