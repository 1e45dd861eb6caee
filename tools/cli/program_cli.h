#pragma once
// What the three programs share on their command lines: the exit statuses, the --version flag
// and the footer that documents them, and one way of reporting usage errors.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

namespace zcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

inline constexpr const char* kExitStatusFooter =
    "Exit status: 0 success, 1 failure, 2 usage error (unknown command or option, missing or bad value).\n";

// The version flag and the exit-status footer; call before adding subcommands, which inherit
// the footer.
inline void Describe(CLI::App& app) {
    app.set_version_flag("--version", std::string(ZARNIK_VERSION));
    app.footer(kExitStatusFooter);
}

// For programs made of commands: with no words at all the help goes to standard error, and a
// command word (after the program's own options, and their values) that is no command is named
// as such (CLI11 would only say one is required). Gives -1 to go on, else the status to exit with.
inline int CheckCommandWord(CLI::App& app, int argc, char** argv) {
    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    int at = 1;
    while (at < argc && argv[at][0] == '-') {
        const std::string option = argv[at++];
        if (option == "--") return -1;
        const CLI::Option* known = app.get_option_no_throw(option);  // "--timeout=5" is none: its value is in it
        if (known != nullptr && known->get_items_expected_min() > 0) ++at;
    }
    if (at >= argc) return -1;  // options alone: the parser says what is missing
    const std::string word = argv[at];
    if (word.empty()) return -1;
    if (!app.get_subcommands([&](CLI::App* c) { return c->get_name() == word; }).empty()) return -1;
    std::fprintf(stderr, "%s: unknown command %s; '%s --help' lists them\n", app.get_name().c_str(), word.c_str(),
                 app.get_name().c_str());
    return kExitUsage;
}

// Parses the command line. Gives -1 when the program is to go on; otherwise the status to exit
// with: 0 after --help or --version (printed on standard output), 2 after a usage error
// (printed on standard error with the program's name and a pointer to --help).
inline int Parse(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\nRun '%s --help' for help.\n", app.get_name().c_str(),
                     e.what(), app.get_name().c_str());
        return kExitUsage;
    }
    return -1;
}

// Runs a program's body; an exception that escapes it (a command line the library could not
// build, memory running out) ends the program with a message and status 1, never an abort.
template <class Body>
int Guarded(const char* program, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected failure\n", program);
    }
    return kExitFailed;
}

}  // namespace zcli
