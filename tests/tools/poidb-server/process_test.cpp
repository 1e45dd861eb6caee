// The program as other tests and scripts run it: admin commands and the service as a child
// process that announces its address and stops cleanly on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "loopback.h"
#include "temp_dir.h"
#include "tests/tools/poidb-server/http_session.h"
#include "tests/tools/poidb-server/server_fixture.h"

namespace poidbtest {
namespace {

std::string ProgramPath() {
    const char* dir = std::getenv("ZARNIK_BINARY_DIR");
    return std::string(dir != nullptr ? dir : "build") + "/bin/poidb-server";
}

struct Child {
    pid_t pid = -1;
    int out = -1;  // standard output
    int err = -1;  // standard error
};

Child Spawn(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv;
        const std::string program = ProgramPath();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return {pid, out[0], err[0]};
}

// Reads from fd until `wanted` appears or the time is up.
std::string ReadUntil(int fd, const std::string& wanted, std::chrono::milliseconds limit) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (text.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// Exit status of the child, or -1 when it did not end in time (it is then killed).
int WaitFor(Child& child, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            close(child.out);
            close(child.err);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        usleep(10000);
    }
    kill(child.pid, SIGKILL);
    waitpid(child.pid, &status, 0);
    close(child.out);
    close(child.err);
    return -1;
}

struct Result {
    int status;
    std::string out;
};

Result RunProgram(const std::vector<std::string>& args) {
    Child child = Spawn(args);
    std::string out = ReadUntil(child.out, "\x01never", std::chrono::seconds(20));
    return {WaitFor(child, std::chrono::seconds(20)), out};
}

TEST(ProcessTest, ServesUntilSigtermAndExitsCleanly) {
    testsupport::TempDir dir;
    const std::string db = dir.file("poi.db");
    const Result added = RunProgram({"add-user", "--db", db, "--name", kName, "--serial", kSerial, "--email", kEmail});
    ASSERT_EQ(added.status, 0);
    EXPECT_EQ(added.out, "user 1\n");

    std::string address;
    const int fd = testsupport::ListenOnFreeLoopback(80, address);
    ASSERT_GE(fd, 0);
    close(fd);
    Child server = Spawn({"serve", "--address", address, "--port", "80", "--db", db});
    ASSERT_GT(server.pid, 0);
    const std::string announced = ReadUntil(server.err, "\n", std::chrono::seconds(10));
    EXPECT_EQ(announced.substr(0, announced.find('\n') + 1), "listening on " + address + ":80\n");

    HttpSession http(address);
    EXPECT_EQ(http.Post("/POIDataBase/LoGon.php", LogonBody(kName, kSerial, kEmail)).body, "OKFULL:");
    EXPECT_EQ(http.Get("/POIDataBase/off.php").body, "OFF:OK:");

    ASSERT_EQ(kill(server.pid, SIGTERM), 0);
    EXPECT_EQ(WaitFor(server, std::chrono::seconds(10)), 0);
}

TEST(ProcessTest, ASecondServiceOnTheSameAddressFailsAndTheFirstServesOn) {
    testsupport::TempDir dir;
    std::string address;
    const int fd = testsupport::ListenOnFreeLoopback(80, address);
    ASSERT_GE(fd, 0);
    close(fd);
    Child first = Spawn({"serve", "--address", address, "--db", dir.file("poi.db"), "--quiet"});
    ASSERT_NE(ReadUntil(first.err, "\n", std::chrono::seconds(10)).find("listening on"), std::string::npos);

    Child second = Spawn({"serve", "--address", address, "--db", dir.file("other.db")});
    const std::string said = ReadUntil(second.err, "\n", std::chrono::seconds(10));
    EXPECT_EQ(WaitFor(second, std::chrono::seconds(10)), 1);
    EXPECT_NE(said.find("cannot listen on " + address + ":80"), std::string::npos) << said;

    EXPECT_EQ(HttpSession(address).Post("/POIDataBase/ServerUp.php", "ServerUpFake").body, "IMTHERE:");
    ASSERT_EQ(kill(first.pid, SIGTERM), 0);
    EXPECT_EQ(WaitFor(first, std::chrono::seconds(10)), 0);
}

TEST(ProcessTest, AdminCommandsCheckTheirArguments) {
    testsupport::TempDir dir;
    const std::string db = dir.file("poi.db");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{}, 2, ""},
        {{"frobnicate", "--db", db}, 2, ""},
        {{"--version"}, 0, ZARNIK_VERSION "\n"},
        {{"stats", "--db", db}, 1, ""},                                                   // no database yet
        {{"add-camera", "--db", db, "--lat", "1", "--lon", "1", "--name", "N"}, 1, ""},   // nor here
        {{"add-user", "--db", db, "--name", "x", "--serial", "1", "--email", "e", "--bogus"}, 2, ""},
        {{"add-user", "--name", "x", "--serial", "1", "--email", "e"}, 2, ""},           // no --db
        {{"add-user", "--db", db, "--name", "x", "--serial", "1"}, 2, ""},               // no --email
        {{"sample", "--db", db, "--cameras", "ten"}, 2, ""},
        {{"sample", "--db", db, "--cameras", "50", "--mutations", "51"}, 2, ""},
        {{"sample", "--db", db, "--cameras", "-1"}, 2, ""},
        {{"sample", "--db", db, "--cameras", "50", "--mutations", "5", "--seed", "3"}, 0, ""},
        {{"sample", "--db", db, "--cameras", "50"}, 1, ""},                               // not empty any more
        {{"add-camera", "--db", db, "--lat", "52000000", "--lon", "4000000", "--name", "Nieuw"}, 0, "camera 51\n"},
        {{"mutate", "--db", db, "--id", "51", "--direction", "10", "--category", "3"}, 0, ""},
        {{"mutate", "--db", db, "--id", "51", "--direction", "10"}, 2, ""},
        {{"mutate", "--db", db, "--id", "51", "--delete", "--category", "3"}, 2, ""},
        {{"mutate", "--db", db, "--id", "9999", "--delete"}, 1, ""},
        {{"delete-camera", "--db", db, "--id", "51"}, 0, ""},
        {{"delete-camera", "--db", db, "--id", "51"}, 1, ""},
        {{"add-alert", "--db", db, "--text", "Roadworks", "--from", "20080101"}, 0, "alert 1\n"},
        {{"add-alert", "--db", db, "--text", "Later", "--from", "20090101", "--to", "20080101"}, 2, ""},
        {{"add-message", "--db", db, "--text", "Hello", "--language", "1043"}, 0, "message 1\n"},
        {{"set-version", "--db", db, "--version", "210", "--url", "http://example.org/"}, 0, ""},
        {{"set-server-url", "--db", db, "--url", "http://poi.example.org/"}, 0, ""},
        {{"add-user", "--db", db, "--name", "x", "--serial", "1,2", "--email", "e"}, 1, ""},
        {{"prune-changes", "--db", db, "--days", "-1"}, 2, ""},
        {{"prune-changes", "--db", db, "--days", "0"}, 0, "pruned 3\n"},  // add, mutate, delete
        {{"stats", "--db", db}, 0, "users 1\nofficial 50\npersonal 0\nmutations 5\nchanges 0\nreports 0\nrevision 3\n"},
        // -3 marks a deleted camera in every client; positions must lie on the globe.
        {{"add-camera", "--db", db, "--lat", "1", "--lon", "1", "--name", "N", "--direction", "-3"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "1", "--lon", "1", "--name", "N", "--direction", "721"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "90000001", "--lon", "1", "--name", "N"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "-90000001", "--lon", "1", "--name", "N"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "1", "--lon", "180000001", "--name", "N"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "1", "--lon", "-180000001", "--name", "N"}, 1, ""},
        {{"mutate", "--db", db, "--id", "1", "--direction", "-3", "--category", "3"}, 1, ""},
        {{"add-camera", "--db", db, "--lat", "-90000000", "--lon", "180000000", "--name", "Edge", "--direction", "-2"},
         0, "camera 51\n"},
        {{"serve", "--address", "127.0.0.1", "--db", db, "--request-timeout", "0"}, 2, ""},
        {{"serve", "--address", "127.0.0.1", "--db", db, "--max-connections", "100000"}, 2, ""},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const Result result = RunProgram(c.args);
        EXPECT_EQ(result.status, c.status);
        if (c.status == 0) {
            EXPECT_EQ(result.out, c.out);
        }
    }
}

}  // namespace
}  // namespace poidbtest
