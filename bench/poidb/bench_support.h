#pragma once
// What the poidb benchmarks share: a sample database, the service as a separate process on a
// loopback address, logged-on libcurl handles and a reply sink that keeps no more than asked.
#include <sys/types.h>

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace poidbbench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The value after `name` on the command line, or `fallback`.
long LongOption(int argc, char** argv, const char* name, long fallback);

// Fills a new database at `path` with N official cameras, N/100 mutations and one sample user
// with 10 personal cameras, and prints how long that took; false after saying why not.
bool MakeSample(const std::string& path, long cameras);

// Counts the bytes and records of a reply; keeps its text too when `text` is set.
struct Received {
    std::size_t bytes = 0;
    std::size_t records = 0;
    std::string* text = nullptr;
};
std::size_t Receive(char* data, std::size_t size, std::size_t count, void* target);

// Posts `body` labelled as form data, as the client does; the reply text goes to `reply`.
bool Post(CURL* curl, const std::string& url, const std::string& body, std::string& reply, long timeout);
bool LogOn(CURL* curl, const std::string& base, std::string& reply);
// A handle holding a logged-on session, or nullptr after saying why there is none.
CURL* LoggedOn(const std::string& base);

// GETs `url` through `curl` into `received`; the seconds it took, negative when it failed.
double TimedGet(CURL* curl, const std::string& url, Received& received);

// The poidb-server program beside the benchmark's own build folder.
std::string ServerProgram();

// The service serving `db` on port 80 of a free loopback address; stopped when this goes.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::string& db);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool running() const { return pid_ > 0; }
    // "http://ADDRESS/POIDataBase/".
    std::string base() const { return "http://" + address_ + "/POIDataBase/"; }
    // The service's peak resident memory so far, in MB.
    double PeakMegabytes() const;
    // Stops the service; its exit status, -1 when it did not exit normally.
    int Stop();

private:
    std::string address_;
    pid_t pid_ = -1;
    int err_fd_ = -1;
};

}  // namespace poidbbench
