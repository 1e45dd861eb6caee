// The devagent program itself: options, the address it reports, the command log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "devicekit/wire/client_session.h"
#include "temp_dir.h"

namespace {

std::string Agent() {
    const char* binary = std::getenv("ZARNIK_BINARY_DIR");
    return std::string(binary != nullptr ? binary : "build") + "/bin/devagent";
}

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
};

Child Spawn(const std::vector<std::string>& args, const std::string& log) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        FILE* err = std::freopen(log.c_str(), "w", stderr);
        (void)err;
        close(pipefd[0]);
        std::vector<char*> argv;
        std::string program = Agent();
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    return {pid, fdopen(pipefd[0], "r")};
}

int Finish(Child& child) {
    int status = 0;
    waitpid(child.pid, &status, 0);
    if (child.out != nullptr) std::fclose(child.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The address the agent reports on its first line, empty when it reports none.
std::string ListeningAddress(const Child& child) {
    char line[512] = {};
    if (child.pid <= 0 || std::fgets(line, sizeof line, child.out) == nullptr) return "";
    const std::string text = line;
    const auto at = text.find("127.0.0.1:");
    return at == std::string::npos ? "" : text.substr(at, text.find(',', at) - at);
}

// Stops the agent as a user would (it must exit 0) and gives what it logged.
std::string StopAndReadLog(Child& child, const std::string& log) {
    kill(child.pid, SIGTERM);
    EXPECT_EQ(Finish(child), 0);
    return testsupport::ReadWholeFile(log);
}

TEST(DevagentProcessTest, ServesAndLogsEachCommand) {
    testsupport::TempDir device, logs;
    Child child = Spawn({"--root", device.path(), "--listen", "127.0.0.1:0", "--model", "RA", "--navigator", "stopped"},
                        logs.file("stderr.txt"));
    const std::string address = ListeningAddress(child);
    ASSERT_FALSE(address.empty());

    klxpwire::ClientSession session;
    ASSERT_EQ(session.Open(address, "test"), klxpwire::Status::kOk);
    EXPECT_EQ(session.device_model(), "RA");
    EXPECT_EQ(session.CreateProcess("\\My Flash Disk\\VyoMap\\VyoMap\\vyomap.exe", ""), klxpwire::Status::kOk);
    EXPECT_EQ(session.Delete("\\..\\x"), klxpwire::Status::kBadPath);
    session.Close();
    const std::string log = StopAndReadLog(child, logs.file("stderr.txt"));
    EXPECT_NE(log.find("start \\My Flash Disk\\VyoMap\\VyoMap\\vyomap.exe"), std::string::npos) << log;
    EXPECT_NE(log.find("[navigator running]"), std::string::npos) << log;
    EXPECT_NE(log.find("delete \\..\\x -> Invalid device path"), std::string::npos) << log;
    EXPECT_TRUE(testsupport::FileExists(device.file("My Flash Disk/VyoMap/VyoMap/VyoMap.exe")));
}

// What a killed agent left is gone at the next start (only its own temporary names), armed
// faults work from the command line and the control command, and nothing a client sends can
// write a line of the log.
TEST(DevagentProcessTest, StartsCleanArmsFaultsAndLogsOnlyPrintableText) {
    testsupport::TempDir device, logs;
    const std::string pois = "My Flash Disk/VyoMap/VyoMap/VyoTC/pois/";
    std::filesystem::create_directories(device.file(pois + "dir.tmp-abcdef"));
    const std::pair<std::string, bool> files[] = {
        {pois + "zarniks.mtc.tmp-Ab12Cd", false},  // AtomicFile's temporary of a killed upload
        {"~devagent.tmp-xY9z01", false},           // the staging name of a long one
        {"~devagent.tmp-xY9z01.tmp-q1W2e3", false},
        {pois + "zarniks.mtc", true},
        {pois + "notes.tmp-abcde", true},  // five characters
        {pois + "notes.tmp-abcdefg", true},
        {pois + "notes.tmp-ab_cd1", true},
        {pois + ".tmp-abcdef", true},  // no name before the suffix
        {"tmp-abcdef", true},
    };
    for (const auto& [name, kept] : files) testsupport::WriteWholeFile(device.file(name), "x");
    Child child = Spawn({"--root", device.path(), "--listen", "127.0.0.1:0", "--test-control", "--fault", "refuse 1",
                         "--fault", "fail upload 2"},
                        logs.file("stderr.txt"));
    const std::string address = ListeningAddress(child);
    ASSERT_FALSE(address.empty());
    for (const auto& [name, kept] : files) EXPECT_EQ(testsupport::FileExists(device.file(name)), kept) << name;
    EXPECT_TRUE(std::filesystem::is_directory(device.file(pois + "dir.tmp-abcdef")));

    klxpwire::ClientSession session;
    EXPECT_EQ(session.Open(address, "refused"), klxpwire::Status::kBusy);
    ASSERT_EQ(session.Open(address, "evil\ndevagent: forged \x1b[2Kline\r"), klxpwire::Status::kOk);
    testsupport::WriteWholeFile(logs.file("up.bin"), "data");
    const std::string target = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois\\poiupdates.upd";
    EXPECT_EQ(session.Upload(logs.file("up.bin"), target), klxpwire::Status::kOk);
    EXPECT_EQ(session.Upload(logs.file("up.bin"), target), klxpwire::Status::kIoError) << "--fault fail upload 2";
    const std::string arm = "fail download";
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(session.CommonCall("DevAgentFault", arm.data(), arm.size(), 0, reply), klxpwire::Status::kOk);
    EXPECT_EQ(session.Download(target, logs.file("down.bin")), klxpwire::Status::kIoError);
    EXPECT_EQ(session.Delete("\\x\ndevagent: forged line two"), klxpwire::Status::kBadPath);
    session.Close();
    const std::string log = StopAndReadLog(child, logs.file("stderr.txt"));
    EXPECT_NE(log.find("removed 3 unfinished upload(s)"), std::string::npos) << log;
    EXPECT_NE(log.find("evil?devagent: forged ?[2Kline?"), std::string::npos) << log;
    EXPECT_EQ(log.find("\ndevagent: forged"), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos) << log;
}

TEST(DevagentProcessTest, RefusesBadOptionsAndNonLoopbackAddresses) {
    testsupport::TempDir device, logs;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--root"},
        {"--root", device.path(), "--drop-after", "-5"},
        {"--root", device.path(), "--navigator", "sideways"},
        {"--root", device.path(), "--bogus"},
        {"--root", device.path(), "--fault", "corrupt move"},
        {"--root", device.path(), "--frame-timeout", "0"},
        {"--root", device.path(), "--model", "M7"},
        {"--root", device.path(), "--fail-copies", "many"},
    };
    for (const auto& args : bad) {
        Child child = Spawn(args, logs.file("err.txt"));
        EXPECT_EQ(Finish(child), 2) << (args.empty() ? "" : args.back());
    }
    for (const std::string listen : {"0.0.0.0:9470", "10.0.0.1:9470", "127.0.0.1"}) {
        Child child = Spawn({"--root", device.path(), "--listen", listen}, logs.file("err.txt"));
        EXPECT_EQ(Finish(child), 1) << listen;
    }
    Child missing = Spawn({"--root", device.file("absent"), "--listen", "127.0.0.1:0"}, logs.file("err.txt"));
    EXPECT_EQ(Finish(missing), 1);
    EXPECT_NE(testsupport::ReadWholeFile(logs.file("err.txt")).find("does not exist"), std::string::npos);
}

}  // namespace
