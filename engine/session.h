#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "device/device_profile.h"
#include "engine/camera_exchange.h"
#include "engine/device_sync.h"
#include "engine/outcome.h"
#include "engine/personal_backup.h"
#include "engine/refresh.h"
#include "engine/startup.h"
#include "engine/synchronisation.h"
#include "engine/user_feedback.h"
#include "platform/pc_files.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "platform/text_encoding.h"
#include "service/camera_file/writer.h"

class CDeviceLink;
class CServiceClient;
namespace platform {
class FolderLock;
}

// What a front end holds: one session of work on one working folder. It owns the folder (and
// its lock, when taken), a snapshot of the stored settings, the service address resolved once,
// the one service client, the device link with its profile and the texts of the language; it
// offers every operation a front end performs, each reporting its failure as an Outcome. A
// front end includes this header and the engine's, nothing below.
//
// The operations run on the caller's thread and block until done; one session is used by one
// thread at a time. Nothing is written until an operation says so; an operation that fails
// leaves the stored settings and the PC files as its own description says.
namespace engine {

// The settings a front end can store or clear.
enum class Setting : std::int32_t { kUrl, kRegistrar, kSerial, kEmail, kDevice, kLanguage };
// The name of its value in the settings store ("Url", "Registrar", ...).
const char* StoredName(Setting setting);

// Values to store, each with the name the user knows it by in messages ("--url"). Only those
// given are stored.
struct SettingValue {
    const char* label = "";
    bool given = false;
    std::string text;
};
struct SettingsChange {
    SettingValue url, registrar, serial, email, language;
    SettingValue device;  // its line in devices.ini counting from 0, or its name (letter case ignored)
};

// One message of the service, as the information cache holds it.
struct InformationMessage {
    std::int32_t id = -1;
    std::string text;
    bool atFirst = true;
    bool atLast = true;
};

// What an import of OpenStreetMap files found.
struct OsmImportSummary {
    std::size_t cameras = 0;          // records in ".\osm.cache" now
    std::size_t cameraNodes = 0;      // nodes tagged highway=speed_camera
    std::size_t relations = 0;        // enforcement relations
    std::size_t relationCameras = 0;  // cameras that only a relation made
};

// Where an export goes: a file (replaced only once whole; a link's target replaced, a device
// or FIFO written in place, a folder refused: platform::OutputFile), or, when file is empty,
// the sink, with finish called once everything is in it.
struct ExportTarget {
    std::string file;
    ExportSink sink;
    std::function<bool()> finish;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- the working folder ------------------------------------------------------------------
    enum class FolderUse { kName, kCreate, kCreateAndLock };
    // $ZARNIK_HOME, else $XDG_DATA_HOME/zarnik, else ~/.local/share/zarnik: named only (for
    // commands that only read), created when missing, or created and locked (one synchronisation
    // or import per folder at a time). kWorkingFolder with the reason when that is impossible.
    Outcome OpenWorkingFolder(FolderUse use);
    // Takes the lock of the open working folder (kCreateAndLock does it with the opening):
    // kWorkingFolder with the reason when another holds it. The lock lasts as long as the session.
    Outcome LockWorkingFolder();
    const platform::WorkFolder& folder() const { return folder_; }
    // The PC files of the working folder a front end names to the user.
    std::string LocalCachePath() const { return folder_.Path(platform::pcfile::kLocalCache); }
    std::string CameraFilePath() const { return folder_.Path(platform::pcfile::kCameraFile); }
    std::string ReportsFilePath() const { return folder_.Path(platform::pcfile::kPersonalUpdates); }
    std::string OsmCachePath() const { return folder_.Path(platform::pcfile::kOsmCache); }

    // ---- the stored settings -----------------------------------------------------------------
    // Takes the snapshot of the store and loads the texts of its language (English when there
    // is no pack for it). kSettingsStore, and nothing read, when the store has no place or
    // cannot be read or parsed: a damaged store is never replaced.
    Outcome LoadSettings();
    // The steps of LoadSettings for a front end that takes them in its own order: whether the
    // store has a place at all (kSettingsStore when not; a damaged store is no failure here), and
    // the snapshot alone (a store that cannot be read gives the start values), leaving the
    // language of the run as it is.
    static Outcome SettingsStorePlace();
    void TakeSettingsSnapshot();
    // The language the run speaks to the user and asks the service in: the locale given when
    // its pack is there, else English. Until a language is loaded or chosen the run is English;
    // LoadSettings makes it the stored one as stored.
    void ChooseLanguage(const std::string& locale);
    const std::string& language() const { return language_; }
    static bool HasLanguagePack(const std::string& locale);
    // The program's English texts, whatever language the run speaks.
    static const platform::StringTable& EnglishTexts();
    // The folder of the help pages and pictures.
    static std::string ResourceFolder();
    // The product and version as the window shows them.
    static const char* ProductText();
    const platform::StoredSettings& settings() const { return settings_; }
    // "Registrar", "Email" and "Serial" were all stored, as texts.
    bool registration_complete() const { return registrationComplete_; }
    const platform::Registration& registration() const { return settings_.registration; }
    static std::string SettingsStorePath();
    // Checks every value given first (length, one line, a plain-HTTP web folder on port 80, a
    // language with a pack, a model of devices.ini); kSettingsRefused and nothing stored when one
    // is refused. Then stores them: kSettingsStore when the store cannot be used or written.
    // `warning` tells of a model whose transport code devices.ini does not know. The snapshot is
    // not changed: LoadSettings again to see the values stored.
    Outcome SaveSettings(const SettingsChange& change, std::string& warning);
    // The check SaveSettings makes of a service folder ("Url"): kSettingsRefused, its message
    // naming the label and the reason, for a text longer than the store takes, more than one
    // line, or no plain-HTTP web folder on port 80 ending in "/". Nothing is stored.
    static Outcome CheckServiceFolder(const std::string& label, const std::string& folder);
    // Stores the service folder through SaveSettings, or clears "Url" when folder is empty, and
    // takes the snapshot again; the address in use stays until the next resolution or test.
    Outcome StoreServiceFolder(const std::string& folder);
    // Removes one value; a value or key already missing is no failure.
    Outcome ClearSetting(Setting setting);
    // Stores the registration, language and device model as the settings dialogs give them, and
    // takes the snapshot again; the run's language stays. kSettingsStore with the store's own
    // account as the cause (and an empty message: the front end words it) when it was refused.
    Outcome StoreRegistration(const platform::Registration& who, const std::string& language, std::uint32_t device);
    // Deletes ".\local.cache": it belongs to the user whose data were just changed.
    void ForgetLocalCache();

    // ---- the service -------------------------------------------------------------------------
    // The service base URL, resolved once: the server-address file of the "Url" folder (or of
    // the default folder) when the settings key exists, else the alternative address. Never
    // fails; address_notice() says why the "Url" folder's file was not used when that is known.
    void ResolveServiceAddress();
    // Uses the address given as it stands, without resolving.
    void UseServiceAddress(const std::string& address);
    const std::string& service_address() const { return serviceAddress_; }
    const std::string& address_notice() const { return addressNotice_; }
    // What a command that talks to the service does first: the folder created and locked, the
    // settings and texts, the service address.
    Outcome OpenForService();
    // How long a connection may take and a reply stay silent, for every request from now on.
    static void SetServiceTimeouts(int seconds);
    // Shows the transfers of every request from now on in the sink; nullptr stops it.
    void ReportTransfers(IProgressSink* progress);

    const platform::StringTable& texts() const { return texts_; }
    std::string Text(unsigned id) const { return texts_.Text(id); }
    // A text whose "%d" conversions are filled with the numbers in order.
    std::string Text(unsigned id, std::initializer_list<long long> numbers) const {
        return platform::FormatNumbers(texts_.Text(id), numbers);
    }

    // The start-up exchanges (reachability, alerts, information messages, version check) with
    // the snapshot's language and last alert. kNoStartupAnswer with the cause when the service
    // did not answer (its text has been shown through information); the result says what was
    // shown and whether an update is offered.
    Outcome RunStartupExchanges(IProgressSink& progress, IInformationSink& information, int timeLimitSeconds,
                                StartupExchangesResult& result);

    // Paging through the information messages fetched at start-up: false when there is none
    // (before the first, after the last, or none at all).
    bool OpenInformation(InformationMessage& message);
    bool NextInformation(InformationMessage& message);
    bool PreviousInformation(InformationMessage& message);
    void CloseInformation();

    // The Synchronise page's counts of the service and the PC; kNoRegistration when the
    // registration is incomplete, else the code and cause of a service that did not answer.
    Outcome QueryServiceSummary(ServiceSummary& summary);
    // A logon with the data given, as the settings dialogs test them before storing. A refusal
    // gives the text of its result code, so that only an unknown user is told so; a code without
    // a text of its own says the test failed.
    Outcome TestLogon(const platform::Registration& who);
    // The same at the service that the server-address file of folder names, resolved as a start
    // with that "Url" would (folder empty: at the address in use). A folder CheckServiceFolder
    // refuses is refused before anything is asked. The address that answered becomes the one in
    // use; after a failure the session keeps its own, and the cause tells when the folder's file
    // could not be used.
    Outcome TestLogon(const platform::Registration& who, const std::string& folder);

    // ---- the device --------------------------------------------------------------------------
    // The models of devices.ini, in its order; kFileUnreadable when it cannot be read.
    Outcome DeviceModels(std::vector<device::DeviceModel>& models);
    // Loads the profile of the snapshot's "Device": kNoDeviceChosen, kDevicesIniMissing or
    // kDeviceModelUnknown when there is none to load.
    Outcome LoadDeviceProfile();
    // The device's counts, through the profile loaded (not connected without one); the copies
    // it makes are shown in `progress` when given.
    DeviceSummary QueryDeviceSummary(IProgressSink* progress = nullptr);
    // The whole synchronisation with the device of the loaded profile. The synchronisation's own
    // failure has been shown through messages when the outcome's message is empty.
    Outcome Synchronise(IProgressSink& progress, IMessageSink& messages, IInformationSink& information,
                        DeviceSyncResult& result);
    // The PC side alone: ".\poiupdates.upd" in, ".\zarniks.mtc" out; a failure is shown through
    // messages (the text of its code, empty caption) and given back with its cause.
    Outcome SynchroniseOnPc(IProgressSink& progress, IMessageSink& messages, SyncCounts& counts);
    PersonalResult BackUpReports();
    PersonalResult RestoreReports();
    PersonalResult DeleteReports(const std::function<bool()>& confirm);
    StoredBackup ExamineBackup() const;
    // Asked at the safe points of the device's operations and before and after each long step of
    // the others; once it says yes they stop there with nothing lost and give kStopped.
    void SetStopRequest(std::function<bool()> requested) { stopRequested_ = std::move(requested); }
    bool StopRequested() const { return stopRequested_ && stopRequested_(); }
    // The link itself, for a front end's tests that point it at an emulated device.
    CDeviceLink& device_link() { return *link_; }

    // ---- the PC files ------------------------------------------------------------------------
    // The camera file from a camera cache, joined by the OpenStreetMap cameras of osmCachePath
    // (none when empty or missing) that duplicate none of the cache's; a missing cache then
    // counts as empty. With no cameras nothing is written and the summary counts none.
    // kFileUnreadable / kFileUnwritable otherwise; an earlier file stays then.
    Outcome BuildCameraFile(const std::string& cachePath, const std::string& outPath, service::CameraFileSummary& summary,
                            const std::string& osmCachePath = {});
    // The cameras of a camera file; kFileUnreadable when it is missing or no camera file.
    Outcome CountCameraFile(const std::string& path, int& count);
    Outcome ExportCameras(const std::string& cachePath, ExchangeFormat format, const ExportFilter& filter,
                          const ExportTarget& target, ExportSummary& summary);
    // Appends the reports of a GPX, CSV, KML or GeoJSON file to the working folder's
    // ".\poiupdates.upd"; nothing is appended on failure.
    Outcome ImportReports(const std::string& reportsPath, ImportSummary& summary);
    // What ImportReports would do, writing nothing: each report of the file to each with the
    // duplicate test's verdict against ".\local.cache" (none is a duplicate without one), and
    // the cameras that cache holds. Fails as ImportReports would, and with kFileUnreadable for a
    // local.cache that cannot be read or does not match its seal; nothing is listed then.
    Outcome PreviewImport(const std::string& reportsPath, const PreviewSink& each, ImportSummary& summary,
                          std::size_t& cachedCameras);

    // Replaces ".\osm.cache" of the open working folder with the cameras of all the
    // OpenStreetMap files together (osm/camera_reader.h says which and how). kFileUnreadable
    // naming the file and its cause when one cannot be read, kFileUnwritable when the cache
    // cannot be written: ".\osm.cache" is then exactly as it was.
    Outcome ImportOsm(const std::vector<std::string>& files, OsmImportSummary& summary);
    // Removes ".\osm.cache" (and its seal); removed says whether there was one.
    Outcome ClearOsm(bool& removed);
    // Text 190 filled, or "" without ".\osm.cache".
    std::string OsmCamerasLine() const;

    // Why writing the PC files failed when nothing else said: the folder refusing writes, a full disk.
    std::string FolderWriteProblem() const;

private:
    CServiceClient& Client();
    Outcome FindDevice(const std::string& given, std::uint32_t& index, std::string& warning);
    std::string SyncFailureCause(std::uint32_t code) const;
    static Outcome CheckTexts(const SettingsChange& change);
    std::string ResolveFrom(const platform::StoredSettings& stored, std::string& notice);
    Outcome ImportOutcome(ImportResult result, const std::string& reportsPath, const ImportSummary& summary) const;

    platform::WorkFolder folder_;
    bool folderOpen_ = false;
    std::unique_ptr<platform::FolderLock> lock_;
    platform::StoredSettings settings_;
    bool registrationComplete_ = false;
    platform::StringTable texts_;
    std::string language_ = platform::kEnglishLocale;
    std::string serviceAddress_;
    std::string addressNotice_;
    std::unique_ptr<CServiceClient> client_;
    std::unique_ptr<CDeviceLink> link_;
    std::function<bool()> stopRequested_;
};

}  // namespace engine
