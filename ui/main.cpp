#include <QApplication>
#include <cstdio>
#include <filesystem>
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
    if (!platform::DefaultWorkFolderPath(folder, problem)) {
        std::fprintf(stderr, "zarnik: %s\n", problem.c_str());
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "zarnik: cannot create the working folder %s: %s\n", folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    return ui::RunApplication(platform::WorkFolder(folder));
}
