// The conventions a user of zarnik-sync relies on, as they type it: help on every command and
// nothing run by asking for it, usage errors with status 2, settings checked before they are
// stored, and a working folder that is never the current folder by accident.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "run_tool.h"
#include "temp_dir.h"
#include "tests/service/writer/mtc_golden.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
using tooltest::RunZarnikSync;

// Sets (or, with nullopt, clears) an environment variable for one test and puts it back.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class CommandLine : public ::testing::Test {
protected:
    TempDir work_;
    EnvVar home_{"ZARNIK_HOME", work_.file("home")};
    EnvVar settings_{"ZARNIK_SETTINGS", work_.file("settings.reg")};
    EnvVar resources_{"ZARNIK_RESOURCES", std::string(std::getenv("ZARNIK_SOURCE_DIR") ? std::getenv("ZARNIK_SOURCE_DIR") : ".") +
                                              "/resources"};
};

TEST_F(CommandLine, HelpOnEveryCommandRunsNothing) {
    const std::vector<std::vector<std::string>> asks = {
        {"--help"},        {"sync", "--help"},          {"sync", "--pc-only", "-h"}, {"status", "--help"},
        {"build-mtc", "-h"}, {"count-mtc", "--help"},   {"settings", "--help"},     {"settings", "set", "--help"},
        {"settings", "unset", "--help"}, {"export", "--help"}, {"import-reports", "--help"}};
    for (const auto& args : asks) {
        SCOPED_TRACE(args.back() + " after " + args.front());
        const auto run = RunZarnikSync(args, work_.path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("Exit status: 0 success, 1 failure, 2 usage error"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(".\\"), std::string::npos) << "a Windows path in the help";
    }
    // Asking how to synchronise neither synchronises nor makes the working folder.
    EXPECT_FALSE(FileExists(work_.file("home")));
    EXPECT_FALSE(FileExists(work_.file("settings.reg")));
    const auto version = RunZarnikSync({"--version"}, work_.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, ZARNIK_VERSION "\n");
}

TEST_F(CommandLine, UsageErrorsExitWithTwoAndSayWhat) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{}, "Usage: zarnik-sync"},
        {{"bulid-mtc"}, "unknown command bulid-mtc"},
        {{"build-mtc", "--force"}, "--force"},
        {{"build-mtc", "--cache"}, "--cache"},
        {{"build-mtc", "stray"}, "stray"},
        {{"count-mtc", "a.mtc", "b.mtc"}, "b.mtc"},
        {{"sync", "--timeout", "0"}, "--timeout"},
        {{"sync", "--timeout", "soon"}, "--timeout"},
        {{"sync", "-q", "-v"}, "--verbose"},
        {{"status", "--pc-only"}, "--pc-only"},
        {{"export"}, "--format"},
        {{"export", "--format", "shp"}, "shp"},
        {{"import-reports"}, "FILE"},
        {{"settings", "frob"}, "frob"},
        {{"settings", "set"}, "give at least one"},
        {{"settings", "unset", "colour"}, "colour is none of"},
        {{"settings", "set", "--device"}, "--device"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const auto run = RunZarnikSync(c.args, work_.path());
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_FALSE(FileExists(work_.file("settings.reg")));
}

// -q, -v and --timeout typed before the command act as after it, with the same checks.
TEST_F(CommandLine, GlobalOptionsWorkBeforeTheCommand) {
    const std::string cache = samples::MtcGolden("negative_cells.cache");
    const std::string out = work_.file("out.mtc");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;  // on stdout for status 0, else on stderr; empty: stdout stays empty
    } cases[] = {
        {{"-q", "build-mtc", "--cache", cache, "--out", out}, 0, ""},
        {{"-v", "build-mtc", "--cache", cache, "--out", out}, 0, "wrote 3 cameras"},
        {{"-q", "build-mtc", "-v", "--cache", cache}, 2, "--quiet excludes --verbose"},
        {{"-q", "bulid-mtc"}, 2, "unknown command bulid-mtc"},
        {{"--timeout", "5", "count-mtc", out}, 2, "--timeout is taken only by sync and status"},
        {{"--timeout", "0", "sync"}, 2, "--timeout"},
        {{"--timeout=5", "-q", "sync", "--pc-only"}, 1, "the registration data is incomplete"},
        {{"--timeout", "5", "status", "--timeout", "7", "-q"}, 2, "--timeout given twice"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const auto run = RunZarnikSync(c.args, work_.path());
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == 0) {
            EXPECT_EQ(run.out.empty(), *c.says == '\0') << run.out;
            EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
        } else {
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        }
    }
}

TEST_F(CommandLine, SettingsAreCheckedStoredReadablyAndUnset) {
    const std::string store = work_.file("settings.reg");
    const struct {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"--url", "ftp://example.org/"}, "must begin with http://"},
        {{"--url", "http:///folder/"}, "names no host"},
        {{"--url", "http://example.org:8080/POIDataBase/"}, "port 8080"},
        {{"--url", "http://example.org/POIDataBase"}, "must end with \"/\""},
        {{"--language", "9999"}, "no language pack for 9999"},
        {{"--language", "english"}, "locale number"},
        {{"--device", "8"}, "no model 8"},
        {{"--device", "Garmin"}, "no model Garmin"},
        {{"--name", std::string(256, 'n')}, "at most 255 bytes"},
        {{"--email", "a@b.c\nUrl=x"}, "one line"},
        // One bad value keeps the good ones out as well.
        {{"--name", "Ann", "--url", "gopher://x/"}, "http://"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args = {"settings", "set"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = RunZarnikSync(args, work_.path());
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_FALSE(FileExists(store));
    }

    ASSERT_EQ(RunZarnikSync({"settings", "set", "--url", "http://127.0.0.1:80/POIDataBase/", "--name", "Ann \"A\" Smith",
                             "--language", "1033", "--device", "vyo navigator 500 (wi-link)"},
                            work_.path())
                  .status,
              0);
    // One value a line, as a user would type it.
    const std::string text = ReadWholeFile(store);
    EXPECT_NE(text.find("\"Url\"=sz:\"http://127.0.0.1:80/POIDataBase/\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Device\"=dword:00000002\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\\x00"), std::string::npos) << text;

    ASSERT_EQ(RunZarnikSync({"settings", "unset", "url"}, work_.path()).status, 0);
    ASSERT_EQ(RunZarnikSync({"settings", "unset", "Device"}, work_.path()).status, 0);
    EXPECT_EQ(RunZarnikSync({"settings", "unset", "device"}, work_.path()).status, 0);  // already clear
    const auto shown = RunZarnikSync({"settings", "show"}, work_.path());
    EXPECT_NE(shown.out.find("url       http://127.0.0.1/POIDataBase/\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("device    (not set)\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("name      Ann \"A\" Smith\n"), std::string::npos) << shown.out;
}

// A transport code devices.ini does not know still reaches the device by the remote API: the
// user choosing such a model is told, and the choice is stored all the same.
TEST_F(CommandLine, AModelWithAnUnknownTransportCodeIsStoredWithAWarning) {
    std::filesystem::create_directories(work_.file("home"));
    WriteWholeFile(work_.file("home/devices.ini"), "Known:RA\nTypo:M3:ST\nLower:ma\nNone\n");
    const struct {
        const char* device;
        const char* warning;  // none: nothing on stderr
    } cases[] = {
        {"0", nullptr},
        {"typo", "(Typo) in "},
        {"2", "the transport code \"ma\", which is none of M1, M2, MA and RA: the remote API will be used\n"},
        {"3", "has no transport code, which is none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        const auto run = RunZarnikSync({"settings", "set", "--device", c.device}, work_.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err.empty(), c.warning == nullptr) << run.err;
        EXPECT_NE(run.err.find(c.warning != nullptr ? c.warning : ""), std::string::npos) << run.err;
        EXPECT_TRUE(FileExists(work_.file("settings.reg")));
    }
}

TEST_F(CommandLine, TheWorkingFolderFollowsXdgAndNeverFallsBackToTheCurrentFolder) {
    TempDir xdg, home;
    const struct {
        const char* what;
        std::optional<std::string> zarnikHome, xdgDataHome, userHome;
        std::string folder;  // where build-mtc looks; empty: nowhere
    } cases[] = {
        {"ZARNIK_HOME first", work_.file("home"), xdg.path(), home.path(), work_.file("home")},
        {"XDG_DATA_HOME next", std::nullopt, xdg.path(), home.path(), xdg.file("zarnik")},
        {"a relative XDG_DATA_HOME is ignored", std::nullopt, "relative", home.path(), home.file(".local/share/zarnik")},
        {"HOME last", std::nullopt, std::nullopt, home.path(), home.file(".local/share/zarnik")},
        {"nothing", std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EnvVar zarnik("ZARNIK_HOME", c.zarnikHome);
        EnvVar data("XDG_DATA_HOME", c.xdgDataHome);
        EnvVar user("HOME", c.userHome);
        const auto run = RunZarnikSync({"build-mtc"}, work_.path());
        EXPECT_EQ(run.status, 1);
        if (c.folder.empty()) {
            EXPECT_NE(run.err.find("HOME is not set"), std::string::npos) << run.err;
            EXPECT_EQ(RunZarnikSync({"import-reports", "x.csv"}, work_.path()).status, 1);
            EXPECT_EQ(RunZarnikSync({"sync", "--pc-only"}, work_.path()).status, 1);
            EXPECT_FALSE(FileExists(work_.file(".local")));
            EXPECT_FALSE(FileExists(work_.file("zarnik.lock")));
        } else {
            EXPECT_NE(run.err.find("cannot read the camera cache " + c.folder + "/local.cache"), std::string::npos)
                << run.err;
        }
    }
}

}  // namespace
