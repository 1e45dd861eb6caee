#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Writes a file that replaces its predecessor only when every byte reached the disk: the
// data goes to a temporary file in the same folder and is renamed over the target on Commit.
// Until then (and after any failed write, or when the object goes without Commit) the old
// file stays exactly as it was. Writes are buffered; every write is checked.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& path);
    bool Write(const void* data, std::size_t size);
    bool Commit();
    void Abort();

    bool is_open() const { return fd_ >= 0; }
    bool failed() const { return failed_; }
    const std::string& path() const { return path_; }

private:
    bool Flush();

    int fd_ = -1;
    bool failed_ = false;
    std::string path_;
    std::string temp_path_;
    std::vector<char> buffer_;
};

}  // namespace platform
