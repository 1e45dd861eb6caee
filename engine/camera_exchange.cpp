#include "engine/camera_exchange.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/change_record.h"
#include "platform/atomic_file.h"
#include "platform/pc_files.h"
#include "service/camera_record.h"

namespace engine {

namespace {

using service::CameraRecord;

constexpr std::size_t kRecordsPerRead = 8192;
constexpr std::size_t kFlushAt = std::size_t{1} << 20;
constexpr std::size_t kLongestItem = std::size_t{64} * 1024;
constexpr std::int32_t kMicro = 1000000;

// ---- export ------------------------------------------------------------------------------------

void AppendInt(std::string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Millionths of a degree as decimal degrees with all six places, exactly: no rounding by a
// floating-point format, so an import reads back the very same number.
void AppendDegrees(std::string& out, std::int32_t micro) {
    long long value = micro;
    if (value < 0) {
        out.push_back('-');
        value = -value;
    }
    AppendInt(out, value / kMicro);
    char fraction[7] = {'.', '0', '0', '0', '0', '0', '0'};
    long long rest = value % kMicro;
    for (int i = 6; i >= 1; --i, rest /= 10) fraction[i] = static_cast<char>('0' + rest % 10);
    out.append(fraction, sizeof fraction);
}

// Names are 8-bit texts (Latin-1); map programs read UTF-8. Control bytes, which XML cannot
// carry at all, become blanks in both formats.
template <class Escape>
void AppendName(std::string& out, const CameraRecord& r, Escape&& escape) {
    const char* name = r.name;
    const std::size_t length = strnlen(name, sizeof r.name);
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            out.push_back(' ');
        } else if (c >= 0x80) {
            out.push_back(static_cast<char>(0xc0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
        } else if (!escape(out, static_cast<char>(c))) {
            out.push_back(static_cast<char>(c));
        }
    }
}

bool EscapeXml(std::string& out, char c) {
    switch (c) {
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    default: return false;
    }
}

bool EscapeCsv(std::string& out, char c) {
    if (c != '"') return false;
    out += "\"\"";
    return true;
}

void AppendGpxWaypoint(std::string& out, const CameraRecord& r) {
    out += "<wpt lat=\"";
    AppendDegrees(out, r.latitude);
    out += "\" lon=\"";
    AppendDegrees(out, r.longitude);
    out += "\"><name>";
    AppendName(out, r, EscapeXml);
    out += "</name><extensions><zarnik:direction>";
    AppendInt(out, r.direction);
    out += "</zarnik:direction><zarnik:category>";
    AppendInt(out, r.category);
    out += "</zarnik:category><zarnik:extra>";
    AppendInt(out, r.extra);
    out += "</zarnik:extra><zarnik:id>";
    AppendInt(out, r.identifier);
    out += "</zarnik:id><zarnik:personal>";
    out.push_back(r.flag == 0 ? '1' : '0');
    out += "</zarnik:personal></extensions></wpt>\n";
}

void AppendCsvRow(std::string& out, const CameraRecord& r) {
    AppendDegrees(out, r.latitude);
    out.push_back(',');
    AppendDegrees(out, r.longitude);
    out += ",\"";
    AppendName(out, r, EscapeCsv);
    out += "\",";
    AppendInt(out, r.direction);
    out.push_back(',');
    AppendInt(out, r.category);
    out.push_back(',');
    AppendInt(out, r.extra);
    out.push_back(',');
    AppendInt(out, r.identifier);
    out.push_back(',');
    out.push_back(r.flag == 0 ? '1' : '0');
    out.push_back('\n');
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
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"zarnik-sync\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
               "xmlns:zarnik=\"";
        out += kGpxExtensionNamespace;
        out += "\">\n";
    } else {
        out += kCsvHeader;
        out.push_back('\n');
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
                AppendGpxWaypoint(out, r);
            } else {
                AppendCsvRow(out, r);
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
    if (format == ExchangeFormat::kGpx) out += "</gpx>\n";
    return sink(out.data(), out.size()) ? ExportResult::kWritten : ExportResult::kWriteFailed;
}

// ---- import ------------------------------------------------------------------------------------

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Decimal degrees into millionths, rounded half away from zero at the seventh place; no
// exponent, no "inf", nothing a locale could change.
bool ParseDegrees(std::string_view text, std::int32_t limit, std::int32_t& micro) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long whole = 0;
    std::size_t i = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        whole = whole * 10 + (text[i] - '0');
        if (whole > 1000) return false;
    }
    long long fraction = 0;
    int places = 0;
    bool roundUp = false;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            if (places < 6) {
                fraction = fraction * 10 + (text[i] - '0');
                ++places;
            } else if (places == 6) {
                roundUp = text[i] >= '5';
                ++places;
            }
        }
    }
    if (digits == 0 || i != text.size()) return false;
    for (; places < 6; ++places) fraction *= 10;
    long long value = whole * kMicro + fraction + (roundUp ? 1 : 0);
    if (value > static_cast<long long>(limit) * kMicro) return false;
    micro = static_cast<std::int32_t>(negative ? -value : value);
    return true;
}

bool ParseInt(std::string_view text, std::int32_t& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool KnownDirection(std::int32_t direction) { return direction == -1 || direction == -2 || (direction >= 0 && direction <= 720); }

struct Camera {
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::int32_t direction = -1;
    std::int32_t category = 0;
    std::int32_t extra = 0;
};

// Checks the values read as text; an empty optional value keeps its start value.
bool FillCamera(std::string_view lat, std::string_view lon, std::string_view direction, std::string_view category,
                std::string_view extra, Camera& camera, std::string& problem) {
    if (!ParseDegrees(lat, 90, camera.latitude)) {
        problem = "the latitude \"" + std::string(Trim(lat)) + "\" is no number of degrees from -90 to 90";
        return false;
    }
    if (!ParseDegrees(lon, 180, camera.longitude)) {
        problem = "the longitude \"" + std::string(Trim(lon)) + "\" is no number of degrees from -180 to 180";
        return false;
    }
    if (!Trim(direction).empty() && (!ParseInt(direction, camera.direction) || !KnownDirection(camera.direction))) {
        problem = "the direction \"" + std::string(Trim(direction)) +
                  "\" is none of -1 (every), -2 (none), 0 to 360 (a heading), 361 to 720 (both ways)";
        return false;
    }
    if (!Trim(category).empty() && !ParseInt(category, camera.category)) {
        problem = "the category \"" + std::string(Trim(category)) + "\" is no whole number";
        return false;
    }
    if (!Trim(extra).empty() && !ParseInt(extra, camera.extra)) {
        problem = "the extra value \"" + std::string(Trim(extra)) + "\" is no whole number";
        return false;
    }
    return true;
}

ChangeRecord AddRecord(const Camera& camera) {
    ChangeRecord record{};
    record.latitude = camera.latitude;
    record.longitude = camera.longitude;
    record.category = camera.category;
    record.extra = camera.extra;
    record.direction = camera.direction;
    record.action = ChangeAction::kAdd;
    return record;
}

// Reads a file in pieces, keeping lines counted.
class ChunkReader {
public:
    explicit ChunkReader(int fd) : fd_(fd) {}
    // Appends the next piece to buffer; false at the end; error set when the read failed.
    bool More(std::string& buffer) {
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = errno;
            if (got <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
    }
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

std::size_t CountLines(std::string_view text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// The texts of the child elements named direction, category and extra (any prefix), in one
// pass over the waypoint's tags; the first of each name counts.
void ChildTexts(std::string_view element, std::string_view& direction, std::string_view& category,
                std::string_view& extra) {
    for (std::size_t at = element.find('<'); at != std::string_view::npos; at = element.find('<', at + 1)) {
        std::size_t nameEnd = at + 1;
        while (nameEnd < element.size() && std::string_view("> \t\r\n/").find(element[nameEnd]) == std::string_view::npos) {
            ++nameEnd;
        }
        if (nameEnd >= element.size() || element[nameEnd] != '>') continue;
        std::string_view name = element.substr(at + 1, nameEnd - at - 1);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
        std::string_view* slot = name == "direction" ? &direction
                                 : name == "category" ? &category
                                 : name == "extra"    ? &extra
                                                      : nullptr;
        if (slot == nullptr || !slot->empty()) continue;
        const std::size_t end = element.find('<', nameEnd + 1);
        if (end == std::string_view::npos) return;
        *slot = element.substr(nameEnd + 1, end - nameEnd - 1);
        at = end - 1;
    }
}

// memmem: a two-way search, far faster than scanning for each "<" in turn.
std::size_t FindText(const std::string& text, std::string_view what, std::size_t from) {
    if (from >= text.size()) return std::string::npos;
    const void* hit = ::memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return hit == nullptr ? std::string::npos : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// An attribute of a start tag: name="value" or name='value'.
bool Attribute(std::string_view tag, std::string_view name, std::string_view& value) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const char before = at > 0 ? tag[at - 1] : '<';
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n') continue;
        std::size_t p = at + name.size();
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) return false;
        const std::size_t close = tag.find(tag[p], p + 1);
        if (close == std::string_view::npos) return false;
        value = tag.substr(p + 1, close - p - 1);
        return true;
    }
    return false;
}

using RecordSink = std::function<bool(const ChangeRecord&)>;

ImportResult ReadGpx(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary) {
    std::size_t line = 1;  // the line buffer[pos] is on
    std::size_t pos = 0;   // what lies before it is done with
    bool more = true;
    const auto advance = [&](std::size_t to) {
        line += CountLines(std::string_view(buffer).substr(pos, to - pos));
        pos = to;
    };
    for (;;) {
        const std::size_t start = FindText(buffer, "<wpt", pos);
        const bool isWaypoint = start != std::string::npos && start + 4 < buffer.size() &&
                                std::string_view(" \t\r\n/>").find(buffer[start + 4]) != std::string_view::npos;
        if (start != std::string::npos && !isWaypoint && start + 4 < buffer.size()) {
            advance(start + 4);  // "<wptx": not ours; look past it
            continue;
        }
        std::size_t end = std::string::npos;
        if (isWaypoint) {
            const std::size_t tagEnd = buffer.find('>', start);
            if (tagEnd != std::string::npos && buffer[tagEnd - 1] == '/') {
                end = tagEnd + 1;
            } else if (tagEnd != std::string::npos) {
                const std::size_t close = FindText(buffer, "</wpt>", tagEnd);
                if (close != std::string::npos) end = close + 6;
            }
        }
        if (end == std::string::npos) {
            if (isWaypoint && buffer.size() - start > kLongestItem) {
                advance(start);
                summary.line = line;
                summary.problem = "a waypoint longer than 64 KiB, or one that never ends";
                return ImportResult::kBadFile;
            }
            if (!more) {
                if (isWaypoint) {
                    advance(start);
                    summary.line = line;
                    summary.problem = "the file ends inside a waypoint";
                    return ImportResult::kBadFile;
                }
                return reader.error() != 0 ? ImportResult::kUnreadable : ImportResult::kAppended;
            }
            // Keep what could still begin a waypoint, drop the rest.
            advance(isWaypoint ? start : std::max(pos, buffer.size() > 4 ? buffer.size() - 4 : 0));
            buffer.erase(0, pos);
            pos = 0;
            more = reader.More(buffer);
            continue;
        }
        advance(start);
        const std::string_view element = std::string_view(buffer).substr(start, end - start);
        const std::string_view tag = element.substr(0, element.find('>'));
        std::string_view lat, lon, direction, category, extra;
        Camera camera;
        summary.line = line;
        if (!Attribute(tag, "lat", lat) || !Attribute(tag, "lon", lon)) {
            summary.problem = "a waypoint without lat and lon";
            return ImportResult::kBadFile;
        }
        ChildTexts(element, direction, category, extra);
        if (!FillCamera(lat, lon, direction, category, extra, camera, summary.problem)) return ImportResult::kBadFile;
        if (!add(AddRecord(camera))) return ImportResult::kWriteFailed;
        advance(end);
    }
}

// Splits one CSV record (RFC 4180 quoting) off the buffer's front; false when it is not all
// there yet. A record's quoted field may hold line ends.
bool NextCsvRecord(std::string_view buffer, bool atEnd, std::vector<std::string>& fields, std::size_t& used,
                   bool& unclosedQuote) {
    fields.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const char c = buffer[i];
        if (quoted) {
            if (c != '"') {
                fields.back().push_back(c);
            } else if (i + 1 < buffer.size() && buffer[i + 1] == '"') {
                fields.back().push_back('"');
                ++i;
            } else if (i + 1 == buffer.size() && !atEnd) {
                return false;  // a doubled quote may follow
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            used = i + 1;
            return true;
        } else {
            fields.back().push_back(c);
        }
    }
    if (!atEnd || buffer.empty()) return false;
    unclosedQuote = quoted;
    used = buffer.size();
    return true;
}

std::string Lower(std::string_view text) {
    std::string out(Trim(text));
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

ImportResult ReadCsv(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary) {
    enum Column { kLat, kLon, kDirection, kCategory, kExtra, kColumns };
    long column[kColumns] = {-1, -1, -1, -1, -1};
    std::size_t headerFields = 0;
    std::size_t line = 1;
    std::size_t pos = 0;  // what lies before it is done with
    bool more = true;
    bool header = true;
    std::vector<std::string> fields;
    for (;;) {
        std::size_t used = 0;
        bool unclosedQuote = false;
        const std::string_view rest = std::string_view(buffer).substr(pos);
        if (!NextCsvRecord(rest, !more, fields, used, unclosedQuote)) {
            if (!more) break;
            if (rest.size() > kLongestItem) {
                summary.line = line;
                summary.problem = "a line longer than 64 KiB, or a quoted field that never ends";
                return ImportResult::kBadFile;
            }
            buffer.erase(0, pos);
            pos = 0;
            more = reader.More(buffer);
            continue;
        }
        const std::size_t recordLine = line;
        line += CountLines(rest.substr(0, used));
        pos += used;
        summary.line = recordLine;
        if (unclosedQuote) {
            summary.problem = "a quoted field that never ends";
            return ImportResult::kBadFile;
        }
        if (fields.size() == 1 && Trim(fields[0]).empty()) continue;  // an empty line
        if (header) {
            header = false;
            headerFields = fields.size();
            for (std::size_t i = 0; i < fields.size(); ++i) {
                std::string name = Lower(fields[i]);
                if (i == 0 && name.rfind("\xef\xbb\xbf", 0) == 0) name.erase(0, 3);
                const auto index = static_cast<long>(i);
                if (name == "latitude" || name == "lat") column[kLat] = index;
                if (name == "longitude" || name == "lon" || name == "lng") column[kLon] = index;
                if (name == "direction") column[kDirection] = index;
                if (name == "category") column[kCategory] = index;
                if (name == "extra") column[kExtra] = index;
            }
            if (column[kLat] < 0 || column[kLon] < 0) {
                summary.problem = "the first line must be a header naming the latitude and longitude columns";
                return ImportResult::kBadFile;
            }
            continue;
        }
        if (fields.size() != headerFields) {
            summary.problem = std::to_string(fields.size()) + " fields where the header names " +
                              std::to_string(headerFields);
            return ImportResult::kBadFile;
        }
        const auto field = [&](Column c) {
            return column[c] >= 0 ? std::string_view(fields[static_cast<std::size_t>(column[c])]) : std::string_view();
        };
        Camera camera;
        if (!FillCamera(field(kLat), field(kLon), field(kDirection), field(kCategory), field(kExtra), camera,
                        summary.problem)) {
            return ImportResult::kBadFile;
        }
        if (!add(AddRecord(camera))) return ImportResult::kWriteFailed;
    }
    if (reader.error() != 0) return ImportResult::kUnreadable;
    if (header) {
        summary.line = 1;
        summary.problem = "the file is empty";
        return ImportResult::kBadFile;
    }
    return ImportResult::kAppended;
}

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
    ChunkReader reader(fd);
    std::string buffer;
    bool more = reader.More(buffer);
    while (more && buffer.size() < 64) more = reader.More(buffer);
    std::size_t first = buffer.rfind("\xef\xbb\xbf", 0) == 0 ? 3 : 0;
    while (first < buffer.size() && std::string_view(" \t\r\n").find(buffer[first]) != std::string_view::npos) ++first;
    const bool gpx = first < buffer.size() && buffer[first] == '<';
    const RecordSink add = [&](const ChangeRecord& record) {
        if (!out.Write(&record, sizeof record)) return false;
        ++summary.appended;
        return true;
    };
    ImportResult result = gpx ? ReadGpx(reader, buffer, add, summary) : ReadCsv(reader, buffer, add, summary);
    ::close(fd);
    if (result == ImportResult::kUnreadable) summary.problem = std::strerror(reader.error());
    if (result == ImportResult::kAppended && !out.Commit()) result = ImportResult::kWriteFailed;
    if (result == ImportResult::kWriteFailed) summary.problem = std::strerror(errno);
    if (result != ImportResult::kAppended) {
        out.Abort();
        summary.appended = 0;
    }
    return result;
}

}  // namespace engine
