#include "engine/session.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "device/device_link.h"
#include "engine/cached_camera_index.h"
#include "engine/osm_cameras.h"
#include "engine/text_ids.h"
#include "engine/transfer_feedback.h"
#include "platform/folder_lock.h"
#include "platform/internet.h"
#include "platform/output_file.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "platform/resources.h"
#include "platform/user_folders.h"
#include "platform/version.h"
#include "service/cache_file.h"
#include "service/camera_file/reader.h"
#include "service/service_client.h"
#include "osm/camera_reader.h"

namespace engine {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// A store that cannot be read or parsed would be replaced by one holding only the new values.
std::string StoreProblem() {
    std::string problem = platform::SettingsStoreLocationProblem();
    return problem.empty() ? platform::SettingsStoreProblem() : problem;
}

// The web folder that holds the server-address file: plain HTTP to a host, on port 80 (the only
// port requests ever go to), ending in "/" since the file's name is appended to it.
std::string UrlProblem(const std::string& url) {
    if (Lower(url.substr(0, 7)) != "http://") return "the address must begin with http:// (the service speaks plain HTTP)";
    std::string host;
    std::string path;
    std::string why;  // the refusal below says it for the user who types an address
    if (!platform::inet::InternetCrackUrl(url.c_str(), host, path, why) || host.empty()) return "the address names no host";
    if (const std::string port = platform::inet::UrlPort(url.c_str()); !port.empty() && port != "80") {
        return "the service is always reached on port 80; an address naming port " + port +
               " would not be used as written";
    }
    if (url.back() != '/') return "the address names a web folder and must end with \"/\" (" + url + "/)";
    return {};
}

std::string LanguageProblem(const std::string& code) {
    if (code.empty() || !std::all_of(code.begin(), code.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return "a language is given by its locale number, such as 1033 (English)";
    }
    if (code == platform::kEnglishLocale) return {};  // built in
    const std::string pack = platform::LanguagePackFolder() + "/" + code + ".txt";
    if (platform::FileSizeOf(pack) < 0) return "there is no language pack for " + code + " (" + pack + ")";
    return {};
}

Outcome Refused(std::string message) { return {PcFailure::kSettingsRefused, std::move(message)}; }

}  // namespace

const char* StoredName(Setting setting) {
    switch (setting) {
    case Setting::kUrl: return platform::settings::kUrl.name;
    case Setting::kRegistrar: return platform::settings::kRegistrar.name;
    case Setting::kSerial: return platform::settings::kSerial.name;
    case Setting::kEmail: return platform::settings::kEmail.name;
    case Setting::kDevice: return platform::settings::kDevice.name;
    case Setting::kLanguage: return platform::settings::kLanguage.name;
    }
    return "";
}

Session::Session() : serviceAddress_(kDefaultServiceBaseUrl), link_(std::make_unique<CDeviceLink>()) {
    texts_.Load(platform::LanguagePackFolder(), platform::kEnglishLocale);  // English until a language is loaded
}

Session::~Session() = default;

// ---- the working folder ----------------------------------------------------------------------

Outcome Session::OpenWorkingFolder(FolderUse use) {
    std::string path;
    std::string error;
    const bool found = use == FolderUse::kName ? platform::DefaultWorkFolderPath(path, error)
                                               : platform::CreateDefaultWorkFolder(path, error);
    if (!found) return {PcFailure::kWorkingFolder, error};
    folder_ = platform::WorkFolder(path);
    folderOpen_ = true;
    link_->SetWorkFolder(folder_);
    client_.reset();  // a client works on the folder it was made for
    if (use == FolderUse::kCreateAndLock) return LockWorkingFolder();
    return {};
}

Outcome Session::LockWorkingFolder() {
    if (lock_) return {};
    auto lock = std::make_unique<platform::FolderLock>();
    std::string error;
    if (!lock->Acquire(folder_.root(), error)) return {PcFailure::kWorkingFolder, error};
    lock_ = std::move(lock);
    return {};
}

// ---- the stored settings ---------------------------------------------------------------------

Outcome Session::LoadSettings() {
    if (std::string problem = StoreProblem(); !problem.empty()) return {PcFailure::kSettingsStore, problem};
    TakeSettingsSnapshot();
    language_ = settings_.language;
    texts_.Load(platform::LanguagePackFolder(), language_);  // English is built in: never fails
    return {};
}

Outcome Session::SettingsStorePlace() {
    if (std::string problem = platform::SettingsStoreLocationProblem(); !problem.empty()) {
        return {PcFailure::kSettingsStore, problem};
    }
    return {};
}

void Session::TakeSettingsSnapshot() {
    settings_ = platform::ReadStoredSettings();
    platform::Registration complete;  // the same texts, read only to learn that none is missing
    registrationComplete_ = platform::ReadRegistration(complete);
}

void Session::ChooseLanguage(const std::string& locale) {
    language_ = HasLanguagePack(locale) ? locale : std::string(platform::kEnglishLocale);
    texts_.Load(platform::LanguagePackFolder(), language_);
}

bool Session::HasLanguagePack(const std::string& locale) {
    return platform::HasLanguagePack(platform::LanguagePackFolder(), locale);
}

const platform::StringTable& Session::EnglishTexts() {
    static const platform::StringTable english = [] {
        platform::StringTable table;
        table.Load(platform::LanguagePackFolder(), platform::kEnglishLocale);
        return table;
    }();
    return english;
}

std::string Session::ResourceFolder() { return platform::ResourceFolder(); }

const char* Session::ProductText() { return platform::version::kProduct; }

Outcome Session::StoreRegistration(const platform::Registration& who, const std::string& language,
                                   std::uint32_t device) {
    if (!platform::SaveRegistration(who, language.c_str(), device)) {
        // The store's own account names the file, so that whoever repairs it knows where to look.
        std::string cause = platform::SettingsStoreProblem();
        if (cause.empty()) cause = "cannot write the settings store " + platform::SettingsStorePath();
        return {PcFailure::kSettingsStore, {}, cause};
    }
    TakeSettingsSnapshot();
    return {};
}

void Session::ForgetLocalCache() { folder_.Delete(platform::pcfile::kLocalCache); }

std::string Session::SettingsStorePath() { return platform::SettingsStorePath(); }

Outcome Session::FindDevice(const std::string& given, std::uint32_t& index, std::string& warning) {
    if (!folderOpen_) {
        if (Outcome named = OpenWorkingFolder(FolderUse::kName); !named.ok()) return Refused(named.message());
    }
    const std::string ini = device::DevicesIniPath(folder_);
    std::vector<device::DeviceModel> models;
    if (!device::ReadDeviceModels(ini, models)) return Refused("cannot read the device models in " + ini);
    const auto found = [&](std::size_t i) {
        index = static_cast<std::uint32_t>(i);
        const device::DeviceModel& model = models[i];
        if (!device::IsKnownTransportCode(model.transportCode)) {
            warning = "device model " + std::to_string(i) + " (" + model.name + ") in " + ini + " has " +
                      (model.transportCode.empty() ? std::string("no transport code")
                                                   : "the transport code \"" + model.transportCode + "\"") +
                      ", which is none of M1, M2, MA and RA: the " + device::TransportName(model.profile.transport) +
                      " will be used";
        }
        return Outcome{};
    };
    char* end = nullptr;
    const unsigned long number = std::strtoul(given.c_str(), &end, 10);
    if (!given.empty() && std::isdigit(static_cast<unsigned char>(given[0])) && *end == '\0') {
        if (number < models.size()) return found(number);
    } else {
        for (std::size_t i = 0; i < models.size(); ++i) {
            if (Lower(models[i].name) == Lower(given)) return found(i);
        }
    }
    std::string error = "--device: no model " + given + " in " + ini + "; the models are:";
    for (std::size_t i = 0; i < models.size(); ++i) error += "\n  " + std::to_string(i) + "  " + models[i].name;
    return Refused(error);
}

Outcome Session::CheckServiceFolder(const std::string& label, const std::string& folder) {
    SettingsChange change;
    change.url = {label.c_str(), true, folder};
    return CheckTexts(change);
}

Outcome Session::CheckTexts(const SettingsChange& change) {
    const struct {
        const SettingValue& value;
        std::size_t field;  // the width it is read into, terminator included
    } texts[] = {{change.registrar, platform::kSettingsTextSize},
                 {change.serial, platform::kSettingsTextSize},
                 {change.email, platform::kSettingsTextSize},
                 {change.url, platform::kSettingsTextSize},
                 {change.language, platform::kLanguageCodeSize}};
    for (const auto& t : texts) {
        if (!t.value.given) continue;
        if (t.value.text.size() >= t.field) {
            return Refused(std::string(t.value.label) + " takes at most " + std::to_string(t.field - 1) +
                           " bytes; the text given has " + std::to_string(t.value.text.size()));
        }
        if (t.value.text.find_first_of("\r\n") != std::string::npos) {
            return Refused(std::string(t.value.label) + " takes one line of text");
        }
    }
    if (change.url.given) {
        if (const std::string problem = UrlProblem(change.url.text); !problem.empty()) {
            return Refused(std::string(change.url.label) + " " + change.url.text + ": " + problem);
        }
    }
    if (change.language.given) {
        if (const std::string problem = LanguageProblem(change.language.text); !problem.empty()) {
            return Refused(std::string(change.language.label) + " " + change.language.text + ": " + problem);
        }
    }
    return {};
}

Outcome Session::SaveSettings(const SettingsChange& change, std::string& warning) {
    const struct {
        const SettingValue& value;
        const char* name;
    } texts[] = {{change.registrar, platform::settings::kRegistrar.name},
                 {change.serial, platform::settings::kSerial.name},
                 {change.email, platform::settings::kEmail.name},
                 {change.url, platform::settings::kUrl.name},
                 {change.language, platform::settings::kLanguage.name}};
    if (Outcome refused = CheckTexts(change); !refused.ok()) return refused;
    std::uint32_t device = 0;
    if (change.device.given) {
        if (Outcome found = FindDevice(change.device.text, device, warning); !found.ok()) return found;
    }
    if (const std::string problem = StoreProblem(); !problem.empty()) {
        return {PcFailure::kSettingsStore, problem + "; nothing was changed"};
    }
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, true)) {
        return {PcFailure::kSettingsStore, "cannot write the settings store " + platform::SettingsStorePath()};
    }
    for (const auto& t : texts) {
        if (t.value.given && !key.SetString(t.name, t.value.text.c_str())) {
            return {PcFailure::kSettingsStore, std::string("cannot store ") + t.name + " in " + platform::SettingsStorePath()};
        }
    }
    if (change.device.given && !key.SetDword(platform::settings::kDevice.name, device)) {
        return {PcFailure::kSettingsStore, "cannot store Device in " + platform::SettingsStorePath()};
    }
    return {};
}

Outcome Session::ClearSetting(Setting setting) {
    const char* value = StoredName(setting);
    if (const std::string problem = StoreProblem(); !problem.empty()) {
        return {PcFailure::kSettingsStore, problem + "; nothing was changed"};
    }
    platform::CRegistry key;
    if (!key.Open(platform::LocalMachineRoot(), platform::kSettingsKey, false)) return {};  // nothing stored
    std::uint32_t size = 0;
    if (!key.GetValueSize(value, size)) return {};  // already clear
    if (!key.DeleteValue(value)) {
        return {PcFailure::kSettingsStore, std::string("cannot clear ") + value + " in " + platform::SettingsStorePath()};
    }
    return {};
}

// ---- the service -----------------------------------------------------------------------------

CServiceClient& Session::Client() {
    if (!client_) {
        client_ = std::make_unique<CServiceClient>(folder_);
        client_->SetBaseUrl(serviceAddress_.c_str());
    }
    return *client_;
}

std::string Session::ResolveFrom(const platform::StoredSettings& stored, std::string& notice) {
    CServiceClient& client = Client();
    client.NoteFailureCause({});  // only what the fetch below says counts for the notice
    std::string address = ResolveServiceBaseUrl(client, stored);
    notice.clear();
    if (stored.keyExists && address == kDefaultServiceBaseUrl && !client.failure_cause().empty()) {
        notice = "the server-address file could not be fetched (" + client.failure_cause() + "); asking " + address +
                 " instead";
    }
    // What failed here is told by the notice; the requests that follow start afresh.
    client.CloseHandles();
    client.NoteFailureCause({});
    return address;
}

void Session::ResolveServiceAddress() {
    serviceAddress_ = ResolveFrom(settings_, addressNotice_);
    Client().SetBaseUrl(serviceAddress_.c_str());
}

void Session::UseServiceAddress(const std::string& address) {
    serviceAddress_ = address;
    addressNotice_.clear();
    if (client_) client_->SetBaseUrl(serviceAddress_.c_str());
}

Outcome Session::OpenForService() {
    if (Outcome opened = OpenWorkingFolder(FolderUse::kCreateAndLock); !opened.ok()) return opened;
    if (Outcome loaded = LoadSettings(); !loaded.ok()) return loaded;
    ResolveServiceAddress();
    return {};
}

void Session::SetServiceTimeouts(int seconds) { platform::inet::SetTimeouts(seconds, seconds); }

void Session::ReportTransfers(IProgressSink* progress) { engine::ReportTransfers(Client(), progress); }

Outcome Session::RunStartupExchanges(IProgressSink& progress, IInformationSink& information, int timeLimitSeconds,
                                     StartupExchangesResult& result) {
    CServiceClient& client = Client();
    result = engine::RunStartupExchanges(client, texts_, language_.c_str(), settings_.alertId, std::time(nullptr),
                                         progress, information, timeLimitSeconds);
    settings_.alertId = result.lastAlertId;
    if (!result.serviceAnswered) {
        return {service::Code(service::Result::kNoStartupAnswer), {}, client.failure_cause()};  // shown already
    }
    return {};
}

bool Session::OpenInformation(InformationMessage& message) {
    CServiceClient& client = Client();
    char text[sizeof(service::InfoRecord::text)] = {};
    std::int32_t identifier = -1;
    if (client.OpenInfoCache(identifier, text) != service::InfoCacheResult::kDone) return false;
    message.id = identifier;
    message.text = text;
    message.atFirst = true;
    message.atLast = client.info_count() <= 1;
    return true;
}

bool Session::NextInformation(InformationMessage& message) {
    if (message.atLast) return false;
    char text[sizeof(service::InfoRecord::text)] = {};
    bool second = false;
    message.id = Client().NextInfoRecord(text, message.atLast, second);
    message.text = text;
    message.atFirst = false;
    return true;
}

bool Session::PreviousInformation(InformationMessage& message) {
    if (message.atFirst) return false;
    char text[sizeof(service::InfoRecord::text)] = {};
    bool first = false;
    message.id = Client().PreviousInfoRecord(text, first, message.atFirst);
    message.text = text;
    message.atLast = false;
    return true;
}

void Session::CloseInformation() { Client().CloseInfoCache(); }

Outcome Session::QueryServiceSummary(ServiceSummary& summary) {
    if (!registrationComplete_) return {PcFailure::kNoRegistration, "the registration data is incomplete"};
    CServiceClient& client = Client();
    summary = engine::QueryServiceSummary(client, settings_.registration, texts_);
    if (!summary.answered) return {summary.code, summary.pcText, client.failure_cause()};
    return {};
}

Outcome Session::TestLogon(const platform::Registration& who) {
    CServiceClient& client = Client();
    const service::Result code = client.TestLogon(who);
    if (code == service::Result::kOk || code == service::Result::kFullRetrievalDemanded) return {};
    const std::int32_t number = service::Code(code);
    const bool ownText = number >= service::Code(service::Result::kCameraFileFailed) &&
                         number <= service::Code(service::Result::kNoServiceAddress);
    return {number,
            ownText ? ErrorTextForCode(static_cast<std::uint32_t>(number), texts_) : texts_.Text(text::kConnectionTestFailed),
            client.failure_cause()};
}

Outcome Session::TestLogon(const platform::Registration& who, const std::string& folder) {
    if (folder.empty()) return TestLogon(who);
    if (Outcome refused = CheckServiceFolder("the service address", folder); !refused.ok()) return refused;
    // Where a start with this "Url" would look: the address is tested as it would be used.
    platform::StoredSettings where = settings_;
    where.keyExists = true;
    std::snprintf(where.url, sizeof where.url, "%s", folder.c_str());
    std::string notice;
    const std::string address = ResolveFrom(where, notice);
    const std::string previous = serviceAddress_;
    const std::string previousNotice = addressNotice_;
    UseServiceAddress(address);
    Outcome logon = TestLogon(who);
    if (logon.ok()) {
        addressNotice_ = notice;
        return logon;
    }
    UseServiceAddress(previous);
    addressNotice_ = previousNotice;
    if (notice.empty()) return logon;
    return {logon.code(), logon.message(), notice + (logon.cause().empty() ? "" : "; " + logon.cause())};
}

Outcome Session::StoreServiceFolder(const std::string& folder) {
    Outcome stored;
    if (!folder.empty()) {
        SettingsChange change;
        change.url = {"the service address", true, folder};
        std::string warning;  // only a device model warns
        stored = SaveSettings(change, warning);
    } else if (settings_.url[0] != '\0') {
        stored = ClearSetting(Setting::kUrl);
    }
    TakeSettingsSnapshot();
    return stored;
}

// ---- the device ------------------------------------------------------------------------------

Outcome Session::DeviceModels(std::vector<device::DeviceModel>& models) {
    const std::string ini = device::DevicesIniPath(folder_);
    if (!device::ReadDeviceModels(ini, models)) {
        return {PcFailure::kFileUnreadable, "cannot read the device models in " + ini};
    }
    return {};
}

Outcome Session::LoadDeviceProfile() {
    if (!settings_.deviceSet) return {PcFailure::kNoDeviceChosen, "no device model is chosen"};
    if (link_->LoadProfile(settings_.device) != 1) return {PcFailure::kDevicesIniMissing, device::kDevicesIniMissingText};
    if (link_->transport == device::TransportKind::kNone) {
        return {PcFailure::kDeviceModelUnknown, "device model " + std::to_string(settings_.device) + " is not in devices.ini"};
    }
    return {};
}

DeviceSummary Session::QueryDeviceSummary(IProgressSink* progress) {
    if (link_->transport == device::TransportKind::kNone) {
        // Without a profile every device operation would do nothing and report success.
        DeviceSummary summary;
        summary.text = texts_.Text(text::kDeviceNotConnected);
        return summary;
    }
    engine::ReportTransfers(*link_, progress);
    DeviceSummary summary = engine::QueryDeviceSummary(*link_, folder_, texts_);
    engine::ReportTransfers(*link_, nullptr);
    return summary;
}

std::string Session::FolderWriteProblem() const {
    if (::access(folder_.root().c_str(), W_OK) != 0) {
        return "cannot write in " + folder_.root() + ": " + std::strerror(errno);
    }
    struct statvfs space {};
    if (::statvfs(folder_.root().c_str(), &space) == 0 && space.f_bavail == 0) {
        return "cannot write in " + folder_.root() + ": " + std::strerror(ENOSPC);
    }
    return {};
}

// A failure to write the PC files that the transport did not explain is looked into here: the
// working folder refusing writes, or a full disk, are the usual reasons.
std::string Session::SyncFailureCause(std::uint32_t code) const {
    std::string cause = client_ ? client_->failure_cause() : std::string();
    const bool fileFailure = code == static_cast<std::uint32_t>(service::Code(service::Result::kCameraFileFailed)) ||
                             code == static_cast<std::uint32_t>(service::Code(service::Result::kLocalCacheFailed));
    if (fileFailure && cause.empty()) cause = FolderWriteProblem();
    return cause;
}

Outcome Session::Synchronise(IProgressSink& progress, IMessageSink& messages, IInformationSink& information,
                             DeviceSyncResult& result) {
    if (!registrationComplete_) return {PcFailure::kNoRegistration, "the registration data is incomplete"};
    if (Outcome loaded = LoadDeviceProfile(); !loaded.ok()) return loaded;
    CServiceClient& client = Client();
    engine::ReportTransfers(client, &progress);
    engine::ReportTransfers(*link_, &progress);
    result = SynchroniseWithServer(client, *link_, progress, messages, information, texts_, settings_.registration,
                                   stopRequested_);
    engine::ReportTransfers(*link_, nullptr);
    engine::ReportTransfers(client, nullptr);
    if (!result.connected) return {PcFailure::kDeviceNotConnected, texts_.Text(text::kDeviceNotConnected), result.cause};
    if (result.stopped) return {PcFailure::kStopped, "stopped " + result.stoppedWhere + "; nothing was lost"};
    if (!result.reportsCopied) {
        return {PcFailure::kDeviceFiles, "the personal updates could not be copied from the device; nothing was changed",
                result.cause};
    }
    if (result.code != 0) return {static_cast<std::int32_t>(result.code), {}, SyncFailureCause(result.code)};
    if (!result.cameraFileCopied) {
        return {PcFailure::kDeviceFiles, "the new camera file could not be copied to the device", result.cameraFileCause};
    }
    return {};
}

Outcome Session::SynchroniseOnPc(IProgressSink& progress, IMessageSink& messages, SyncCounts& counts) {
    if (!registrationComplete_) return {PcFailure::kNoRegistration, "the registration data is incomplete"};
    if (StopRequested()) return {PcFailure::kStopped, "stopped before the service was asked; nothing was lost"};
    CServiceClient& client = Client();
    engine::ReportTransfers(client, &progress);
    SyncOptions options;
    options.updatesHeldOnlyHere = true;  // no device keeps a copy of the reports
    const std::uint32_t code =
        RunSynchronisation(client, progress, texts_, settings_.registration, platform::version::kLogon, counts, options);
    engine::ReportTransfers(client, nullptr);
    if (code == 0) return {};
    // The synchronisation's failures reach the user as a message with an empty caption.
    messages.Show(ErrorTextForCode(code, texts_), "", MessageButtons::kOk);
    return {static_cast<std::int32_t>(code), {}, SyncFailureCause(code)};
}

PersonalResult Session::BackUpReports() { return BackUpPersonalUpdates(link_.get(), folder_); }
PersonalResult Session::RestoreReports() { return RestorePersonalUpdates(link_.get(), folder_); }
PersonalResult Session::DeleteReports(const std::function<bool()>& confirm) {
    return DeleteAllPersonalUpdates(link_.get(), folder_, confirm);
}
StoredBackup Session::ExamineBackup() const { return ExamineStoredBackup(folder_); }

// ---- the PC files ----------------------------------------------------------------------------

Outcome Session::BuildCameraFile(const std::string& cachePath, const std::string& outPath,
                                 service::CameraFileSummary& summary, const std::string& osmCachePath) {
    summary = {};
    std::vector<service::CameraRecord> osm;
    if (!osmCachePath.empty()) {
        const service::CacheRead read = service::ReadSealedCache(osmCachePath, osm);
        if (read != service::CacheRead::kRead && read != service::CacheRead::kMissing) {
            const int error = errno;
            return {PcFailure::kFileUnreadable, "cannot read the OpenStreetMap cameras " + osmCachePath,
                    service::CacheReadProblem(osmCachePath, read, error) + "; import the OpenStreetMap files again"};
        }
    }
    std::vector<service::CameraRecord> local;
    const service::CacheRead read = service::ReadSealedCache(cachePath, local);
    // Without a service account the OpenStreetMap cameras alone make the camera file.
    if (read != service::CacheRead::kRead && !(read == service::CacheRead::kMissing && !osm.empty())) {
        const int error = errno;
        return {PcFailure::kFileUnreadable, "cannot read the camera cache " + cachePath,
                service::CacheReadProblem(cachePath, read, error)};
    }
    const std::vector<service::CameraRecord> cameras = osm.empty() ? std::move(local) : MergeOsmCameras(local, osm);
    if (cameras.empty()) return {};
    const service::CameraFileResult result = service::BuildCameraFile(cameras, outPath, &summary);
    const int error = errno;
    switch (result) {
    case service::CameraFileResult::kWritten:
        return {};
    case service::CameraFileResult::kTooLarge:
        return {PcFailure::kFileUnwritable, "too many cameras for one speed-camera file; " + outPath + " not written"};
    default:
        return {PcFailure::kFileUnwritable,
                "cannot write " + outPath + ": " + std::strerror(error) + "; any earlier file is unchanged"};
    }
}

Outcome Session::ImportOsm(const std::vector<std::string>& files, OsmImportSummary& summary) {
    summary = {};
    std::vector<service::CameraRecord> cameras;
    osm::ReadFailure failure;
    osm::ReadCounts counts;
    if (!osm::ReadCameras(files, cameras, failure, &counts)) {
        return {PcFailure::kFileUnreadable, "cannot read " + failure.file,
                failure.cause + "; " + OsmCachePath() + " is unchanged"};
    }
    service::CacheFileWriter writer;
    if (!writer.Open(OsmCachePath(), service::Sealing::kSealed) || !writer.AddAll(cameras.data(), cameras.size()) ||
        !writer.Commit()) {
        const int error = errno;
        const std::string problem = FolderWriteProblem();
        return {PcFailure::kFileUnwritable, "cannot write " + OsmCachePath(),
                (problem.empty() ? std::string(std::strerror(error)) : problem) + "; the earlier one is unchanged"};
    }
    summary.cameras = cameras.size();
    summary.cameraNodes = counts.cameraNodes;
    summary.relations = counts.relations;
    summary.relationCameras = counts.relationCameras;
    return {};
}

Outcome Session::ClearOsm(bool& removed) {
    removed = folder_.SizeOf(platform::pcfile::kOsmCache) >= 0;
    const std::string path = OsmCachePath();
    // The seal goes after its cache: a seal left alone seals nothing, and the next import renews it.
    if (!folder_.Delete(platform::pcfile::kOsmCache) ||
        (::unlink(service::SealPathOf(path).c_str()) != 0 && errno != ENOENT)) {
        return {PcFailure::kFileUnwritable, "cannot remove " + path, std::strerror(errno)};
    }
    return {};
}

std::string Session::OsmCamerasLine() const { return engine::OsmCamerasLine(folder_, texts_); }

Outcome Session::CountCameraFile(const std::string& path, int& count) {
    count = 0;
    if (platform::FileSizeOf(path) < 0) return {PcFailure::kFileUnreadable, "cannot open " + path};
    count = service::CountCameraFileRecords(path);
    if (count == 0) {  // say why, unless it really is a file without cameras
        service::CameraFileContents contents;
        std::string problem;
        if (!service::ReadCameraFileBack(path, contents, &problem)) {
            return {PcFailure::kFileUnreadable, path + " is not a speed-camera file: " + problem};
        }
    }
    return {};
}

Outcome Session::ExportCameras(const std::string& cachePath, ExchangeFormat format, const ExportFilter& filter,
                               const ExportTarget& target, ExportSummary& summary) {
    const bool toFile = !target.file.empty();
    const std::string output = toFile ? target.file : std::string("the output");
    const auto unwritable = [&] {
        return Outcome{PcFailure::kFileUnwritable, "cannot write " + output + ": " + std::strerror(errno)};
    };
    platform::OutputFile file;
    if (toFile && !file.Open(target.file)) return unwritable();
    const ExportSink sink =
        toFile ? ExportSink([&file](const char* data, std::size_t size) { return file.Write(data, size); }) : target.sink;
    switch (engine::ExportCameras(cachePath, format, filter, sink, summary)) {
    case ExportResult::kCacheUnreadable:
        return {PcFailure::kFileUnreadable, "cannot read the camera cache " + cachePath + ": " +
                                                std::strerror(summary.error) +
                                                (toFile ? "; " + target.file + " not written" : "")};
    case ExportResult::kWriteFailed:
        return unwritable();
    case ExportResult::kWritten:
        break;
    }
    if (toFile ? !file.Commit() : (target.finish && !target.finish())) return unwritable();
    return {};
}

Outcome Session::ImportReports(const std::string& reportsPath, ImportSummary& summary) {
    return ImportOutcome(engine::ImportReports(reportsPath, ReportsFilePath(), summary), reportsPath, summary);
}

Outcome Session::PreviewImport(const std::string& reportsPath, const PreviewSink& each, ImportSummary& summary,
                               std::size_t& cachedCameras) {
    std::vector<service::CameraRecord> cameras;
    const std::string cachePath = LocalCachePath();
    const service::CacheRead read = service::ReadSealedCache(cachePath, cameras);
    if (read != service::CacheRead::kRead && read != service::CacheRead::kMissing) {
        const int error = errno;
        return {PcFailure::kFileUnreadable, "cannot read the camera cache " + cachePath,
                service::CacheReadProblem(cachePath, read, error)};
    }
    cachedCameras = cameras.size();
    const CachedCameraIndex cache(cameras);
    cameras = {};
    return ImportOutcome(engine::PreviewImport(reportsPath, ReportsFilePath(), cache, each, summary), reportsPath,
                         summary);
}

Outcome Session::ImportOutcome(ImportResult result, const std::string& reportsPath, const ImportSummary& summary) const {
    switch (result) {
    case ImportResult::kAppended:
        return {};
    case ImportResult::kUnreadable:
        return {PcFailure::kFileUnreadable, "cannot read " + reportsPath + ": " + summary.problem};
    case ImportResult::kBadFile:
        return {PcFailure::kFileUnreadable, reportsPath + ":" + std::to_string(summary.line) + ": " + summary.problem +
                                                "; nothing was appended"};
    case ImportResult::kUpdatesDamaged:
        return {PcFailure::kFileUnreadable, summary.problem + "; nothing was appended"};
    case ImportResult::kNothingFound:
        return {PcFailure::kFileUnreadable, reportsPath +
                                                " holds no camera: no GPX waypoint, no CSV row under a header, no KML "
                                                "Placemark or GeoJSON feature with a Point; nothing was appended"};
    case ImportResult::kWriteFailed:
        return {PcFailure::kFileUnwritable,
                "cannot write " + ReportsFilePath() + ": " + summary.problem + "; nothing was appended"};
    }
    return {};
}

}  // namespace engine
