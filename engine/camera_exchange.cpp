#include "engine/camera_exchange.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "engine/change_record.h"
#include "engine/csv_exchange.h"
#include "engine/geojson_exchange.h"
#include "engine/gpx_exchange.h"
#include "engine/kml_exchange.h"
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

// How each format writes its document: what comes before the first camera, each camera (index
// counting the cameras written before it), and what comes after the last.
struct FormatWriter {
    void (*start)(std::string& out);
    void (*camera)(std::string& out, const CameraRecord& r, std::size_t index);
    void (*end)(std::string& out);
};

void Nothing(std::string&) {}

template <void (*Write)(std::string&, const CameraRecord&)>
void EachCamera(std::string& out, const CameraRecord& r, std::size_t) {
    Write(out, r);
}

// In the order of ExchangeFormat's numbers.
constexpr FormatWriter kWriters[] = {
    {exchange::AppendGpxStart, EachCamera<exchange::AppendGpxWaypoint>, exchange::AppendGpxEnd},
    {exchange::AppendCsvStart, EachCamera<exchange::AppendCsvRow>, Nothing},
    {exchange::AppendGeoJsonStart, exchange::AppendGeoJsonFeature, exchange::AppendGeoJsonEnd},
    {exchange::AppendKmlStart, EachCamera<exchange::AppendKmlPlacemark>, exchange::AppendKmlEnd},
};
static_assert(std::size(kWriters) == static_cast<std::size_t>(ExchangeFormat::kKml) + 1);

bool Keeps(const ExportFilter& filter, const CameraRecord& r) {
    if (filter.personalOnly && r.flag != 0) return false;
    if (filter.oneCategory && r.category != filter.category) return false;
    if (!filter.bounded) return true;
    const bool acrossDateLine = filter.west > filter.east;
    const bool inLongitude = acrossDateLine ? (r.longitude >= filter.west || r.longitude <= filter.east)
                                            : (r.longitude >= filter.west && r.longitude <= filter.east);
    return inLongitude && r.latitude >= filter.south && r.latitude <= filter.north;
}

}  // namespace

bool ParseBoundingBox(std::string_view text, ExportFilter& filter, std::string& problem) {
    if (std::count(text.begin(), text.end(), ',') != 3) {
        problem = "\"" + std::string(text) + "\" is not four numbers S,W,N,E";
        return false;
    }
    const char* names[4] = {"south", "west", "north", "east"};
    std::int32_t edges[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string_view edge = text.substr(0, text.find(','));
        if (!exchange::ParseDegrees(edge, i % 2 == 0 ? 90 : 180, edges[i])) {
            problem = "the " + std::string(names[i]) + " edge \"" + std::string(edge) + "\" is no number of degrees from " +
                      (i % 2 == 0 ? "-90 to 90" : "-180 to 180");
            return false;
        }
        text.remove_prefix(std::min(text.size(), edge.size() + 1));
    }
    if (edges[0] > edges[2]) {
        problem = "the south edge lies north of the north edge";
        return false;
    }
    filter.bounded = true;
    filter.south = edges[0];
    filter.west = edges[1];
    filter.north = edges[2];
    filter.east = edges[3];
    return true;
}

ExportResult ExportCameras(const std::string& cachePath, ExchangeFormat format, const ExportFilter& filter,
                           const ExportSink& sink, ExportSummary& summary) {
    summary = {};
    const int fd = ::open(cachePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        summary.error = errno;
        return ExportResult::kCacheUnreadable;
    }
    std::string out;
    out.reserve(kFlushAt + 4096);
    const FormatWriter& writer = kWriters[static_cast<std::size_t>(format)];
    writer.start(out);
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
            if (!Keeps(filter, r)) continue;
            writer.camera(out, r, summary.cameras);
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
    writer.end(out);
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
