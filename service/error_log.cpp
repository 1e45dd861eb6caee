#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/atomic_file.h"
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

// Whatever a reply holds, an entry keeps its start only, and the log drops its oldest entries
// rather than grow: a service answering with endless text must not fill the disk.
constexpr std::size_t kMaxLoggedReply = std::size_t{64} * 1024;
constexpr std::size_t kMaxLogSize = std::size_t{1024} * 1024;

// Entries follow each other without a separator; each begins "At H:M:S reported in ".
bool EntryStartsAt(const std::string& log, std::size_t at) {
    std::size_t p = at + 3;
    if (log.compare(at, 3, "At ") != 0) return false;
    for (int part = 0; part < 3; ++part) {
        const std::size_t digits = p;
        while (p < log.size() && p - digits < 2 && log[p] >= '0' && log[p] <= '9') ++p;
        if (p == digits || p >= log.size() || log[p] != (part < 2 ? ':' : ' ')) return false;
        ++p;
    }
    return log.compare(p, 12, "reported in ") == 0;
}

// The newest whole entries of the log that leave room for `room` more bytes under the limit.
std::string NewestEntries(const std::string& path, std::size_t room) {
    const long long size = platform::FileSizeOf(path);
    const std::size_t keep = kMaxLogSize - 1 > room ? kMaxLogSize - 1 - room : 0;
    if (size <= 0 || keep == 0) return {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    const std::size_t from = static_cast<std::size_t>(size) > keep ? static_cast<std::size_t>(size) - keep : 0;
    std::string tail(static_cast<std::size_t>(size) - from, '\0');
    const bool read = std::fseek(file, static_cast<long>(from), SEEK_SET) == 0 &&
                      std::fread(tail.data(), 1, tail.size(), file) == tail.size();
    std::fclose(file);
    if (!read) return {};
    for (std::size_t at = tail.find("At "); at != std::string::npos; at = tail.find("At ", at + 1)) {
        if (EntryStartsAt(tail, at)) return tail.substr(at);
    }
    return {};
}

}  // namespace

void CServiceClient::WriteErrorLog(const char* reply, const char* requestName) {
    std::string text(reply ? reply : "");
    // The rest of the reply belongs to the same entry, up to the limit; a reply that goes on
    // past it is not read to its end, which could take for ever.
    if (request_) {
        ReplyPiece piece;
        while (text.size() <= kMaxLoggedReply && ReadPiece(piece) && piece.length > 0) {
            text.append(piece.text, piece.length);
        }
    }
    std::string entry = "At " + LocalTimeText() + " reported in " + (requestName ? requestName : "") + "  \r\n\r\n ";
    if (text.size() > kMaxLoggedReply) {
        entry.append(text, 0, kMaxLoggedReply);
        entry += "\r\n(the reply went on; only its first " + std::to_string(kMaxLoggedReply) + " bytes are logged)\r\n";
    } else {
        entry += text;
    }
    const std::string path = folder_.Path(platform::pcfile::kErrorLog);
    const long long size = platform::FileSizeOf(path);
    if (size < 0 || static_cast<std::size_t>(size) + entry.size() < kMaxLogSize) {
        // One write, so that entries of two programs logging at once do not interleave.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return;
        WriteAll(fd, entry.data(), entry.size());
        ::close(fd);
        return;
    }
    platform::AtomicFile log;
    const std::string kept = NewestEntries(path, entry.size());
    if (log.Open(path) && log.Write(kept.data(), kept.size()) && log.Write(entry.data(), entry.size())) log.Commit();
}
