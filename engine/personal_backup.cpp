#include "engine/personal_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "device/device_link.h"
#include "engine/reports_on_device.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"

namespace engine {

namespace {

using platform::pcfile::kStoredPersonalUpdates;

constexpr const char* kStoreFolder = ".\\store";
// Working files, beside the back-up so that the final rename stays on one file system.
constexpr const char* kIncoming = ".\\store\\poiupdates.upd.incoming";
constexpr const char* kDeviceCopy = ".\\store\\device.upd";
constexpr const char* kMerged = ".\\store\\restore.upd";
constexpr const char* kDeleteCheck = ".\\personal.check";  // the delete never needs the store
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;


bool Connected(CDeviceLink* link) {
    if (link == nullptr) return false;
    link->Initialize(0);
    return link->Connect().ok();
}

// The reports are the user's own and name places they drove: the folder is the user's alone.
bool EnsureStoreFolder(const platform::WorkFolder& folder) {
    const std::string path = folder.Path(kStoreFolder);
    if (::mkdir(path.c_str(), kPrivateFolder) == 0) return platform::SyncParentFolder(path);
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// A back-up already there is never replaced: it may hold reports that are nowhere else.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link also refuses an existing name.
    return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
}

PersonalResult BackUpConnected(CDeviceLink& link, const platform::WorkFolder& folder) {
    if (!EnsureStoreFolder(folder)) return PersonalResult::kFailed;
    if (folder.SizeOf(kStoredPersonalUpdates) == 0) folder.Delete(kStoredPersonalUpdates);

    const std::string incoming = folder.Path(kIncoming);
    const std::string backup = folder.Path(kStoredPersonalUpdates);
    // A reset device has no file: nothing to back up, not a failure. The device's file is
    // emptied below, so a copy altered on its way must not become the back-up.
    std::string bytes;
    std::string cause;
    const bool copied = ReadReportsSteadily(link, folder, kIncoming, bytes, cause);
    const long long size = folder.SizeOf(kIncoming);
    if (!copied || size <= 0) {
        folder.Delete(kIncoming);
        return copied ? PersonalResult::kNothingToBackUp : PersonalResult::kFailed;
    }
    if (!SyncFile(incoming) || !RenameWithoutReplacing(incoming, backup)) {
        folder.Delete(kIncoming);
        return PersonalResult::kFailed;
    }
    // Until the rename is lasting, a power cut could take the back-up while the device is empty.
    if (!platform::SyncParentFolder(backup)) {
        folder.Delete(kStoredPersonalUpdates);
        return PersonalResult::kFailed;
    }
    link.DeleteOnDevice(link.personalUpdatesPath);
    return link.ClearDeviceFile(link.personalUpdatesPath).ok() ? PersonalResult::kDone : PersonalResult::kFailed;
}

// The file the device is to get: the back-up itself, or the merge when the device holds
// reports of its own. Empty when it cannot be made.
std::string RestoreFile(CDeviceLink& link, const platform::WorkFolder& folder) {
    std::vector<ChangeRecord> kept;
    std::vector<ChangeRecord> onDevice;
    const std::string deviceCopy = folder.Path(kDeviceCopy);
    // Without the device's reports in hand, writing over them could lose them; a reset device
    // without the file has none, and that is when a restore is needed most.
    const bool read = CopyReportsFromDevice(link, folder, kDeviceCopy).ok() && ReadChangeRecords(deviceCopy, onDevice) &&
                      ReadChangeRecords(folder.Path(kStoredPersonalUpdates), kept);
    folder.Delete(kDeviceCopy);
    if (!read) return "";
    if (onDevice.empty()) return folder.Path(kStoredPersonalUpdates);

    const std::vector<ChangeRecord> merged = MergeReports(kept, onDevice);
    platform::AtomicFile out;
    if (!out.Open(folder.Path(kMerged), kPrivateFile) || !out.Write(merged.data(), merged.size() * sizeof(ChangeRecord)) ||
        !out.Commit()) {
        return "";
    }
    return folder.Path(kMerged);
}

PersonalResult RestoreConnected(CDeviceLink& link, const platform::WorkFolder& folder) {
    if (folder.SizeOf(kStoredPersonalUpdates) <= 0) return PersonalResult::kFailed;
    const std::string upload = RestoreFile(link, folder);
    const bool copied = !upload.empty() && link.CopyToDevice(upload.c_str(), link.personalUpdatesPath).ok();
    folder.Delete(kMerged);
    if (!copied) return PersonalResult::kFailed;
    // The device has the reports now; a back-up that failed to go would only be merged again.
    if (folder.Delete(kStoredPersonalUpdates)) platform::SyncParentFolder(folder.Path(kStoredPersonalUpdates));
    return PersonalResult::kDone;
}

bool DeviceFileIsEmpty(CDeviceLink& link, const platform::WorkFolder& folder) {
    const std::string check = folder.Path(kDeleteCheck);
    folder.Delete(kDeleteCheck);
    const bool empty = link.CopyToPc(check.c_str(), link.personalUpdatesPath).ok() && folder.SizeOf(kDeleteCheck) == 0;
    folder.Delete(kDeleteCheck);
    return empty;
}

}  // namespace

StoredBackup ExamineStoredBackup(const platform::WorkFolder& folder) {
    const long long size = folder.SizeOf(kStoredPersonalUpdates);
    if (size > 0) return StoredBackup::kHeld;
    if (size == 0 && folder.Delete(kStoredPersonalUpdates)) return StoredBackup::kEmptyRemoved;
    return StoredBackup::kNone;
}

PersonalResult BackUpPersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder) {
    if (!Connected(link)) return PersonalResult::kNotConnected;
    const PersonalResult result = BackUpConnected(*link, folder);
    link->Disconnect();
    return result;
}

PersonalResult RestorePersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder) {
    if (!Connected(link)) return PersonalResult::kNotConnected;
    // The device serves one client at a time: the connection never outlives the operation.
    const PersonalResult result = RestoreConnected(*link, folder);
    link->Disconnect();
    return result;
}

PersonalResult DeleteAllPersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder,
                                        const std::function<bool()>& confirm) {
    if (!Connected(link)) return PersonalResult::kNotConnected;
    PersonalResult result = PersonalResult::kDeclined;
    if (confirm()) {
        link->DeleteOnDevice(link->personalUpdatesPath);
        // The link's result alone says only that a copy was sent; the user is told the reports
        // are gone only when the device shows an empty file.
        const bool cleared = link->ClearDeviceFile(link->personalUpdatesPath).ok() && DeviceFileIsEmpty(*link, folder);
        result = cleared ? PersonalResult::kDone : PersonalResult::kFailed;
    }
    link->Disconnect();
    return result;
}

}  // namespace engine
