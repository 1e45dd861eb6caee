#include "run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "temp_dir.h"

namespace tooltest {

namespace {

std::string ToolPath() {
    const char* binary = std::getenv("ZARNIK_BINARY_DIR");
    return std::string(binary != nullptr ? binary : "build") + "/bin/zarnik-sync";
}

// Forks and runs the program (the tool unless named; a name without a slash is looked up in
// PATH) with its output going to the two files; gives the child's id.
pid_t Spawn(const std::vector<std::string>& args, const std::string& workingFolder, const std::string& outPath,
            const std::string& errPath, const std::string& tool = ToolPath()) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(workingFolder.c_str()) != 0) _exit(126);
        execvp(tool.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

}  // namespace

ToolRun RunZarnikSync(const std::vector<std::string>& args, const std::string& workingFolder) {
    return RunProgram(ToolPath(), args, workingFolder);
}

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workingFolder) {
    testsupport::TempDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    const pid_t child = Spawn(args, workingFolder, outPath, errPath, program);
    ToolRun run;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testsupport::ReadWholeFile(outPath);
    run.err = testsupport::ReadWholeFile(errPath);
    return run;
}

ToolRun RunZarnikSyncSignalled(const std::vector<std::string>& args, const std::string& workingFolder,
                               const std::string& waitFor, int signal) {
    testsupport::TempDir capture;
    const std::string errPath = capture.file("stderr");
    const pid_t child = Spawn(args, workingFolder, capture.file("stdout"), errPath);
    ToolRun run;
    if (child < 0) return run;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0) {
        if (testsupport::ReadWholeFile(errPath).find(waitFor) != std::string::npos) {
            kill(child, signal);
            ended = waitpid(child, &status, 0);
            break;
        }
        usleep(2000);
    }
    if (ended != child) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testsupport::ReadWholeFile(capture.file("stdout"));
    run.err = testsupport::ReadWholeFile(errPath);
    return run;
}

int StartZarnikSync(const std::vector<std::string>& args, const std::string& workingFolder) {
    return Spawn(args, workingFolder, "/dev/null", "/dev/null");
}

}  // namespace tooltest
