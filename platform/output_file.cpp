#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace platform {

namespace {

// Links within links are followed no deeper than the kernel follows them.
constexpr int kMostLinks = 40;

// The name a chain of symbolic links ends at (the name itself when it is no link); the last
// name need not exist. False with errno set for a loop or an unreadable link.
bool FinalName(std::string path, std::string& final) {
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            final = path;
            return true;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) >= target.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (!next.empty() && next[0] != '/' && slash != std::string::npos) next.insert(0, path, 0, slash + 1);
        path = next;
    }
    errno = ELOOP;
    return false;
}

}  // namespace

OutputFile::~OutputFile() { Abort(); }

bool OutputFile::Open(const std::string& path, mode_t newFileMode) {
    Abort();
    std::string final;
    if (!FinalName(path, final)) return false;
    struct stat info {};
    if (::stat(final.c_str(), &info) != 0) {
        if (errno != ENOENT) return false;
        return file_.Open(final, newFileMode);
    }
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (S_ISREG(info.st_mode)) return file_.Open(final, newFileMode);
    fd_ = ::open(final.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    return fd_ >= 0;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return file_.Write(data, size);
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd_, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool OutputFile::Commit() {
    if (fd_ < 0) return file_.Commit();
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

void OutputFile::Abort() {
    if (fd_ >= 0) {
        const int saved = errno;
        ::close(fd_);
        fd_ = -1;
        errno = saved;
    }
    file_.Abort();
}

}  // namespace platform
