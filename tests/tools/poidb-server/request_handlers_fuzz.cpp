// The service's request handlers on hostile requests, in process: the input is the raw bytes of
// up to eight HTTP requests, handed to the library's request processing through a stream in
// memory, with every endpoint registered as the service registers them, on a small sample
// database. "@COOKIE@" in the input stands for the cookie of a session the harness logged on
// first, so the requests of a logged-on user are reached too. Nothing may crash, every request
// that was read gets a complete reply with a status, and the service keeps answering a logon.
#include <httplib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "temp_dir.h"
#include "tools/poidb-server/connection_pool.h"
#include "tools/poidb-server/endpoints.h"
#include "tools/poidb-server/list_cache.h"
#include "tools/poidb-server/sample_data.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/sessions.h"
#include "tools/poidb-server/store.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// One connection's bytes: requests are read from `in`, replies written to `out`.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(std::string in) : in_(std::move(in)) {}
    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t n = std::min(size, in_.size() - at_);
        std::memcpy(ptr, in_.data() + at_, n);
        at_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        out_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 80;
    }
    socket_t socket() const override { return INVALID_SOCKET; }
    bool exhausted() const { return at_ == in_.size(); }
    const std::string& out() const { return out_; }

private:
    std::string in_;
    std::size_t at_ = 0;
    std::string out_;
};

class InProcessServer : public httplib::Server {
public:
    // Serves the requests in `bytes` as one kept-alive connection; gives the reply bytes and
    // how many requests were answered.
    std::string Serve(const std::string& bytes, int& answered) {
        MemoryStream stream(bytes);
        answered = 0;
        for (int i = 0; i < 8 && !stream.exhausted(); ++i) {
            bool closed = false;
            if (!process_request(stream, false, closed, [](httplib::Request&) {})) break;
            ++answered;
            if (closed) break;
        }
        return stream.out();
    }
};

constexpr std::size_t kMaxBody = std::size_t{64} * 1024;
const char kName[] = "Fuzz User";
const char kSerial[] = "FUZZ-0001";
const char kEmail[] = "fuzz@example.org";

struct Service {
    testsupport::TempDir dir;
    std::unique_ptr<poidb::ConnectionPool> pool;
    poidb::SessionTable sessions;
    poidb::OfficialListCache official;
    std::unique_ptr<poidb::ServiceContext> context;
    InProcessServer http;

    Service() {
        const std::string path = dir.file("poi.db");
        {
            poidb::Database db;
            std::string error;
            poidb::SampleOptions sample;
            sample.cameras = 60;
            sample.mutations = 6;
            sample.personal = 3;
            if (!poidb::OpenStore(db, path, true, error) || !poidb::GenerateSample(db, sample, error)) {
                std::fprintf(stderr, "request_handlers_fuzz: %s\n", error.c_str());
                std::abort();
            }
            poidb::Store store(db);
            Require(store.AddUser(kName, kSerial, kEmail).has_value());
            Require(store.AddAlert("An alert", "1033", 0, 99991231).has_value());
            Require(store.AddMessage("A message", "1033").has_value());
        }
        pool = std::make_unique<poidb::ConnectionPool>(path, 4);
        context = std::make_unique<poidb::ServiceContext>(
            poidb::ServiceContext{*pool, sessions, official, "http://127.0.0.1/", kMaxBody, false});
        http.set_payload_max_length(kMaxBody);
        poidb::RegisterStartupEndpoints(http, *context);
        poidb::RegisterSyncEndpoints(http, *context);
        poidb::RegisterFallbacks(http, *context);
    }

    // Logs on as the service's user; gives the session cookie.
    std::string LogOn() {
        const std::string body = std::string(kName) + "," + kSerial + "," + kEmail + ",2.0";
        const std::string request = "POST /POIDataBase/LoGon.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
        int answered = 0;
        const std::string reply = http.Serve(request, answered);
        Require(answered == 1);
        const std::size_t at = reply.find("ZSESSION=");
        Require(at != std::string::npos);
        return reply.substr(at, reply.find_first_of(";\r", at) - at);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Service service;
    const std::string cookie = service.LogOn();
    std::string requests(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = requests.find("@COOKIE@"); at != std::string::npos; at = requests.find("@COOKIE@", at)) {
        requests.replace(at, 8, cookie);
        at += cookie.size();
    }
    int answered = 0;
    const std::string replies = service.http.Serve(requests, answered);
    // Every request answered has its status line; nothing is written for one that was not read.
    std::size_t statusLines = 0;
    for (std::size_t at = replies.find("HTTP/1.1 "); at != std::string::npos; at = replies.find("HTTP/1.1 ", at + 1)) {
        ++statusLines;
    }
    Require(static_cast<int>(statusLines) >= answered);
    return 0;
}
