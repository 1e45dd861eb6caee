#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/change_record.h"

class CDeviceLink;
namespace platform {
class WorkFolder;
}

// The Personal page's whole-file operations on the device's personal-updates file, and the one
// back-up the PC keeps of it, ".\store\poiupdates.upd". Each operation initialises and connects
// the link, works, and disconnects again whatever happened; none stops the navigation program.
// A null link, or one without a loaded profile, is not connected. Working files of the
// operations live beside the back-up and are gone when an operation returns.
namespace engine {

enum class PersonalResult : std::int32_t {
    kDone = 0,
    kNotConnected = 1,     // Connect did not answer 1: nothing was touched, on the device or the PC
    kNothingToBackUp = 2,  // the device's file is empty or missing: both sides stay as they were
    kFailed = 3,           // see each operation for what stays
    kDeclined = 4,         // the deletion was not confirmed: nothing was touched
};

enum class StoredBackup : std::int32_t {
    kNone = 0,
    kHeld = 1,          // a back-up of at least one byte
    kEmptyRemoved = 2,  // a back-up of 0 bytes was found; it counts as none and was deleted
};

// What the working folder holds as the back-up, deleting one of 0 bytes.
StoredBackup ExamineStoredBackup(const platform::WorkFolder& folder);

// Moves the device's reports to the PC. The copy goes to a temporary file in ".\store" (the
// folder is created, readable by the user only, when missing), must arrive whole and read the
// same twice in a row (kFailed when no two of a few reads agree), is synced and
// only then renamed to the back-up name, never over an existing back-up; only after that is the
// device's file emptied. kFailed with the device untouched and no back-up kept when any of that
// fails. When the back-up is in place but the device's file could not be emptied, kFailed too,
// and the back-up is kept: after the deletion on the device it may be the only copy. A device
// without the file, where the transport can tell (a reset device), has nothing to back up.
PersonalResult BackUpPersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder);

// Puts the back-up's reports on the device. Reports the device made since the back-up are kept:
// when the device's file holds records, the device gets the back-up's records followed by its
// own that the back-up lacks; a device without the file, where the transport can tell, gets the
// back-up as it is. The back-up is deleted once the device has the file; on kFailed
// (no back-up, the device's file unreadable, the copy refused) the back-up stays and the
// device's file is as it was, as far as its transport's copy keeps a file on failure.
PersonalResult RestorePersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder);

// Empties the device's personal-updates file once `confirm`, asked while connected, says yes.
// kDone only when an empty file is read back from the device; the back-up is never touched.
PersonalResult DeleteAllPersonalUpdates(CDeviceLink* link, const platform::WorkFolder& folder,
                                        const std::function<bool()>& confirm);


}  // namespace engine
