#pragma once
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// How far a writer's data has been written, and handed on to the disk ahead of its sync.
struct WritebackMark {
    long long started = 0;
    long long written = 0;
};

// Writes a file that replaces its predecessor only when every byte reached the disk: the
// data goes to a temporary file "<target>.tmp-XXXXXX" in the same folder, which Commit syncs,
// renames over the target and makes lasting by syncing the folder. Until then (and after any
// failed write, or when the object goes without Commit) the old file stays exactly as it was
// and the temporary file is removed. A process killed midway leaves only its temporary file,
// which RemoveLeftoverTemporaries clears. The new file keeps the permissions of the one it
// replaces; a file that did not exist gets newFileMode. Writes are buffered; every write,
// sync and rename is checked. Large files are handed to the disk in steps while they are
// written, and made lasting in steps on a thread of their own, so their sync at the commit is
// short; that changes nothing of the above, and a step that fails fails the commit.
class StepSync;
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& path, mode_t newFileMode = 0644);
    bool Write(const void* data, std::size_t size);
    // Makes what was written so far lasting in the temporary file, which stays open; a Commit
    // after it only has the rename left to make lasting. False (and the file failed) when a
    // write or the sync failed.
    bool Sync();
    bool Commit();
    void Abort();

    bool is_open() const { return fd_ >= 0; }
    bool failed() const { return failed_; }
    const std::string& path() const { return path_; }

private:
    bool Flush();
    void NoteWritten();
    // Stops the step syncs before the file is synced whole or closed; false if one failed.
    bool StopStepSync();

    int fd_ = -1;
    bool failed_ = false;
    std::string path_;
    std::string temp_path_;
    std::vector<char> buffer_;
    WritebackMark writeback_;
    std::unique_ptr<StepSync> stepSync_;
};

// Appends to a file (created when missing, or emptied first when asked) so that a failure
// midway never leaves half an addition: Abort, a failed write or the object going without
// Commit cuts the file back to the size it had when opened. Commit makes the addition lasting.
class AppendingFile {
public:
    AppendingFile() = default;
    ~AppendingFile();
    AppendingFile(const AppendingFile&) = delete;
    AppendingFile& operator=(const AppendingFile&) = delete;

    bool Open(const std::string& path, bool emptyFirst = false);
    bool Write(const void* data, std::size_t size);
    bool Commit();
    void Abort();
    bool is_open() const { return fd_ >= 0; }

private:
    bool Flush();
    int fd_ = -1;
    long long original_size_ = 0;
    bool failed_ = false;
    std::vector<char> buffer_;
    WritebackMark writeback_;
};

// Keeps a file as it was before it gets replaced, under a second name ("<path>.before"), so
// that work failing midway can put it back whole with Restore. A hard link costs nothing (the
// replacement is renamed over the name, the old data lives on under the link); where links are
// not supported the file is copied. Without Restore the second name goes with the object; a
// file that did not exist is deleted again by Restore.
class FileSnapshot {
public:
    explicit FileSnapshot(std::string path);
    ~FileSnapshot();
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;

    // False when the file of before could not be put back.
    bool Restore();

private:
    std::string path_;
    std::string keep_;
    bool existed_ = false;
    bool kept_ = false;
};

// Makes a rename or an unlink in the folder of path lasting; false when the folder could not
// be synced.
bool SyncParentFolder(const std::string& path);

// Creates an empty file, or leaves an existing one as it is, so that it survives a power cut;
// false when it could not be created.
bool WriteMarkerFile(const std::string& path);

// Deletes, in folder only (never below it), the temporary files that AtomicFile leaves when its
// process is killed: regular files named "<name>.tmp-" followed by six letters or digits.
// Gives the number deleted. Nothing else is touched; a writer still running in the same folder
// would lose its temporary, so callers hold the folder's lock first.
int RemoveLeftoverTemporaries(const std::string& folder);

}  // namespace platform
