#pragma once
// Real peers for the window's tests: the reference service on a loopback address of its own
// (port 80, as the client always asks there) and the settings store in a temporary file.
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "loopback.h"
#include "temp_dir.h"
#include "tools/poidb-server/schema.h"
#include "tools/poidb-server/server.h"
#include "tools/poidb-server/sqlite_db.h"
#include "tools/poidb-server/store.h"

namespace uitest {

inline const std::string kName = "Jan de Vries";
inline const std::string kSerial = "1234-5678";
inline const std::string kEmail = "jan@example.org";

class LoopbackService {
public:
    LoopbackService() {
        const int fd = testsupport::ListenOnFreeLoopback(80, address_);
        if (fd >= 0) ::close(fd);
        options_.address = address_;
        options_.port = 80;
        options_.db_path = folder_.file("poi.db");
        options_.threads = 2;
        options_.log_requests = false;
        Start();
    }
    ~LoopbackService() { Stop(); }
    LoopbackService(const LoopbackService&) = delete;
    LoopbackService& operator=(const LoopbackService&) = delete;

    bool Start() {
        server_ = std::make_unique<poidb::PoiServer>();
        std::string error;
        if (!server_->Open(options_, error)) return false;
        thread_ = std::thread([this] { server_->Run(); });
        return true;
    }
    void Stop() {
        if (server_ != nullptr) server_->Stop();
        if (thread_.joinable()) thread_.join();
        server_.reset();
    }
    std::string baseUrl() const { return "http://" + address_ + "/"; }

    poidb::Store& Admin() {
        if (store_ == nullptr) {
            db_ = std::make_unique<poidb::Database>();
            std::string error;
            poidb::OpenStore(*db_, options_.db_path, false, error);
            store_ = std::make_unique<poidb::Store>(*db_);
        }
        return *store_;
    }
    void AddUser() { Admin().AddUser(kName, kSerial, kEmail); }
    void AddOfficial(std::int32_t lat, std::int32_t lon) {
        Admin().AddCamera(poidb::CameraInput{lat, lon, "official", 90, 3, 50, std::nullopt}, std::time(nullptr));
    }

private:
    testsupport::TempDir folder_;
    std::string address_;
    poidb::ServerOptions options_;
    std::unique_ptr<poidb::PoiServer> server_;
    std::thread thread_;
    std::unique_ptr<poidb::Database> db_;
    std::unique_ptr<poidb::Store> store_;
};

}  // namespace uitest
