// Draws every window of the tool in one language into PNG files, with real peers behind them
// (the reference service and an emulated device on loopback), so that what a user sees can be
// looked at: scripts/screenshots runs it under Xvfb for each language.
//   ui_screenshots <locale> <output folder>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "device/device_link.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "service/camera_record.h"
#include "tests/devicekit/running_agent.h"
#include "tests/ui/peers.h"
#include "tests/ui/session_on.h"
#include "ui/info_pages.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/settings_pages.h"
#include "ui/sync_status.h"
#include "ui/synchronise_page.h"
#include "ui/texts.h"

namespace {

std::string out;
std::string locale;

void Save(QWidget& window, const char* name) {
    QCoreApplication::processEvents();
    const std::string path = out + "/" + locale + "-" + name + ".png";
    if (!window.grab().save(QString::fromStdString(path))) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

// Photographs the next modal window, then closes it with its first button.
void ShootModal(const char* name) {
    QTimer::singleShot(300, [name] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return ShootModal(name);
        Save(*modal, name);
        if (auto* info = qobject_cast<CVyoInfo*>(modal)) return info->button()->click();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->buttons().front()->click();
        if (auto* dialog = qobject_cast<CDialogSK*>(modal)) dialog->done(2);
    });
}

std::string Reports() {
    std::string bytes;
    for (int i = 0; i < 3; ++i) {
        char record[80] = {};
        const std::int32_t fields[] = {48100000 + i * 50000, 11500000, 3, 0, 90};
        std::memcpy(record, fields, sizeof fields);
        bytes.append(record, sizeof record);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::SetSettingsListPause(0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ui_screenshots LOCALE FOLDER\n");
        return 2;
    }
    locale = argv[1];
    out = argv[2];
    std::filesystem::create_directories(out);

    uitest::LoopbackService service;
    testsupport::RunningAgent agent(true);
    testsupport::TempDir work;
    setenv("ZARNIK_SETTINGS", work.file("settings.reg").c_str(), 1);
    service.AddUser();
    for (int i = 0; i < 40; ++i) service.AddOfficial(48000000 + i * 20000, 11000000 + i * 30000);
    platform::Registration who;
    platform::MakeRegistration(uitest::kName.c_str(), uitest::kSerial.c_str(), uitest::kEmail.c_str(), who);
    platform::SaveRegistration(who, locale.c_str(), 2);
    testsupport::WriteWholeFile(agent.file(std::string(testsupport::kPoisFolder) + "/poiupdates.upd"), Reports());

    platform::StringTable texts;
    texts.Load(platform::LanguagePackFolder(), locale);
    ui::SetTexts(&texts);
    const auto session = uitest::SessionOn(work.path());
    session->LoadSettings();
    session->ChooseLanguage(locale);
    session->device_link().LoadProfile(2);
    session->device_link().SetDeviceAddress(agent.address());
    session->UseServiceAddress(service.baseUrl());

    {
        CSyncStatus progress;
        progress.Show();
        progress.SetTitle(texts.Text(126));
        progress.SetStep(texts.Text(147));
        Save(progress, "progress");
    }
    {
        CVyoInfo info;
        ShootModal("alert");
        info.ShowInfo(texts.Text(172), texts.Text(128), texts.Text(175));
    }
    ShootModal("question");
    TranslatedMessageBox(nullptr, texts.Text(162), "", kMbYesNo | kMbIconQuestion);
    {
        ISettings first(*session);
        ShootModal("first-run-settings");
        first.Run();
    }

    // Two messages of the service, as start-up stores them.
    std::string cache;
    for (const char* text : {"Welcome to Zarnik. 40 fixed cameras on the A2 were checked this week.",
                             "Mobile cameras are announced for the weekend around Munich."}) {
        service::InfoRecord record{};
        record.identifier = static_cast<std::int32_t>(cache.size() / sizeof record) + 1;
        std::snprintf(record.text, sizeof record.text, "%s", text);
        cache.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    testsupport::WriteWholeFile(work.file("info.cache"), cache);

    CTabDialog window(*session);
    window.show();
    QCoreApplication::processEvents();
    Save(window, "synchronize-before");
    const char* pages[] = {"synchronize", "device", "about", "settings", "information"};
    for (int page : {1, 3, 4, 2}) {
        window.SelectPage(page);
        QTest::qWait(50);  // pages fill their lists once shown
        Save(window, pages[page]);
    }
    window.SelectPage(0);
    ShootModal("summary");
    window.synchronisePage()->SynchroniseWithServer();
    Save(window, "synchronize-after");
    ui::SetTexts(nullptr);
    return 0;
}
