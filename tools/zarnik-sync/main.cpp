// zarnik-sync: the headless tool. Each command lives in a cmd_<group>.cpp; this file only
// describes the command line and runs the command chosen.
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "commands.h"

namespace zsync {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "zarnik-sync: %s\n", message.c_str());
    return status;
}

int Fail(int status, const engine::Outcome& outcome) {
    if (!outcome.message().empty()) Fail(status, outcome.message());
    if (!outcome.cause().empty()) std::fprintf(stderr, "Cause: %s\n", outcome.cause().c_str());
    return status;
}

namespace {

void AddVerbosity(CLI::App* command, Verbosity& verbosity) {
    command->add_flag("-q,--quiet", verbosity.quiet, "print errors only");
    command->add_flag("-v,--verbose", verbosity.verbose, "also print where the files are and every transfer");
    command->get_option("--quiet")->excludes("--verbose");
}

CLI::App* AddCommand(CLI::App& app, const char* name, const char* description, Verbosity& verbosity) {
    CLI::App* command = app.add_subcommand(name, description);
    AddVerbosity(command, verbosity);
    return command;
}

CLI::Option* AddTimeout(CLI::App* command, int& seconds) {
    return command
        ->add_option("--timeout", seconds,
                     "give up on a service that does not answer for SECONDS (default: 30 to connect, 60 "
                     "without a byte)")
        ->check(CLI::Range(1, 3600))
        ->type_name("SECONDS");
}

// Typed before the command, -q, -v and --timeout mean what they mean after it. They land in the
// same places; the checks that CLI11 makes within one command are made here across the two.
struct GlobalOptions {
    CLI::Option* timeout = nullptr;
    int timeoutSeconds = 0;
};

void AddGlobalOptions(CLI::App& app, Verbosity& verbosity, GlobalOptions& global) {
    AddVerbosity(&app, verbosity);
    global.timeout = AddTimeout(&app, global.timeoutSeconds);
    global.timeout->description("sync and status: " + global.timeout->get_description());
}

// After every command's own options are in: a --timeout typed before the command goes to it,
// unless it takes none (a limit silently dropped would mislead) or was given its own.
void ApplyGlobalOptions(const GlobalOptions& global, const Verbosity& verbosity,
                        std::initializer_list<std::pair<CLI::App*, int*>> timed) {
    if (verbosity.quiet && verbosity.verbose) throw CLI::ExcludesError("--quiet", "--verbose");
    if (global.timeout->count() == 0) return;
    for (const auto& [command, seconds] : timed) {
        if (!command->parsed()) continue;
        if (command->count("--timeout") > 0) {
            throw CLI::ValidationError("--timeout given twice, before and after " + command->get_name());
        }
        *seconds = global.timeoutSeconds;
        return;
    }
    throw CLI::ValidationError("--timeout is taken only by sync and status");
}

}  // namespace

}  // namespace zsync

namespace {

int Run(int argc, char** argv) {
    using namespace zsync;
    CLI::App app{"zarnik-sync: keeps the speed cameras of a navigation device up to date from the camera "
                 "database service, without a window. The PC files live in the working folder: $ZARNIK_HOME, "
                 "else $XDG_DATA_HOME/zarnik, else ~/.local/share/zarnik.",
                 "zarnik-sync"};
    zcli::Describe(app);
    app.require_subcommand(1);

    Verbosity verbosity;
    GlobalOptions global;
    AddGlobalOptions(app, verbosity, global);
    std::function<int()> run;

    BuildMtcOptions build;
    CLI::App* buildMtc = AddCommand(app, "build-mtc",
                                    "build the speed-camera file from a camera cache (default: the working "
                                    "folder's local.cache into its zarniks.mtc)",
                                    verbosity);
    buildMtc->add_option("--cache", build.cache, "the camera cache to read")->type_name("FILE");
    buildMtc->add_option("--out", build.out, "the speed-camera file to write")->type_name("FILE");
    buildMtc->callback([&] { run = [&] { return RunBuildMtc(build, verbosity); }; });

    std::string countFile;
    CLI::App* countMtc = AddCommand(
        app, "count-mtc", "print the number of cameras in a speed-camera file (default: the working folder's "
                          "zarniks.mtc)",
        verbosity);
    countMtc->add_option("FILE", countFile, "the speed-camera file");
    countMtc->callback([&] { run = [&] { return RunCountMtc(countFile, verbosity); }; });

    SyncCommandOptions sync;
    CLI::App* syncCommand = AddCommand(
        app, "sync",
        "synchronise the device of the chosen model with the service: its reports in, the camera cache "
        "brought up to date, the new speed-camera file out",
        verbosity);
    syncCommand->add_flag("--pc-only", sync.pcOnly,
                          "no device: the working folder alone (poiupdates.upd in, zarniks.mtc out)");
    AddTimeout(syncCommand, sync.timeoutSeconds);
    syncCommand->callback([&] { run = [&] { return RunSync(sync, verbosity); }; });

    int statusTimeout = 0;
    CLI::App* status = AddCommand(app, "status",
                                  "the start-up exchanges with the service (alerts, information messages, "
                                  "version) and the counts of the device, the service and the PC",
                                  verbosity);
    AddTimeout(status, statusTimeout);
    status->callback([&] { run = [&] { return RunStatus(statusTimeout, verbosity); }; });

    CLI::App* settings = AddCommand(
        app, "settings", "show the registration data, service folder, device model and language (or set, unset them)",
        verbosity);
    settings->require_subcommand(0, 1);
    settings->callback([&] {
        if (!run) run = [&] { return RunSettingsShow(verbosity); };
    });
    CLI::App* show = AddCommand(*settings, "show", "show the settings (the default)", verbosity);
    show->callback([&] { run = [&] { return RunSettingsShow(verbosity); }; });

    SettingsSetOptions set;
    CLI::App* setCommand = AddCommand(*settings, "set", "check and store the values given; nothing is stored when "
                                                        "one is refused",
                                      verbosity);
    setCommand->add_option("--url", set.url, "web folder of the server-address file: http://HOST/FOLDER/")
        ->type_name("URL");
    setCommand->add_option("--name", set.name, "registration name (at most 255 bytes)")->type_name("TEXT");
    setCommand->add_option("--serial", set.serial, "serial number (at most 255 bytes)")->type_name("TEXT");
    setCommand->add_option("--email", set.email, "e-mail address (at most 255 bytes)")->type_name("TEXT");
    setCommand->add_option("--device", set.device, "device model: its line in devices.ini counting from 0, or its name")
        ->type_name("N|NAME");
    setCommand->add_option("--language", set.language, "language code with a language pack (1033 English)")
        ->type_name("CODE");
    setCommand->callback([&] {
        set.urlGiven = setCommand->count("--url") > 0;
        set.nameGiven = setCommand->count("--name") > 0;
        set.serialGiven = setCommand->count("--serial") > 0;
        set.emailGiven = setCommand->count("--email") > 0;
        set.deviceGiven = setCommand->count("--device") > 0;
        set.languageGiven = setCommand->count("--language") > 0;
        run = [&] { return RunSettingsSet(set, verbosity); };
    });

    std::string unsetName;
    CLI::App* unset = AddCommand(*settings, "unset", "clear one value", verbosity);
    unset->add_option("NAME", unsetName, "url, name, serial, email, device or language")->required();
    unset->callback([&] { run = [&] { return RunSettingsUnset(unsetName, verbosity); }; });

    ExportOptions exportOptions;
    CLI::App* exportCommand = AddCommand(
        app, "export",
        "write the cameras of the local cache for map programs: GPX 1.1 waypoints, CSV, GeoJSON or KML", verbosity);
    exportCommand->add_option("--format", exportOptions.format, "gpx, csv, geojson or kml")
        ->required()
        ->check(CLI::IsMember({"gpx", "csv", "geojson", "kml"}));
    exportCommand->add_flag("--personal", exportOptions.personalOnly, "only your personal cameras");
    exportCommand->add_option("--bbox", exportOptions.bbox, "only the cameras inside this box, in degrees (west > "
                                                            "east: across the date line)")
        ->type_name("S,W,N,E");
    exportCommand->add_option("--category", exportOptions.category, "only the cameras of this category")
        ->type_name("C");
    exportCommand->add_option("--out", exportOptions.out, "the file to write (default: standard output)")
        ->type_name("FILE");
    exportCommand->add_option("--cache", exportOptions.cache, "the camera cache to read (default: the working "
                                                              "folder's local.cache)")
        ->type_name("FILE");
    exportCommand->callback([&] {
        exportOptions.categoryGiven = exportCommand->count("--category") > 0;
        run = [&] { return RunExport(exportOptions, verbosity); };
    });

    std::string reportsFile;
    bool dryRun = false;
    CLI::App* import = AddCommand(app, "import-reports",
                                  "add your own new cameras from a GPX, CSV, KML or GeoJSON file to the working "
                                  "folder's poiupdates.upd; the next synchronisation sends them",
                                  verbosity);
    import->add_option("FILE", reportsFile, "a .gpx, .csv, .kml or .geojson file (as export writes them)")->required();
    import->add_flag("--dry-run", dryRun,
                     "write nothing: list each point that would be appended, and whether the duplicate test "
                     "would drop it against local.cache");
    import->callback([&] { run = [&] { return RunImportReports(reportsFile, dryRun, verbosity); }; });

    ImportOsmOptions osmOptions;
    const std::string importOsmHelp =
        std::string("replace the working folder's osm.cache with the speed cameras of OpenStreetMap files (PBF "
                    ".osm.pbf, XML .osm, .osm.gz, .osm.bz2): nodes tagged highway=speed_camera and the devices of "
                    "type=enforcement relations; every camera file built from then on holds those that duplicate "
                    "none of the service's. Data: ") +
            kOsmAttribution;
    CLI::App* importOsm = AddCommand(app, "import-osm", importOsmHelp.c_str(), verbosity);
    importOsm->add_option("FILE", osmOptions.files, "OpenStreetMap files, read together")->type_name("FILE...");
    importOsm->add_flag("--clear", osmOptions.clear, "remove osm.cache instead");
    importOsm->callback([&] { run = [&] { return RunImportOsm(osmOptions, verbosity); }; });

    app.callback([&] { ApplyGlobalOptions(global, verbosity, {{syncCommand, &sync.timeoutSeconds}, {status, &statusTimeout}}); });

    if (const int status = zcli::CheckCommandWord(app, argc, argv); status >= 0) return status;
    if (const int status = zcli::Parse(app, argc, argv); status >= 0) return status;
    return run ? run() : kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    return zcli::Guarded("zarnik-sync", [&] { return Run(argc, argv); });
}
