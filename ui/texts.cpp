#include "ui/texts.h"

#include "engine/session.h"

namespace ui {
namespace {

const platform::StringTable* current = nullptr;

}  // namespace

const platform::StringTable& EnglishTexts() { return engine::Session::EnglishTexts(); }
const platform::StringTable& Texts() { return current != nullptr ? *current : EnglishTexts(); }
void SetTexts(const platform::StringTable* table) { current = table; }
std::string Text(unsigned id) { return Texts().Text(id); }

QString FromOutside(const std::string& text) {
    const std::string readable = platform::ReadableUtf8(text);
    return QString::fromUtf8(readable.data(), static_cast<qsizetype>(readable.size()));
}

}  // namespace ui
