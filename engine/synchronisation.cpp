#include "engine/synchronisation.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/cached_camera_index.h"
#include "engine/change_list.h"
#include "engine/change_record.h"
#include "engine/osm_cameras.h"
#include "engine/text_ids.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "platform/string_table.h"
#include "service/cache_file.h"
#include "service/camera_file/writer.h"
#include "service/service_client.h"

namespace engine {

namespace {

using service::Result;

enum SyncStep { kLogon, kFullRetrieval, kFirstStep, kDeviceChanges, kUpload, kSecondStep, kCameraFile };

class Synchronisation {
public:
    Synchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                    const SyncOptions& options, SyncCounts& counts)
        : client_(client),
          folder_(client.folder()),
          progress_(progress),
          texts_(texts),
          options_(options),
          counts_(counts) {}

    std::uint32_t Run(const platform::Registration& who, const char* version);

private:
    void ShowStep(SyncStep step);
    Result FirstStep(bool full);
    Result FullRetrieval();
    Result Upload(const std::string& changeList);
    Result SendReports(std::vector<ChangeRecord>& changes);
    Result WriteCameraFile();
    void PrepareCameraFile(const std::vector<service::CameraRecord>& cache);
    bool ReportsWaiting() const;
    std::uint32_t Fail(Result code);
    void ReloadLocalCache();
    // "<what><path>: <why>", for the line under a failure; errno must still tell why.
    std::string FileProblem(const char* what, const char* windowsName) const;

    CServiceClient& client_;
    const platform::WorkFolder& folder_;
    IProgressSink& progress_;
    const platform::StringTable& texts_;
    const SyncOptions& options_;
    SyncCounts& counts_;
    bool shown_ = false;
    service::PreparedCameraFile cameraFile_;
};

void Synchronisation::ShowStep(SyncStep step) {
    progress_.SetStep(texts_.Text(text::kFirstStep + step));
    progress_.Repaint();
}

void Synchronisation::ReloadLocalCache() { client_.ReloadLocalCache(); }

std::string Synchronisation::FileProblem(const char* what, const char* windowsName) const {
    const int error = errno;
    return what + folder_.Path(windowsName) + ": " + (error != 0 ? std::strerror(error) : "unknown error");
}

std::uint32_t Synchronisation::Fail(Result code) {
    client_.CloseHandles();
    // Changes already merged still reach the cache, as far as it can be written: the failure
    // reported is the one that ended the run.
    if (client_.local_records_ahead()) client_.CommitLocalCache();
    client_.ReleaseRecords();
    if (shown_) progress_.Close();
    return static_cast<std::uint32_t>(service::Code(code));
}

Result Synchronisation::FullRetrieval() {
    ShowStep(kFullRetrieval);
    platform::FileSnapshot before(folder_.Path(platform::pcfile::kLocalCache));
    platform::FileSnapshot sealBefore(service::SealPathOf(folder_.Path(platform::pcfile::kLocalCache)));
    Result code = client_.FetchMutationList();
    // Without reports to send, the new cache is what the camera file is made from: it is made
    // while the cache is being made lasting.
    CServiceClient::CacheRecordsVisitor alongside;
    if (!ReportsWaiting()) alongside = [this](const std::vector<service::CameraRecord>& r) { PrepareCameraFile(r); };
    if (code == Result::kOk) code = client_.FetchOfficialAndPersonalLists(alongside);
    folder_.Delete(platform::pcfile::kMutationCache);
    if (code != Result::kOk) {
        // A partial cache must never pass for a complete one: the earlier one comes back.
        before.Restore();
        sealBefore.Restore();
        return code;
    }
    ReloadLocalCache();
    if (client_.local_count() == 0) {
        folder_.Delete(platform::pcfile::kLocalCache);
        client_.NoteFailureCause("the full retrieval brought no camera: the service's lists were empty");
        return Result::kLocalCacheFailed;
    }
    counts_.changesAdded = static_cast<std::int32_t>(client_.local_count());
    counts_.fullRetrieval = true;
    return Result::kOk;
}

Result Synchronisation::FirstStep(bool full) {
    if (full) return FullRetrieval();
    ShowStep(kFirstStep);
    CServiceClient::CacheRecordsVisitor alongside;
    // With reports to send, a second download follows in this run, and the cache is written
    // once, with both: the first one's changes wait in memory. Should the run end before, its
    // marker stays and the next run retrieves everything.
    auto commit = service::CacheCommit::kWithNextDownload;
    if (!ReportsWaiting()) {
        alongside = [this](const std::vector<service::CameraRecord>& r) { PrepareCameraFile(r); };
        commit = service::CacheCommit::kNow;
    }
    const Result code = client_.ChangeDownload(counts_.changesAdded, counts_.changesUpdated, counts_.changesDeleted,
                                               alongside, commit);
    if (code == Result::kOk) ReloadLocalCache();
    return code;
}

// The service takes change lists of limited size; a longer one goes in several complete lists,
// and the user's reports count only when every one of them arrived.
Result Synchronisation::Upload(const std::string& changeList) {
    std::vector<std::string> parts;
    if (!SplitChangeList(changeList, parts)) {
        client_.NoteFailureCause("a report of " + folder_.Path(platform::pcfile::kPersonalUpdates) +
                                 " makes a line too long to upload; the reports are kept");
        return Result::kLocalCacheFailed;
    }
    for (const std::string& part : parts) {
        std::int32_t stored = 0;
        std::int32_t accepted = 0;
        const Result code = client_.UploadChanges(part.c_str(), stored, accepted);
        if (code != Result::kOk) return code;
        counts_.personalStored += stored;
        counts_.personalAccepted += accepted;
    }
    return Result::kOk;
}

Result Synchronisation::SendReports(std::vector<ChangeRecord>& changes) {
    CachedCameraIndex cache;
    cache.BuildFor(client_.local_records().data(), client_.local_records().size(), changes);
    MarkDuplicateAdditions(changes, cache);
    const std::string changeList = BuildChangeList(changes, cache);
    ShowStep(kUpload);
    if (!ChangeListHoldsNoChange(changeList)) {
        const Result code = Upload(changeList);
        if (code != Result::kOk) return code;
    }
    ReloadLocalCache();
    ShowStep(kSecondStep);
    std::int32_t added = 0, updated = 0, deleted = 0;
    // The last download of the run: the camera file is made while the cache is made lasting.
    return client_.ChangeDownload(added, updated, deleted, [this](const std::vector<service::CameraRecord>& r) {
        PrepareCameraFile(r);
    });
}

bool Synchronisation::ReportsWaiting() const {
    return folder_.SizeOf(platform::pcfile::kPersonalUpdates) >= static_cast<long long>(sizeof(ChangeRecord));
}

// The camera file is written beside the earlier one and made lasting, but replaces it only in
// WriteCameraFile. Its cameras come from CamerasForCameraFile alone; whatever goes wrong here is
// met again, and told, when the file is written.
void Synchronisation::PrepareCameraFile(const std::vector<service::CameraRecord>& cache) {
    std::vector<service::CameraRecord> merged;
    std::string problem;
    const auto* cameras = CamerasForCameraFile(folder_, cache, merged, problem);
    if (cameras == nullptr) return;
    // The keys computed as the records arrived belong to them alone, not to a merged list.
    const auto keys = cameras == &cache ? client_.fresh_cell_keys() : std::span<const std::int32_t>{};
    cameraFile_.Prepare(*cameras, folder_.Path(platform::pcfile::kCameraFile), nullptr, keys);
}

// The camera file must say what the cache holds now. It is built beside the earlier one and
// replaces it only when complete, so a run killed or failing here leaves the earlier file whole;
// an empty cache builds no file, and then the earlier one goes, or it would pass for the new one.
Result Synchronisation::WriteCameraFile() {
    const std::string cache = folder_.Path(platform::pcfile::kLocalCache);
    const std::string out = folder_.Path(platform::pcfile::kCameraFile);
    if (!cameraFile_.prepared()) {
        // The records of this run's last download are the cache; otherwise it is read.
        std::vector<service::CameraRecord> read;
        if (!client_.local_records_are_the_cache()) {
            const service::CacheRead result = service::ReadSealedCache(cache, read);
            if (result != service::CacheRead::kRead && result != service::CacheRead::kMissing) {
                client_.NoteFailureCause(service::CacheReadProblem(cache, result, errno));
                return Result::kCameraFileFailed;
            }
        }
        const auto& local = client_.local_records_are_the_cache() ? client_.local_records() : read;
        std::vector<service::CameraRecord> merged;
        std::string osmProblem;
        const auto* cameras = CamerasForCameraFile(folder_, local, merged, osmProblem);
        if (cameras == nullptr) {
            client_.NoteFailureCause(osmProblem);
            return Result::kCameraFileFailed;
        }
        if (cameras->empty()) {
            if (folder_.Delete(platform::pcfile::kCameraFile)) return Result::kOk;
            client_.NoteFailureCause(FileProblem("cannot delete the earlier ", platform::pcfile::kCameraFile));
            return Result::kCameraFileFailed;
        }
        if (cameraFile_.Prepare(*cameras, out) == service::CameraFileResult::kTooLarge) {
            client_.NoteFailureCause("too many cameras for one camera file " + out + "; the earlier one is kept");
            return Result::kCameraFileFailed;
        }
    }
    if (cameraFile_.Commit() == service::CameraFileResult::kWritten) return Result::kOk;
    client_.NoteFailureCause("cannot write " + out + ": " + std::strerror(errno) + "; the earlier one is kept");
    return Result::kCameraFileFailed;
}

// The service counts a change download as delivered once it has sent it, whether or not this
// side managed to store it. So a marker is written before the logon and removed only when every
// download of the run is committed to the cache; a run that finds it was interrupted, or failed
// after the service had moved on, and retrieves everything instead of the changes.
std::uint32_t Synchronisation::Run(const platform::Registration& who, const char* version) {
    counts_ = SyncCounts{};
    if (std::strlen(client_.base_url()) < 5) return static_cast<std::uint32_t>(service::Code(Result::kNoServiceAddress));
    platform::RemoveLeftoverTemporaries(folder_.root());
    const bool unfinishedBefore = folder_.SizeOf(platform::pcfile::kUnfinishedMarker) >= 0;
    // After an unfinished run everything is retrieved again: the old cache would only be dropped.
    // It is read and checked against its seal on a second thread while the marker is made
    // lasting and the logon goes out, neither of which touches the records.
    std::jthread loading;
    if (!unfinishedBefore) loading = std::jthread([this] { client_.LoadLocalCache(); });
    const auto loaded = [&loading] {
        if (loading.joinable()) loading.join();
    };
    progress_.Show();
    shown_ = true;
    progress_.SetTitle(texts_.Text(text::kRunningTitle));
    ShowStep(kLogon);
    if (!unfinishedBefore && !platform::WriteMarkerFile(folder_.Path(platform::pcfile::kUnfinishedMarker))) {
        client_.NoteFailureCause(FileProblem("cannot write ", platform::pcfile::kUnfinishedMarker));
        loaded();
        return Fail(Result::kLocalCacheFailed);
    }

    const Result logon = client_.LogOn(who, version);
    loaded();
    if (logon == Result::kFullRetrievalDemanded) {
        client_.ReleaseRecords();
    } else if (logon != Result::kOk) {
        // Nothing was downloaded: a refused logon is no reason for a full retrieval next time.
        if (!unfinishedBefore) folder_.Delete(platform::pcfile::kUnfinishedMarker);
        return Fail(logon);
    }
    Result code = FirstStep(client_.local_count() == 0);
    if (code != Result::kOk) return Fail(code);

    ShowStep(kDeviceChanges);
    std::vector<ChangeRecord> changes;
    // A file that is there but cannot be read is kept: the user's reports must not vanish.
    if (!ReadChangeRecords(folder_.Path(platform::pcfile::kPersonalUpdates), changes)) {
        client_.NoteFailureCause(FileProblem("cannot read ", platform::pcfile::kPersonalUpdates) +
                                 "; the reports in it are kept");
        return Fail(Result::kLocalCacheFailed);
    }
    // Records a damaged file shifted off the globe are not sent, and are all that stays of the
    // file: the user could not make them again, and the device's copy is emptied after success.
    const std::vector<ChangeRecord> unreadable = SetAsideUnreadable(changes);
    counts_.reportsSetAside = static_cast<std::int32_t>(unreadable.size());
    const std::string updates = folder_.Path(platform::pcfile::kPersonalUpdates);
    if (!options_.updatesHeldOnlyHere) ReplaceChangeRecords(updates, unreadable);
    if (!changes.empty()) {
        cameraFile_.Drop();  // the cache changes again
        code = SendReports(changes);
    } else {
        code = client_.CommitLocalCache();  // no second download writes the first one's changes
    }
    if (code != Result::kOk) return Fail(code);
    // Every download of this run is in the cache, and the service holds the reports.
    if (options_.updatesHeldOnlyHere && !ReplaceChangeRecords(updates, unreadable)) {
        client_.NoteFailureCause(FileProblem("cannot replace the reports sent, ", platform::pcfile::kPersonalUpdates));
        return Fail(Result::kLocalCacheFailed);
    }
    folder_.Delete(platform::pcfile::kUnfinishedMarker);

    client_.CloseHandles();
    ShowStep(kCameraFile);
    code = WriteCameraFile();
    client_.ReleaseRecords();
    progress_.Close();
    return static_cast<std::uint32_t>(service::Code(code));
}

}  // namespace

std::uint32_t RunSynchronisation(CServiceClient& client, IProgressSink& progress, const platform::StringTable& texts,
                                 const platform::Registration& who, const char* version, SyncCounts& counts,
                                 const SyncOptions& options) {
    return Synchronisation(client, progress, texts, options, counts).Run(who, version);
}

std::string ErrorTextForCode(std::uint32_t code, const platform::StringTable& texts) {
    if (code >= 10000 && code <= 10014) return texts.Text(text::kFirstError + (code - 10000));
    // The session broke off. Where the reports are kept depends on the road (device or PC), so
    // the text says only what is true on both, in the user's language.
    if (code == 1) return texts.Text(text::kSynchronisationFailed) + "\n" + texts.Text(text::kSendRequestFailed);
    return "Error " + std::to_string(code);
}

}  // namespace engine
