// CountCameraFileRecords on arbitrary bytes: never negative, never more chunks than the file
// can hold after a header, and nothing at all unless the file starts like a camera file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "service/camera_file/writer.h"

namespace {

const std::string& ScratchPath() {
    static const std::string path = "/tmp/zarnik-fuzz-count-" + std::to_string(getpid()) + ".mtc";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(ScratchPath().c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;
    const int count = service::CountCameraFileRecords(ScratchPath());
    if (count < 0 || static_cast<std::size_t>(count) > size / sizeof(service::CameraChunk)) std::abort();
    if (count > 0 && data[0] != service::kHeaderChunkType) std::abort();
    std::remove(ScratchPath().c_str());
    return 0;
}
