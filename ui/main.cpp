#include <QApplication>
#include <cstdio>
#include <string>

#include "platform/user_folders.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zarnik"));
    QApplication::setApplicationVersion(QStringLiteral(ZARNIK_VERSION));
    // Start-up is a chain of modal windows: closing one must not end the tool.
    QApplication::setQuitOnLastWindowClosed(false);

    std::string problem = platform::SettingsStoreLocationProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "zarnik: %s\n", problem.c_str());
        return 1;
    }
    std::string folder;
    if (!platform::CreateDefaultWorkFolder(folder, problem)) {
        std::fprintf(stderr, "zarnik: %s\n", problem.c_str());
        return 1;
    }
    return ui::RunApplication(platform::WorkFolder(folder));
}
