#include "engine/synchronisation.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/change_list.h"
#include "engine/change_record.h"
#include "platform/pc_files.h"
#include "platform/string_table.h"
#include "service/camera_file_writer.h"
#include "service/pc_file_names.h"
#include "service/service_client.h"

namespace engine {

namespace {

constexpr unsigned kTitleText = 126;
constexpr unsigned kFirstStepText = 144;
constexpr unsigned kFirstErrorText = 129;

enum SyncStep { kLogon, kFullRetrieval, kFirstStep, kDeviceChanges, kUpload, kSecondStep, kCameraFile };

// Keeps the local cache of before a full retrieval under a second name, so that a retrieval
// failing midway can put it back whole. A hard link costs nothing (the new cache is renamed over
// the name, the old file lives on under the link); where links are not supported it is copied.
class CacheSnapshot {
public:
    CacheSnapshot() : cache_(platform::PcPath(pcfile::kLocalCache)), keep_(cache_ + ".before-retrieval") {
        unlink(keep_.c_str());
        existed_ = platform::FileSizeOf(cache_) >= 0;
        if (!existed_) return;
        std::error_code ec;
        kept_ = link(cache_.c_str(), keep_.c_str()) == 0 || std::filesystem::copy_file(cache_, keep_, ec);
    }
    ~CacheSnapshot() { unlink(keep_.c_str()); }
    CacheSnapshot(const CacheSnapshot&) = delete;
    CacheSnapshot& operator=(const CacheSnapshot&) = delete;

    void Restore() {
        if (kept_) {
            rename(keep_.c_str(), cache_.c_str());
        } else if (!existed_) {
            unlink(cache_.c_str());
        }
    }

private:
    std::string cache_;
    std::string keep_;
    bool existed_ = false;
    bool kept_ = false;
};

class Synchronisation {
public:
    Synchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                    SyncCounts& counts)
        : client_(client), progress_(progress), texts_(texts), counts_(counts) {}

    std::uint32_t Run(const char* registrar, const char* email, const char* serial, const char* version);

private:
    void ShowStep(SyncStep step);
    std::int32_t FirstStep(bool full);
    std::int32_t FullRetrieval();
    std::int32_t Upload(const std::string& changeList);
    std::uint32_t Fail(std::int32_t code);
    void ReloadLocalCache();

    CServiceClient& client_;
    IProgressSink& progress_;
    const platform::StringTable& texts_;
    SyncCounts& counts_;
    bool shown_ = false;
};

void Synchronisation::ShowStep(SyncStep step) {
    progress_.SetStep(texts_.Text(kFirstStepText + step));
    progress_.Repaint();
}

void Synchronisation::ReloadLocalCache() {
    client_.ReleaseRecords();
    client_.LoadLocalCache();
}

std::uint32_t Synchronisation::Fail(std::int32_t code) {
    client_.CloseHandles();
    client_.ReleaseRecords();
    if (shown_) progress_.Close();
    return static_cast<std::uint32_t>(code);
}

std::int32_t Synchronisation::FullRetrieval() {
    ShowStep(kFullRetrieval);
    CacheSnapshot before;
    std::int32_t code = client_.FetchMutationList();
    if (code == result::kOk) code = client_.FetchOfficialList();
    platform::DeletePcFile(pcfile::kMutationCache);
    if (code == result::kOk) code = client_.FetchPersonalList();
    if (code != result::kOk) {
        // A partial cache must never pass for a complete one: the earlier one comes back.
        before.Restore();
        return code;
    }
    ReloadLocalCache();
    if (client_.local_count() == 0) {
        platform::DeletePcFile(pcfile::kLocalCache);
        return result::kSyncFailedNoCache;
    }
    counts_.changesAdded = static_cast<std::int32_t>(client_.local_count());
    return result::kOk;
}

std::int32_t Synchronisation::FirstStep(bool full) {
    if (full) return FullRetrieval();
    ShowStep(kFirstStep);
    const std::int32_t code =
        client_.ChangeDownload(counts_.changesAdded, counts_.changesUpdated, counts_.changesDeleted);
    if (code == result::kOk) ReloadLocalCache();
    return code;
}

// The service takes change lists of limited size; a longer one goes in several complete lists,
// and the user's reports count only when every one of them arrived.
std::int32_t Synchronisation::Upload(const std::string& changeList) {
    std::vector<std::string> parts;
    if (!SplitChangeList(changeList, parts)) return result::kSyncFailed;
    for (const std::string& part : parts) {
        std::int32_t stored = 0;
        std::int32_t accepted = 0;
        const std::int32_t code = client_.UploadChanges(part.c_str(), stored, accepted);
        if (code != result::kOk) return code;
        counts_.personalStored += stored;
        counts_.personalAccepted += accepted;
    }
    return result::kOk;
}

std::uint32_t Synchronisation::Run(const char* registrar, const char* email, const char* serial, const char* version) {
    counts_ = SyncCounts{};
    if (std::strlen(client_.base_url()) < 5) return result::kNoServiceAddress;
    client_.LoadLocalCache();
    progress_.Show();
    shown_ = true;
    progress_.SetTitle(texts_.Text(kTitleText));
    ShowStep(kLogon);

    const std::int32_t logon = client_.LogOn(registrar, serial, email, version);
    if (logon == result::kFullRetrievalDemanded) {
        client_.ReleaseRecords();
    } else if (logon != result::kOk) {
        return Fail(logon);
    }
    std::int32_t code = FirstStep(client_.local_count() == 0);
    if (code != result::kOk) return Fail(code);

    ShowStep(kDeviceChanges);
    std::vector<ChangeRecord> changes;
    // A file that is there but cannot be read is kept: the user's reports must not vanish.
    if (!ReadChangeRecords(platform::PcPath(pcfile::kPersonalUpdates), changes)) return Fail(result::kSyncFailed);
    platform::DeletePcFile(pcfile::kPersonalUpdates);
    if (!changes.empty()) {
        const CachedCameraIndex cache(client_.local_records());
        MarkDuplicateAdditions(changes, cache);
        const std::string changeList = BuildChangeList(changes, cache);
        ShowStep(kUpload);
        if (!ChangeListHoldsNoChange(changeList)) {
            code = Upload(changeList);
            if (code != result::kOk) return Fail(code);
        }
        ReloadLocalCache();
        ShowStep(kSecondStep);
        std::int32_t added = 0, updated = 0, deleted = 0;
        code = client_.ChangeDownload(added, updated, deleted);
        if (code != result::kOk) return Fail(code);
    }

    client_.CloseHandles();
    client_.ReleaseRecords();
    ShowStep(kCameraFile);
    const int written = service::BuildCameraFileFromCache(platform::PcPath(pcfile::kLocalCache),
                                                          platform::PcPath(pcfile::kCameraFile));
    progress_.Close();
    return written == 0 ? result::kOk : static_cast<std::uint32_t>(result::kSyncFailed);
}

}  // namespace

std::uint32_t RunSynchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                                 const char* registrar, const char* email, const char* serial, const char* version,
                                 SyncCounts& counts) {
    return Synchronisation(client, progress, texts, counts).Run(registrar, email, serial, version);
}

std::string ErrorTextForCode(std::uint32_t code, const platform::StringTable& texts) {
    if (code >= 10000 && code <= 10014) return texts.Text(kFirstErrorText + (code - 10000));
    if (code == 1) {
        return "The connection to the service failed during the synchronisation. Nothing was lost: your personal "
               "updates stay on the device and are sent again at the next synchronisation.";
    }
    return "Error " + std::to_string(code);
}

}  // namespace engine
