#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/atomic_file.h"

namespace platform {

// Writes a file the user named on a command line, as what the name stands for:
// - a regular file, or a name not there yet: through AtomicFile, so it is replaced only once
//   whole and stays exactly as it was on any failure;
// - a symbolic link: its final target is replaced the same way and the link stays a link;
// - a device, a FIFO or a socket: written in place, in order, as a shell's redirection would (it
//   cannot be replaced; a reader of a FIFO gets the bytes as they come). A failure midway leaves
//   what was written so far; every write and the close are checked, so a full device is a
//   failure;
// - a folder: refused (errno EISDIR), nothing touched.
// Every function gives false with errno set on failure.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const std::string& path, mode_t newFileMode = 0644);
    bool Write(const void* data, std::size_t size);
    bool Commit();
    void Abort();

private:
    AtomicFile file_;
    int fd_ = -1;  // the device or FIFO written in place; -1 when going through file_
};

}  // namespace platform
