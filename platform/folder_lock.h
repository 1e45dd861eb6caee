#pragma once
#include <string>

namespace platform {

// The one lock of a working folder: an exclusive flock on "<folder>/zarnik.lock", held for the
// life of the object and released by the kernel when the process dies, so a killed run never
// leaves the folder locked. Only one synchronisation (window or headless) works in a folder at
// a time; a second one is refused at once rather than kept waiting.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another process holds the lock or the lock file cannot be opened; error then
    // says which, for the user.
    bool Acquire(const std::string& folder, std::string& error);

private:
    int fd_ = -1;
};

}  // namespace platform
