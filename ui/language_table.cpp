#include "ui/language_table.h"

#include <QProcess>
#include <QString>
#include <cstdlib>

#include "engine/session.h"

namespace ui {

int LanguageIndex(const std::string& locale) {
    for (std::size_t i = 0; i < kLanguageTable.size(); ++i)
        if (locale == kLanguageTable[i].locale) return static_cast<int>(i);
    return -1;
}

std::string HelpPagePath(const std::string& locale) {
    const int index = LanguageIndex(locale);
    const char* help = index >= 0 ? kLanguageTable[static_cast<std::size_t>(index)].help : kLanguageTable[0].help;
    return engine::Session::ResourceFolder() + "/help/" + help + ".html";
}

bool OpenWithDesktop(const std::string& argument) {
    const char* opener = std::getenv("ZARNIK_OPENER");
    const QString program = opener != nullptr && *opener != '\0' ? QString::fromLocal8Bit(opener) : QStringLiteral("xdg-open");
    return QProcess::startDetached(program, {QString::fromStdString(argument)});
}

}  // namespace ui
