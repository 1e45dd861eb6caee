#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/change_record.h"

// Cameras out to map programs and the user's own reports in from them. The export writes the
// cameras of a camera cache as GPX 1.1 waypoints, CSV rows, a GeoJSON FeatureCollection of
// Points (RFC 7946) or KML Placemarks; the import reads a GPX, CSV, KML or GeoJSON file and
// appends each waypoint, row or point to the personal-updates file as an added camera, which the next
// synchronisation sends through the duplicate test like any report made on the device.
namespace engine {

enum class ExchangeFormat : std::int32_t { kGpx = 0, kCsv = 1, kGeoJson = 2, kKml = 3 };

// The namespace of the GPX extension elements that carry what GPX has no place for.
inline constexpr const char* kGpxExtensionNamespace = "urn:zarnik:camera:1";
// The CSV header line (without its line end); positions in decimal degrees.
inline constexpr const char* kCsvHeader = "latitude,longitude,name,direction,category,extra,id,personal";

// The header names a CSV import takes for the position, as map programs spell them.
inline constexpr const char* kCsvLatitudeNames[] = {"latitude", "lat", "y"};
inline constexpr const char* kCsvLongitudeNames[] = {"longitude", "lon", "lng", "long", "x"};

// Millionths of a degree as decimal degrees with six places, as every format writes them.
std::string DegreesText(std::int32_t micro);

// Gives false when the bytes could not be written; the export then stops.
using ExportSink = std::function<bool(const char* data, std::size_t size)>;

enum class ExportResult : std::int32_t {
    kWritten = 0,
    kCacheUnreadable = 1,  // the cache could not be opened or read
    kWriteFailed = 2,      // the sink refused bytes
};

struct ExportSummary {
    std::size_t cameras = 0;  // cameras written
    int error = 0;            // errno of an unreadable cache
};

// Which cameras an export keeps; by default all of them.
struct ExportFilter {
    bool personalOnly = false;  // the user's personal cameras only (flag 0)
    bool bounded = false;       // only those inside the box below, edges included
    std::int32_t south = 0, west = 0, north = 0, east = 0;  // millionths of a degree
    bool oneCategory = false;   // only the cameras of this category
    std::int32_t category = 0;
};

// Reads "S,W,N,E" in decimal degrees into the filter's box. A west edge east of the east edge
// is a box across the date line. False, with problem saying why, for anything else, a south
// edge north of the north edge included; the filter is then unchanged.
bool ParseBoundingBox(std::string_view text, ExportFilter& filter, std::string& problem);

// Streams the cameras of the cache file that pass the filter to the sink in bounded pieces
// (memory stays the same for any cache size). A trailing partial record is ignored, as every
// reader of the cache does. On failure the sink has been given part of the output: the caller
// discards it (the CLI writes through an atomic file).
ExportResult ExportCameras(const std::string& cachePath, ExchangeFormat format, const ExportFilter& filter,
                           const ExportSink& sink, ExportSummary& summary);

enum class ImportResult : std::int32_t {
    kAppended = 0,
    kUnreadable = 1,       // the reports file could not be opened or read
    kBadFile = 2,          // a line that is no camera, or a value out of range; see line and problem
    kUpdatesDamaged = 3,   // the personal-updates file ends in a partial record, or holds unreadable ones
    kWriteFailed = 4,      // the personal-updates file could not be written
    kNothingFound = 5,     // a well-formed file without a single waypoint, row or point
};

struct ImportSummary {
    std::size_t appended = 0;  // records appended
    std::size_t line = 0;      // the line of the file a bad file is bad at
    std::string problem;       // what is wrong there, or the system's reason
};

// Reads the reports file (by its content: an XML document whose first element is "kml" is KML,
// any other XML document GPX, JSON GeoJSON, anything else CSV) and appends one "add"
// record per waypoint, row or point to the personal-updates file (created when missing). A file
// holding no camera at all is refused too (it is not the file meant), and the personal-updates
// file is then not created. The file is checked whole before anything lasts: on every failure
// the personal-updates file is exactly as it was. Lines, waypoints, placemarks and JSON texts or
// numbers longer than 64 KiB are bad. A personal-updates file holding records that are no
// readable reports (IsReadableReport) is never appended to.
// A GPX waypoint needs lat and lon; without our extension elements its direction is -1 (every
// direction) and its category and extra value 0. A CSV file needs a header line naming at least
// the latitude (kCsvLatitudeNames) and the longitude (kCsvLongitudeNames), in any letter case;
// the other columns are optional. KML takes the Placemarks holding a Point, GeoJSON a
// FeatureCollection's Point features, one Point feature or a bare Point; both pass over other
// geometries and read direction, category and extra from ExtendedData or properties.
ImportResult ImportReports(const std::string& reportsPath, const std::string& updatesPath, ImportSummary& summary);

class CachedCameraIndex;

// One report of a dry run: the "add" record, the line of the file it comes from, and whether
// the duplicate test would drop it against the cache.
struct ReportPreview {
    ChangeRecord record;
    std::size_t line = 0;
    bool duplicate = false;
};
using PreviewSink = std::function<void(const ReportPreview&)>;

// The import without writing anything: the same checks and results as ImportReports (the
// personal-updates file is checked, never written), then each report of the file, in file
// order, to each with the duplicate test's verdict against the cache. Nothing is handed to
// each from a file ImportReports would refuse. summary.appended counts the reports.
ImportResult PreviewImport(const std::string& reportsPath, const std::string& updatesPath,
                           const CachedCameraIndex& cache, const PreviewSink& each, ImportSummary& summary);

}  // namespace engine
