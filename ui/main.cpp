#include <QApplication>
#include <cstdio>
#include <string>

#include "engine/session.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zarnik"));
    QApplication::setApplicationVersion(QStringLiteral(ZARNIK_VERSION));
    // Start-up is a chain of modal windows: closing one must not end the tool.
    QApplication::setQuitOnLastWindowClosed(false);

    engine::Session session;
    engine::Outcome ready = engine::Session::SettingsStorePlace();
    if (ready.ok()) ready = session.OpenWorkingFolder(engine::Session::FolderUse::kCreate);
    if (!ready.ok()) {
        std::fprintf(stderr, "zarnik: %s\n", ready.message().c_str());
        return 1;
    }
    return ui::RunApplication(session);
}
