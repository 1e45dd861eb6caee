#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/pc_files.h"
#include "service/service_client.h"

using service::CameraRecord;
using service::InfoRecord;
using service::ReplyPiece;
using service::Result;

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%hu:%hu:%hu", static_cast<unsigned short>(local.tm_hour),
                  static_cast<unsigned short>(local.tm_min), static_cast<unsigned short>(local.tm_sec));
    return text;
}

}  // namespace

void CServiceClient::WriteErrorLog(const char* reply, const char* requestName) {
    const std::string path = folder_.Path(platform::pcfile::kErrorLog);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string entry = "At " + LocalTimeText() + " reported in " + (requestName ? requestName : "") +
                                  "  \r\n\r\n " + (reply ? reply : "");
        WriteAll(fd, entry.data(), entry.size());
    }
    // The rest of the reply belongs to the same entry; it is read even when nothing can be
    // written, so that the request ends in the same state either way.
    if (request_) {
        ReplyPiece piece;
        while (ReadPiece(piece) && piece.length > 0) {
            if (fd >= 0) WriteAll(fd, piece.text, piece.length);
        }
    }
    if (fd >= 0) ::close(fd);
}
