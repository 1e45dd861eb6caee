#include "engine/csv_format.h"

#include <string_view>
#include <vector>

namespace engine::formats {

namespace {

using service::CameraRecord;

bool EscapeCsv(std::string& out, char c) {
    if (c != '"') return false;
    out += "\"\"";
    return true;
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

template <std::size_t N>
std::string Names(const char* const (&names)[N]) {
    std::string list;
    for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

}  // namespace

// A CSV file has no place for the attribution that map programs would read without
// mistaking it for a row.
void AppendCsvStart(std::string& out, bool /*openStreetMap*/) {
    out += kCsvHeader;
    out.push_back('\n');
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
                for (const char* known : kCsvLatitudeNames) {
                    if (name == known) column[kLat] = index;
                }
                for (const char* known : kCsvLongitudeNames) {
                    if (name == known) column[kLon] = index;
                }
                if (name == "direction") column[kDirection] = index;
                if (name == "category") column[kCategory] = index;
                if (name == "extra") column[kExtra] = index;
            }
            if (column[kLat] < 0 || column[kLon] < 0) {
                summary.problem = "the first line must be a header naming the latitude column (" + Names(kCsvLatitudeNames) +
                                  ") and the longitude column (" + Names(kCsvLongitudeNames) + "), in any letter case";
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

}  // namespace engine::formats
