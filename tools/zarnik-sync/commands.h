#pragma once
#include <string>
#include <vector>

#include "engine/outcome.h"
#include "tools/cli/program_cli.h"

namespace zsync {

using zcli::kExitFailed;
using zcli::kExitOk;
using zcli::kExitUsage;

// -q/--quiet and -v/--verbose, taken by every command.
struct Verbosity {
    bool quiet = false;    // errors only: no progress, no summary
    bool verbose = false;  // also where the files are, the service asked, every transfer
};

struct BuildMtcOptions {
    std::string cache;  // empty: the working folder's
    std::string out;    // empty: the working folder's
};

struct SyncCommandOptions {
    bool pcOnly = false;
    int timeoutSeconds = 0;  // 0: the transport's own limits
};

struct SettingsSetOptions {
    // Only the values given are stored; each is checked first, and nothing is stored when one
    // is refused.
    std::string url, name, serial, email, device, language;
    bool urlGiven = false, nameGiven = false, serialGiven = false, emailGiven = false, deviceGiven = false,
         languageGiven = false;
};

struct ExportOptions {
    std::string format;  // "gpx", "csv", "geojson" or "kml"
    bool personalOnly = false;
    std::string bbox;    // "S,W,N,E" in degrees; empty: the whole world
    bool categoryGiven = false;
    int category = 0;
    std::string out;     // empty: standard output
    std::string cache;   // empty: the working folder's local.cache
};

struct ImportOsmOptions {
    std::vector<std::string> files;
    bool clear = false;
};

// Shown wherever OpenStreetMap data is used, as its licence asks.
inline constexpr const char* kOsmAttribution = "© OpenStreetMap contributors, ODbL";

// One group per file (cmd_<group>.cpp); main.cpp builds the command line and calls them.
int RunBuildMtc(const BuildMtcOptions& options, const Verbosity& verbosity);
int RunCountMtc(const std::string& file, const Verbosity& verbosity);
int RunSync(const SyncCommandOptions& options, const Verbosity& verbosity);
int RunStatus(int timeoutSeconds, const Verbosity& verbosity);
int RunSettingsShow(const Verbosity& verbosity);
int RunSettingsSet(const SettingsSetOptions& options, const Verbosity& verbosity);
int RunSettingsUnset(const std::string& name, const Verbosity& verbosity);
int RunExport(const ExportOptions& options, const Verbosity& verbosity);
int RunImportReports(const std::string& file, bool dryRun, const Verbosity& verbosity);
int RunImportOsm(const ImportOsmOptions& options, const Verbosity& verbosity);

// Prints "zarnik-sync: <message>" on stderr and gives the status to exit with.
int Fail(int status, const std::string& message);
// The same for a failed outcome: its message (unless shown already), then "Cause: <cause>"
// under it when the cause is known.
int Fail(int status, const engine::Outcome& outcome);

}  // namespace zsync
