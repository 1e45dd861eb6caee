#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/atomic_file.h"

namespace devagent {

// Writes a device file so that it appears under its name only when complete (uploads and
// copies). The data goes through platform::AtomicFile; a name too long to take the
// temporary suffix within the 255-byte name limit is written under a short staging name of
// the same temporary pattern ("~devagent.tmp-XXXXXX") and renamed at the end.
class DeviceFileWriter {
public:
    DeviceFileWriter() = default;
    ~DeviceFileWriter();
    DeviceFileWriter(const DeviceFileWriter&) = delete;
    DeviceFileWriter& operator=(const DeviceFileWriter&) = delete;

    bool Open(const std::string& host_path);
    // The byte at this offset of the file is stored altered (a corruption fault).
    void CorruptAt(std::uint64_t offset) { corrupt_at_ = offset; }
    bool Write(const std::uint8_t* data, std::size_t size);
    bool Commit();
    void Abort();

private:
    platform::AtomicFile file_;
    std::string target_;
    std::string stage_;
    std::uint64_t written_ = 0;
    std::uint64_t corrupt_at_ = UINT64_MAX;
};

// Alters the byte at `at` of a file if it lies in the piece that starts at `offset`.
void CorruptPiece(std::uint8_t* data, std::size_t size, std::uint64_t offset, std::uint64_t at);

// Deletes what a killed agent left under the device folder: AtomicFile's temporaries and the
// staging files above, in every folder (symbolic links are not followed). Gives the number.
int RemoveLeftoverUploads(const std::string& root);

}  // namespace devagent
