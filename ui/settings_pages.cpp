#include "ui/settings_pages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <array>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/session.h"
#include "engine/text_ids.h"
#include "ui/busy.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/language_table.h"
#include "ui/message_box.h"
#include "ui/texts.h"
#include "ui/transparent_static.h"

namespace {

const QColor kPureGreen(0, 255, 0);
constexpr int kFirstRunBitmap = 157;
namespace text = engine::text;

// The stored texts are 255 bytes of UTF-8 and a terminator.
constexpr int kStoredTextBytes = static_cast<int>(platform::kSettingsTextSize) - 1;

int listPause = 200;

// Where everything stands, in dialog units. The first-run dialog is 445 x 231: its picture
// carries the help badge at 358,10 (73 x 28) and a light ground for black text from 8,8 to
// 348,213, so the title, notice and labels stay inside that. The page is 457 x 245 and sits at
// 0,42 of the main window; both titles stand at 15,8 like every page's. Labels are wide enough
// for the German texts at the template font, and the notices wrap within their boxes.
struct Place {
    int x, y, width, height;
};
enum Slot : std::size_t {
    kTitle,
    kNotice,
    kNameLabel,
    kNameEdit,
    kSerialLabel,
    kSerialEdit,
    kEmailLabel,
    kEmailEdit,
    kLanguageLabel,
    kLanguageList,
    kDeviceLabel,
    kDeviceList,
    kAddressLabel,
    kAddressEdit,
    kOkOrTest,  // OK in the first-run dialog, Test connection on the page
    kExit,      // first-run dialog only
    kHelp,      // first-run dialog only: the invisible hotspot over the picture's badge
    kSlotCount,
};
struct LayoutRow {
    Slot slot;
    Place firstRun;
    Place page;
};
constexpr LayoutRow kLayout[] = {
    {kTitle, {15, 8, 150, 18}, {15, 8, 150, 18}},
    {kNotice, {20, 42, 325, 32}, {20, 34, 417, 34}},
    {kNameLabel, {20, 78, 110, 14}, {20, 76, 120, 14}},
    {kNameEdit, {135, 78, 220, 14}, {145, 76, 230, 14}},
    {kSerialLabel, {20, 98, 110, 14}, {20, 96, 120, 14}},
    {kSerialEdit, {135, 98, 220, 14}, {145, 96, 230, 14}},
    {kEmailLabel, {20, 118, 110, 14}, {20, 116, 120, 14}},
    {kEmailEdit, {135, 118, 220, 14}, {145, 116, 230, 14}},
    {kLanguageLabel, {20, 138, 110, 14}, {20, 136, 120, 14}},
    {kLanguageList, {135, 138, 220, 14}, {145, 136, 230, 14}},
    {kDeviceLabel, {20, 158, 110, 14}, {20, 156, 120, 14}},
    {kDeviceList, {135, 158, 220, 14}, {145, 156, 230, 14}},
    {kAddressLabel, {20, 178, 110, 14}, {20, 176, 120, 14}},
    {kAddressEdit, {135, 178, 220, 14}, {145, 176, 230, 14}},
    {kOkOrTest, {290, 196, 60, 20}, {145, 198, 100, 20}},
    {kExit, {365, 196, 60, 20}, {0, 0, 0, 0}},
    {kHelp, {358, 10, 73, 28}, {0, 0, 0, 0}},
};
static_assert(std::size(kLayout) == kSlotCount);

enum class Window { kFirstRun, kPage };

constexpr Place PlaceOf(Window window, Slot slot) {
    return window == Window::kFirstRun ? kLayout[slot].firstRun : kLayout[slot].page;
}

QRect Where(Window window, Slot slot) {
    const Place p = PlaceOf(window, slot);
    return ui::DluRect(p.x, p.y, p.width, p.height);
}

int Utf8Size(const QString& text) { return static_cast<int>(text.toUtf8().size()); }

// The longest start of text that is at most limit bytes of UTF-8, never half a character.
QString CutToBytes(const QString& text, int limit) {
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const int size = pair ? 4 : c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3;
        if (bytes + size > limit) break;
        bytes += size;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

// A change (typing, pasting, replacing a selection) that makes a field longer than the store
// takes keeps as much of what came in as fits, cut between characters; the rest of the field
// stays as it was. Gives the fitted text and where the cursor goes.
QString FitChange(const QString& before, const QString& after, int& cursor) {
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
    if (head > 0 && after[head - 1].isHighSurrogate()) --head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (tail > 0 && after[after.size() - tail].isLowSurrogate()) --tail;
    const QString inserted = after.mid(head, after.size() - head - tail);
    const int budget = kStoredTextBytes - Utf8Size(after.left(head)) - Utf8Size(after.right(tail));
    if (budget < 0) {  // the field was already too long (put there by the program): cut the end
        QString cut = CutToBytes(after, kStoredTextBytes);
        cursor = static_cast<int>(cut.size());
        return cut;
    }
    const QString kept = CutToBytes(inserted, budget);
    cursor = static_cast<int>(head + kept.size());
    return after.left(head) + kept + after.right(tail);
}

void LimitToStoredBytes(QLineEdit* edit) {
    auto previous = std::make_shared<QString>(edit->text());
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, previous](const QString& text) {
        if (Utf8Size(text) <= kStoredTextBytes) {
            *previous = text;
            return;
        }
        int cursor = 0;
        *previous = FitChange(*previous, text, cursor);
        const QSignalBlocker quiet(edit);
        edit->setText(*previous);
        edit->setCursorPosition(cursor);
    });
}

std::string Utf8Of(const QLineEdit* edit) { return edit->text().toUtf8().toStdString(); }

// Beside the window: an unreachable service takes the connection's whole timeout.
engine::Outcome CheckLogon(engine::Session& session, const platform::Registration& who, const std::string& folder) {
    engine::Outcome logon;
    ui::RunBeside([&] { logon = session.TestLogon(who, folder); });
    return logon;
}

// The message, and under it what went wrong underneath when that is known.
std::string WithCause(const engine::Outcome& outcome) {
    return outcome.cause().empty() ? outcome.message() : outcome.message() + "\n" + outcome.cause();
}

CTransparentStatic* Label(QWidget* owner, Window window, Slot slot, const std::string& text) {
    auto* label = new CTransparentStatic(owner);
    label->setGeometry(Where(window, slot));
    label->SetTextColour(Qt::black);
    label->setText(ui::FromOutside(text));
    return label;
}

QPushButton* Button(QWidget* owner, Window window, Slot slot, const std::string& text) {
    // Enter in a field must not press a button.
    return ui::MakeButton(owner, Where(window, slot), ui::FromOutside(text));
}

}  // namespace

namespace ui {

void SetSettingsListPause(int milliseconds) { listPause = milliseconds; }

struct SettingsForm {
    // The texts beside the fields, in the dialog's language.
    struct Texts {
        std::string title, notice, name, serial, email, language, device, address;
    };

    SettingsForm(QWidget* owner, Window window, const Texts& texts, engine::Session& work);

    // The three texts as stored (UTF-8); false when one of them is empty.
    bool Take(platform::Registration& who) const;
    // The locale of the chosen language, or the one stored when nothing is chosen, so that a
    // save never writes a language nobody chose.
    std::string ChosenLocale() const;
    // The chosen model, or 0 when the list is empty (never "no model": that loads no profile).
    std::uint32_t ChosenDevice() const;
    // The service folder as typed, without blanks around it; empty: the built-in address.
    std::string Folder() const;
    // False, after telling the user why, for a service folder the store would refuse.
    bool CheckFolder() const;
    // Stores the values; false, after telling the user, when the store refused them.
    bool Store(const platform::Registration& who) const;

    void FillListsOnce();
    void FillLater(QWidget* owner);

    engine::Session& session;
    CTransparentStatic* title;
    CTransparentStatic* notice;
    QLineEdit* name;
    QLineEdit* serial;
    QLineEdit* email;
    QComboBox* language;
    QComboBox* device;
    QLineEdit* address;
    std::vector<CTransparentStatic*> labels;
    std::string storedLanguage = platform::kEnglishLocale;
    bool filled = false;
};

SettingsForm::SettingsForm(QWidget* owner, Window window, const Texts& texts, engine::Session& work)
    : session(work),
      title(Label(owner, window, kTitle, texts.title)),
      notice(Label(owner, window, kNotice, texts.notice)),
      name(new QLineEdit(owner)),
      serial(new QLineEdit(owner)),
      email(new QLineEdit(owner)),
      language(new QComboBox(owner)),
      device(new QComboBox(owner)),
      address(new QLineEdit(owner)) {
    title->setFont(TitleFont());
    const std::array<std::pair<Slot, const std::string*>, 6> beside{{
        {kNameLabel, &texts.name},
        {kSerialLabel, &texts.serial},
        {kEmailLabel, &texts.email},
        {kLanguageLabel, &texts.language},
        {kDeviceLabel, &texts.device},
        {kAddressLabel, &texts.address},
    }};
    for (const auto& [slot, text] : beside) {
        CTransparentStatic* label = Label(owner, window, slot, *text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        labels.push_back(label);
    }
    const std::array<std::pair<QLineEdit*, Slot>, 4> edits{
        {{name, kNameEdit}, {serial, kSerialEdit}, {email, kEmailEdit}, {address, kAddressEdit}}};
    for (const auto& [edit, slot] : edits) {
        edit->setGeometry(Where(window, slot));
        edit->setFont(TemplateFont());
        LimitToStoredBytes(edit);
    }
    for (const auto& [list, slot] : {std::pair{language, kLanguageList}, std::pair{device, kDeviceList}}) {
        list->setGeometry(Where(window, slot));
        list->setFont(TemplateFont());
    }

    // What is stored now, whoever stored it.
    session.TakeSettingsSnapshot();
    const platform::StoredSettings& stored = session.settings();
    if (stored.keyExists) {
        name->setText(FromOutside(stored.registration.registrar));
        serial->setText(FromOutside(stored.registration.serial));
        email->setText(FromOutside(stored.registration.email));
        address->setText(QString::fromUtf8(stored.url));
        storedLanguage = stored.language;
    }
    // Empty asks the built-in folder: it is shown, greyed, as what an empty field means.
    address->setPlaceholderText(QString::fromUtf8(engine::kDefaultServerAddressFolder));
}

std::string SettingsForm::Folder() const { return address->text().trimmed().toUtf8().toStdString(); }

bool SettingsForm::CheckFolder() const {
    const engine::Outcome refused = engine::Session::CheckServiceFolder("the service address", Folder());
    if (Folder().empty() || refused.ok()) return true;
    TranslatedMessageBox(nullptr, platform::FormatText(Text(text::kSettingsNotSaved), {refused.message()}, {}),
                         Text(text::kErrorCaption), kMbOk);
    return false;
}

bool SettingsForm::Take(platform::Registration& who) const {
    const std::string registrar = Utf8Of(name);
    const std::string serialText = Utf8Of(serial);
    const std::string emailText = Utf8Of(email);
    if (registrar.empty() || serialText.empty() || emailText.empty()) return false;
    // The fields never hold more than the store takes, so this always fits.
    return platform::MakeRegistration(registrar.c_str(), serialText.c_str(), emailText.c_str(), who);
}

std::string SettingsForm::ChosenLocale() const {
    const int index = language->currentIndex() >= 0 ? language->currentData().toInt() : -1;
    if (index < 0 || index >= static_cast<int>(kLanguageTable.size())) return storedLanguage;
    return kLanguageTable[static_cast<std::size_t>(index)].locale;
}

std::uint32_t SettingsForm::ChosenDevice() const {
    return device->currentIndex() >= 0 ? static_cast<std::uint32_t>(device->currentIndex()) : 0;
}

bool SettingsForm::Store(const platform::Registration& who) const {
    engine::Outcome stored = session.StoreRegistration(who, ChosenLocale(), ChosenDevice());
    if (stored.ok()) stored = session.StoreServiceFolder(Folder());
    if (stored.ok()) return true;
    // The sentence is the user's language; the cause underneath is the store's own account.
    const std::string& cause = stored.cause().empty() ? stored.message() : stored.cause();
    TranslatedMessageBox(nullptr, platform::FormatText(Text(text::kSettingsNotSaved), {cause}, {}),
                         Text(text::kErrorCaption), kMbOk);
    return false;
}

void SettingsForm::FillListsOnce() {
    if (filled) return;
    filled = true;

    language->clear();
    for (std::size_t i = 0; i < kLanguageTable.size(); ++i) {
        const LanguageEntry& entry = kLanguageTable[i];
        if (!engine::Session::HasLanguagePack(entry.locale)) continue;
        language->addItem(QString::fromLatin1(entry.displayName), static_cast<int>(i));
        if (storedLanguage == entry.locale) language->setCurrentIndex(language->count() - 1);
    }
    if (language->currentIndex() < 0 && language->count() > 0) language->setCurrentIndex(0);

    // The same reader as the profile's, so a list position is the profile's index. Without
    // devices.ini the list stays empty.
    device->clear();
    std::vector<device::DeviceModel> models;
    (void)session.DeviceModels(models);
    for (const device::DeviceModel& model : models) device->addItem(FromOutside(model.name));
    const platform::StoredSettings& stored = session.settings();
    const std::uint32_t chosen = stored.deviceSet && stored.device < models.size() ? stored.device : 0;
    if (!models.empty()) device->setCurrentIndex(static_cast<int>(chosen));
}

void SettingsForm::FillLater(QWidget* owner) {
    // The pause starts once the owner's construction is over and the window is up.
    auto* pause = new QTimer(owner);
    pause->setSingleShot(true);
    pause->setInterval(listPause);
    QObject::connect(pause, &QTimer::timeout, owner, [this] { FillListsOnce(); });
    QMetaObject::invokeMethod(pause, "start", Qt::QueuedConnection);
}

}  // namespace ui

// ---- ISettings

ISettings::ISettings(engine::Session& session)
    : session_(session),
      form_(std::make_unique<ui::SettingsForm>(
          this, Window::kFirstRun,
          ui::SettingsForm::Texts{"Settings", ui::EnglishTexts().Text(text::kRegistrationNotice), "Registration name :",
                                  "Device serial :", "Email Address :", "Select language gui:", "Select device:",
                                  ui::EnglishTexts().Text(text::kServiceAddressLabel)},
          session)),
      ok_(Button(this, Window::kFirstRun, kOkOrTest, "OK")),
      exit_(Button(this, Window::kFirstRun, kExit, "Exit")),
      help_(new CClickableStatic(this)) {
    resize(ui::DluSize(445, 231));
    ok_->setFont(ui::TitleFont());
    exit_->setFont(ui::TitleFont());
    help_->setGeometry(Where(Window::kFirstRun, kHelp));
    Skin(kFirstRunBitmap, kPureGreen);
    connect(ok_, &QPushButton::clicked, this, &ISettings::OnOk);
    connect(exit_, &QPushButton::clicked, this, [this] {
        if (!ui::IsBusy()) done(2);
    });
    connect(help_, &CClickableStatic::clicked, this, &ISettings::OnHelp);
    form_->FillLater(this);
}

ISettings::~ISettings() = default;

int ISettings::Run() {
    // The template places the dialog at the desktop's origin, not centred.
    move(0, 0);
    return exec();
}

QLineEdit* ISettings::nameEdit() const { return form_->name; }
QLineEdit* ISettings::serialEdit() const { return form_->serial; }
QLineEdit* ISettings::emailEdit() const { return form_->email; }
QComboBox* ISettings::languageList() const { return form_->language; }
QComboBox* ISettings::deviceList() const { return form_->device; }
QLineEdit* ISettings::addressEdit() const { return form_->address; }
bool ISettings::listsFilled() const { return form_->filled; }

void ISettings::OnOk() {
    if (ui::IsBusy()) return;
    // A save before the lists are filled would store a language and model nobody chose.
    form_->FillListsOnce();
    platform::Registration who;
    if (!form_->Take(who)) {
        TranslatedMessageBox(nullptr, ui::Text(text::kRegistrationIncomplete), ui::Text(text::kErrorCaption), kMbOk);
        return;
    }
    if (!form_->CheckFolder()) return;
    // Nothing is stored unless the service knows these data, at the address typed.
    const engine::Outcome logon = CheckLogon(session_, who, form_->Folder());
    if (!logon.ok()) {
        TranslatedMessageBox(nullptr, WithCause(logon), "", kMbOk);
        return;
    }
    if (!form_->Store(who)) return;
    done(1);
}

void ISettings::OnHelp() {
    if (ui::IsBusy()) return;
    // The help of the language chosen here, not of the stored one.
    const std::string page = ui::HelpPagePath(form_->ChosenLocale());
    std::error_code error;
    if (!std::filesystem::is_regular_file(page, error)) return;
    ui::OpenWithDesktop(page);
}

// ---- CSettings

CSettings::CSettings(QWidget* parent, engine::Session& session)
    : CPage(parent),
      session_(session),
      form_(std::make_unique<ui::SettingsForm>(
          this, Window::kPage,
          ui::SettingsForm::Texts{ui::Text(text::kSettings), ui::Text(text::kRegistrationNotice),
                                  ui::Text(text::kNameLabel), ui::Text(text::kSerialLabel),
                                  ui::Text(text::kEmailLabel), ui::Text(text::kLanguageLabel),
                                  ui::Text(text::kDeviceLabel), ui::Text(text::kServiceAddressLabel)},
          session)),
      test_(Button(this, Window::kPage, kOkOrTest, ui::Text(text::kTestConnectionButton))) {
    // Only the user's typing counts: filling the fields is no change of user.
    for (QLineEdit* edit : {form_->name, form_->serial, form_->email}) {
        connect(edit, &QLineEdit::textEdited, this, [this] { session_.ForgetLocalCache(); });
    }
    // activated, unlike currentIndexChanged, comes only from the user's choice.
    connect(form_->language, &QComboBox::activated, this, &CSettings::OnListChosen);
    connect(form_->device, &QComboBox::activated, this, &CSettings::OnListChosen);
    connect(test_, &QPushButton::clicked, this, &CSettings::OnTestConnection);
    form_->FillLater(this);
}

CSettings::~CSettings() = default;

QLineEdit* CSettings::nameEdit() const { return form_->name; }
QLineEdit* CSettings::serialEdit() const { return form_->serial; }
QLineEdit* CSettings::emailEdit() const { return form_->email; }
QComboBox* CSettings::languageList() const { return form_->language; }
QComboBox* CSettings::deviceList() const { return form_->device; }
QLineEdit* CSettings::addressEdit() const { return form_->address; }
bool CSettings::listsFilled() const { return form_->filled; }

void CSettings::OnListChosen() { TranslatedMessageBox(nullptr, ui::Text(text::kRestartNeeded), "", kMbOk); }

void CSettings::SaveFields() { Save(); }

bool CSettings::Save() {
    // A save before the lists are filled would store a language and model nobody chose.
    form_->FillListsOnce();
    platform::Registration who;
    if (!form_->Take(who)) {
        TranslatedMessageBox(nullptr, ui::Text(text::kRegistrationIncomplete), ui::Text(text::kErrorCaption), kMbOk);
        return false;
    }
    if (!form_->CheckFolder()) return false;
    const std::string folderBefore = session_.settings().url;
    if (!form_->Store(who)) return false;
    // Another service folder counts from now on, not from the next start.
    if (session_.settings().url != folderBefore) ui::RunBeside([this] { session_.ResolveServiceAddress(); });
    // A model devices.ini does not name leaves the device unconnected; the Synchronise page says so.
    if (const engine::Outcome profile = session_.LoadDeviceProfile(); profile.Is(engine::PcFailure::kDevicesIniMissing)) {
        TranslatedMessageBox(nullptr, profile.message(), "Error", kMbOk);
    }
    return true;
}

void CSettings::OnTestConnection() {
    if (ui::IsBusy()) return;
    // Testing the old values after a failed save would report on data the user no longer sees.
    if (!Save()) return;
    const engine::Outcome logon = CheckLogon(session_, session_.registration(), form_->Folder());
    TranslatedMessageBox(nullptr, logon.ok() ? ui::Text(text::kConnectionTestDone) : WithCause(logon), "", kMbOk);
}
