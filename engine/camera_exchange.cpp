#include "engine/camera_exchange.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/change_record.h"
#include "engine/csv_exchange.h"
#include "engine/gpx_exchange.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "service/camera_record.h"

// The streaming of both directions; each format's text is in its own file.
namespace engine {

namespace {

using service::CameraRecord;

constexpr std::size_t kRecordsPerRead = 8192;
constexpr std::size_t kFlushAt = std::size_t{1} << 20;

// Copies the file's bytes into the new one; false when it cannot be read.
bool CopyInto(const std::string& path, platform::AtomicFile& out, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return error == ENOENT;
    }
    char chunk[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        if (!out.Write(chunk, static_cast<std::size_t>(got))) break;
    }
    error = got < 0 ? errno : 0;
    ::close(fd);
    return got == 0;
}

}  // namespace

ExportResult ExportCameras(const std::string& cachePath, ExchangeFormat format, bool personalOnly,
                           const ExportSink& sink, ExportSummary& summary) {
    summary = {};
    const int fd = ::open(cachePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        summary.error = errno;
        return ExportResult::kCacheUnreadable;
    }
    std::string out;
    out.reserve(kFlushAt + 4096);
    if (format == ExchangeFormat::kGpx) {
        exchange::AppendGpxStart(out);
    } else {
        exchange::AppendCsvStart(out);
    }
    std::vector<CameraRecord> records(kRecordsPerRead);
    std::size_t held = 0;  // bytes of a record begun in the last read
    auto* bytes = reinterpret_cast<char*>(records.data());
    ExportResult result = ExportResult::kWritten;
    for (;;) {
        const ssize_t got = ::read(fd, bytes + held, records.size() * sizeof(CameraRecord) - held);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            summary.error = errno;
            result = ExportResult::kCacheUnreadable;
            break;
        }
        if (got == 0) break;
        const std::size_t total = held + static_cast<std::size_t>(got);
        const std::size_t whole = total / sizeof(CameraRecord);
        for (std::size_t i = 0; i < whole; ++i) {
            const CameraRecord& r = records[i];
            if (personalOnly && r.flag != 0) continue;
            if (format == ExchangeFormat::kGpx) {
                exchange::AppendGpxWaypoint(out, r);
            } else {
                exchange::AppendCsvRow(out, r);
            }
            ++summary.cameras;
            if (out.size() >= kFlushAt) {
                if (!sink(out.data(), out.size())) {
                    ::close(fd);
                    return ExportResult::kWriteFailed;
                }
                out.clear();
            }
        }
        held = total - whole * sizeof(CameraRecord);
        std::memmove(bytes, bytes + whole * sizeof(CameraRecord), held);
    }
    ::close(fd);
    if (result != ExportResult::kWritten) return result;
    if (format == ExchangeFormat::kGpx) exchange::AppendGpxEnd(out);
    return sink(out.data(), out.size()) ? ExportResult::kWritten : ExportResult::kWriteFailed;
}

ImportResult ImportReports(const std::string& reportsPath, const std::string& updatesPath, ImportSummary& summary) {
    summary = {};
    const long long existing = platform::FileSizeOf(updatesPath);
    if (existing > 0 && existing % static_cast<long long>(sizeof(ChangeRecord)) != 0) {
        summary.problem = updatesPath + " ends in a partial record";
        return ImportResult::kUpdatesDamaged;
    }
    // Records shifted off the globe mean the file lost or gained bytes: appending whole records
    // behind them would only bury the user's reports deeper in a file nothing can read.
    std::vector<ChangeRecord> pending;
    if (existing > 0 && ReadChangeRecords(updatesPath, pending)) {
        const std::size_t unreadable = SetAsideUnreadable(pending).size();
        if (unreadable > 0) {
            summary.problem = updatesPath + " holds " + std::to_string(unreadable) +
                              " records that are no reports (a position off the globe, or a direction outside -2 to 720)";
            return ImportResult::kUpdatesDamaged;
        }
    }
    const int fd = ::open(reportsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        summary.problem = std::strerror(errno);
        return ImportResult::kUnreadable;
    }
    // The whole new file is written beside the old one and replaces it only when every report
    // was good and written: a bad line, a full disk or a kill leaves the old file as it was.
    platform::AtomicFile out;
    int error = 0;
    if (!out.Open(updatesPath, 0644) || !CopyInto(updatesPath, out, error)) {
        if (error == 0) error = errno;
        ::close(fd);
        summary.problem = std::strerror(error);
        return ImportResult::kWriteFailed;
    }
    exchange::ChunkReader reader(fd);
    std::string buffer;
    bool more = reader.More(buffer);
    while (more && buffer.size() < 64) more = reader.More(buffer);
    std::size_t first = buffer.rfind("\xef\xbb\xbf", 0) == 0 ? 3 : 0;
    while (first < buffer.size() && std::string_view(" \t\r\n").find(buffer[first]) != std::string_view::npos) ++first;
    const bool gpx = first < buffer.size() && buffer[first] == '<';
    const exchange::RecordSink add = [&](const ChangeRecord& record) {
        if (!out.Write(&record, sizeof record)) return false;
        ++summary.appended;
        return true;
    };
    ImportResult result = gpx ? exchange::ReadGpx(reader, buffer, add, summary) : exchange::ReadCsv(reader, buffer, add, summary);
    ::close(fd);
    if (result == ImportResult::kUnreadable) summary.problem = std::strerror(reader.error());
    if (result == ImportResult::kAppended && summary.appended == 0) result = ImportResult::kNothingFound;
    if (result == ImportResult::kAppended && !out.Commit()) result = ImportResult::kWriteFailed;
    if (result == ImportResult::kWriteFailed) summary.problem = std::strerror(errno);
    if (result != ImportResult::kAppended) {
        out.Abort();
        summary.appended = 0;
    }
    return result;
}

}  // namespace engine
