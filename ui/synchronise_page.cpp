#include "ui/synchronise_page.h"

#include <QPainter>
#include <QPushButton>

#include "engine/session.h"
#include "engine/text_ids.h"
#include "ui/busy.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/message_box.h"
#include "ui/sync_status.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {


struct Place {
    int x, y, width, height;
};
// The page's template, in dialog units.
constexpr Place kTitle{15, 8, 114, 18};
constexpr Place kDeviceHeading{19, 42, 150, 18};
constexpr Place kPcHeading{227, 42, 150, 18};
constexpr Place kDeviceBox{15, 72, 192, 100};
constexpr Place kPcBox{226, 72, 192, 100};
constexpr Place kSynchroniseButton{26, 183, 89, 26};
constexpr Place kRefreshButton{326, 185, 89, 26};

QRect At(Place p) { return ui::DluRect(p.x, p.y, p.width, p.height); }

void SetBox(CTransparentStatic* box, const std::string& text) { box->setText(ui::FromOutside(text)); }

}  // namespace

CSynchronise::CSynchronise(QWidget* parent, engine::Session& session)
    : CPage(parent),
      session_(session),
      title_(ui::MakeTitle(this, At(kTitle))),
      deviceHeading_(ui::MakeTitle(this, At(kDeviceHeading))),
      pcHeading_(ui::MakeTitle(this, At(kPcHeading))),
      deviceBox_(ui::MakeSunkenText(this, At(kDeviceBox))),
      pcBox_(ui::MakeSunkenText(this, At(kPcBox))),
      synchronise_(ui::MakeButton(this, At(kSynchroniseButton))),
      refresh_(ui::MakeButton(this, At(kRefreshButton))) {
    title_->setText(ui::FromOutside(ui::Text(engine::text::kSynchronise)));
    deviceHeading_->setText(ui::FromOutside(ui::Text(engine::text::kDeviceHeading)));
    pcHeading_->setText(ui::FromOutside(ui::Text(engine::text::kPcHeading)));
    synchronise_->setText(ui::FromOutside(ui::Text(engine::text::kSynchroniseButton)));
    refresh_->setText(ui::FromOutside(ui::Text(engine::text::kRefreshButton)));
    connect(synchronise_, &QPushButton::clicked, this, [this] {
        if (!ui::IsBusy()) SynchroniseWithServer();
    });
    connect(refresh_, &QPushButton::clicked, this, [this] {
        if (!ui::IsBusy()) RefreshDeviceAndServerInfo(false);
    });
    // The first refresh waits until the main window is up.
    QMetaObject::invokeMethod(this, "InitialRefresh", Qt::QueuedConnection);
}

CSynchronise::~CSynchronise() = default;

void CSynchronise::paintEvent(QPaintEvent* event) {
    CPage::paintEvent(event);
    // The buttons stand on red; their faces stay the platform's.
    QPainter painter(this);
    for (const QPushButton* button : {synchronise_, refresh_}) painter.fillRect(button->geometry(), QColor(255, 0, 0));
}

void CSynchronise::RefreshDeviceAndServerInfo(bool initial) {
    const platform::StringTable& texts = ui::Texts();
    CSyncStatus progress;
    progress.SetStep(texts.Text(engine::text::kRetrievingDeviceInfo));
    progress.SetTitle(initial ? texts.Text(engine::text::kStartupTitle) : std::string());
    progress.Show();

    engine::DeviceSummary device;
    bool registered = false;
    engine::ServiceSummary service;
    ui::ProgressBeside beside(progress);  // the copies' bar; the lines are set above
    ui::RunBeside([&] {
        device = session_.QueryDeviceSummary(&beside);
        if (!device.connected) return;
        registered = session_.registration_complete();
        // A service that did not answer says so in the summary's texts.
        if (registered) (void)session_.QueryServiceSummary(service);
    });

    if (!device.connected) {
        SetBox(deviceBox_, texts.Text(engine::text::kDeviceNotConnected));
        synchronise_->setEnabled(false);
        return;
    }
    SetBox(deviceBox_, device.text);
    if (!device.read) synchronise_->setEnabled(false);
    if (!registered) return;
    if (!service.answered) {
        SetBox(pcBox_, service.pcText);
        synchronise_->setEnabled(false);
    } else if (service.fullRetrievalDue) {
        SetBox(deviceBox_, service.deviceText);
        synchronise_->setEnabled(true);
    } else {
        SetBox(pcBox_, service.pcText);
        synchronise_->setEnabled(true);
    }
}

void CSynchronise::SynchroniseWithServer() {
    if (!session_.registration_complete()) return;
    engine::DeviceSyncResult result;
    {
        CSyncStatus window;
        ui::ProgressBeside progress(window);
        ui::MessageBoxSink boxes;
        ui::MessagesBeside messages(boxes);
        ui::InformationDialogs dialogs;
        ui::InformationBeside information(dialogs);
        // Its failures have been shown through the message boxes.
        ui::RunBeside([&] { (void)session_.Synchronise(progress, messages, information, result); });
    }
    // Without a device or without its reports nothing happened, and nothing is said.
    if (result.reportsCopied) RefreshDeviceAndServerInfo(false);
}
