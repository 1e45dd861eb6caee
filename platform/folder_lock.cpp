#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool FolderLock::Acquire(const std::string& folder, std::string& error) {
    if (fd_ >= 0) return true;
    const std::string path = folder + "/zarnik.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open the lock file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(fd);
        error = cause == EWOULDBLOCK ? "another synchronisation is running in " + folder
                                     : "cannot lock " + path + ": " + std::strerror(cause);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace platform
