#include "ui/fonts.h"

#include <QStringList>

namespace ui {
namespace {

QFont SansFont(int pixels) {
    QFont font;
    // Liberation Sans has the classic face's metrics, so texts break where the templates expect.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

QFont TitleFont() { return SansFont(16); }
QFont TemplateFont() { return SansFont(11); }

}  // namespace ui
