// The devagent program itself: options, the address it reports, the command log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

TEST(DevagentProcessTest, ServesAndLogsEachCommand) {
    testsupport::TempDir device, logs;
    Child child = Spawn({"--root", device.path(), "--listen", "127.0.0.1:0", "--model", "M7", "--navigator", "stopped"},
                        logs.file("stderr.txt"));
    ASSERT_GT(child.pid, 0);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, child.out), nullptr);
    const std::string text = line;
    const auto at = text.find("127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << text;
    const std::string address = text.substr(at, text.find(',', at) - at);

    klxpwire::ClientSession session;
    ASSERT_EQ(session.Open(address, "test"), klxpwire::Status::kOk);
    EXPECT_EQ(session.device_model(), "M7");
    EXPECT_EQ(session.CreateProcess("\\My Flash Disk\\VyoMap\\VyoMap\\vyomap.exe", ""), klxpwire::Status::kOk);
    EXPECT_EQ(session.Delete("\\..\\x"), klxpwire::Status::kBadPath);
    session.Close();
    kill(child.pid, SIGTERM);
    EXPECT_EQ(Finish(child), 0);
    const std::string log = testsupport::ReadWholeFile(logs.file("stderr.txt"));
    EXPECT_NE(log.find("start \\My Flash Disk\\VyoMap\\VyoMap\\vyomap.exe"), std::string::npos) << log;
    EXPECT_NE(log.find("[navigator running]"), std::string::npos) << log;
    EXPECT_NE(log.find("delete \\..\\x -> Invalid device path"), std::string::npos) << log;
    EXPECT_TRUE(testsupport::FileExists(device.file("My Flash Disk/VyoMap/VyoMap/VyoMap.exe")));
}

TEST(DevagentProcessTest, RefusesBadOptionsAndNonLoopbackAddresses) {
    testsupport::TempDir device, logs;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--root"},
        {"--root", device.path(), "--drop-after", "-5"},
        {"--root", device.path(), "--navigator", "sideways"},
        {"--root", device.path(), "--bogus"},
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
