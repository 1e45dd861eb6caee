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

}  // namespace ui

#include <QStringDecoder>

namespace ui {

QString FromOutside(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace ui
