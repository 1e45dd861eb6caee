#include "bench/poidb/bench_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "loopback.h"
#include "tools/poidb-server/sample_data.h"
#include "tools/poidb-server/schema.h"

namespace poidbbench {

long LongOption(int argc, char** argv, const char* name, long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
    }
    return fallback;
}

bool MakeSample(const std::string& path, long cameras) {
    poidb::Database db;
    std::string error;
    poidb::SampleOptions options;
    options.cameras = cameras;
    options.mutations = cameras / 100;
    options.personal = 10;
    const auto start = Clock::now();
    if (!poidb::OpenStore(db, path, true, error) || !poidb::GenerateSample(db, options, error)) {
        std::fprintf(stderr, "sample data: %s\n", error.c_str());
        return false;
    }
    std::printf("sample data: %ld cameras in %.2f s, database %.1f MB\n", cameras, SecondsSince(start),
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    return true;
}

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* target) {
    auto* received = static_cast<Received*>(target);
    const std::size_t n = size * count;
    received->bytes += n;
    received->records += static_cast<std::size_t>(std::count(data, data + n, '#'));
    if (received->text != nullptr) received->text->append(data, n);
    return n;
}

namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

}  // namespace

bool Post(CURL* curl, const std::string& url, const std::string& body, std::string& reply, long timeout) {
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    reply.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return ok;
}

bool LogOn(CURL* curl, const std::string& base, std::string& reply) {
    static const std::string body = "Sample User 1,SAMPLE-0001,user1@example.org,2.0";
    return Post(curl, base + "LoGon.php", body, reply, 10L) && reply.rfind("OK", 0) == 0;
}

CURL* LoggedOn(const std::string& base) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    std::string reply;
    if (LogOn(curl, base, reply)) return curl;
    std::printf("logon failed: %s\n", reply.c_str());
    curl_easy_cleanup(curl);
    return nullptr;
}

double TimedGet(CURL* curl, const std::string& url, Received& received) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const auto start = Clock::now();
    const CURLcode rc = curl_easy_perform(curl);
    const double took = SecondsSince(start);
    return rc == CURLE_OK ? took : -1.0;
}

std::string ServerProgram() {
    return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "poidb-server").string();
}

ServiceProcess::ServiceProcess(const std::string& db) {
    const int fd = testsupport::ListenOnFreeLoopback(80, address_);
    if (fd < 0) {
        std::fprintf(stderr, "no free loopback address\n");
        return;
    }
    close(fd);
    const std::string program = ServerProgram();
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], 2);
        close(pipe_fds[0]);
        execl(program.c_str(), program.c_str(), "serve", "--quiet", "--address", address_.c_str(), "--port", "80",
              "--db", db.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_fds[1]);
    err_fd_ = pipe_fds[0];
    pid_ = pid;
    // The service says it listens once it accepts connections.
    std::string text;
    char buffer[256];
    while (text.find('\n') == std::string::npos) {
        const ssize_t got = read(err_fd_, buffer, sizeof buffer);
        if (got <= 0) {
            std::fprintf(stderr, "could not start %s\n", program.c_str());
            Stop();
            return;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::printf("service: %s", text.c_str());
}

ServiceProcess::~ServiceProcess() { Stop(); }

double ServiceProcess::PeakMegabytes() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) != 0) continue;
        return static_cast<double>(std::strtol(line.c_str() + 6, nullptr, 10)) / 1024.0;
    }
    return -1.0;
}

int ServiceProcess::Stop() {
    int result = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
    }
    if (err_fd_ >= 0) close(err_fd_);
    err_fd_ = -1;
    return result;
}

}  // namespace poidbbench
