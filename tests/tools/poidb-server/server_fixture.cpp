#include "tests/tools/poidb-server/server_fixture.h"

#include <unistd.h>

#include <ctime>

#include "loopback.h"
#include "tools/poidb-server/schema.h"

namespace poidbtest {

std::string LogonBody(const std::string& name, const std::string& serial, const std::string& email,
                      const std::string& version) {
    return name + "," + serial + "," + email + "," + version;
}

void ServerFixture::SetUp() {
    const int fd = testsupport::ListenOnFreeLoopback(80, address_);
    ASSERT_GE(fd, 0) << "no free loopback address for port 80";
    close(fd);
    db_path_ = dir_.file("poi.db");
    options_.address = address_;
    options_.port = 80;
    options_.db_path = db_path_;
    options_.threads = 8;
    options_.log_requests = false;
    StartServer();
}

void ServerFixture::StartServer() {
    server_ = std::make_unique<poidb::PoiServer>();
    std::string error;
    ASSERT_TRUE(server_->Open(options_, error)) << error;
    thread_ = std::thread([this] { server_->Run(); });
}

void ServerFixture::StopServer() {
    if (server_ != nullptr) server_->Stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

poidb::Store& ServerFixture::Admin() {
    if (admin_ == nullptr) {
        admin_db_ = std::make_unique<poidb::Database>();
        std::string error;
        EXPECT_TRUE(poidb::OpenStore(*admin_db_, db_path_, false, error)) << error;
        admin_ = std::make_unique<poidb::Store>(*admin_db_);
    }
    return *admin_;
}

std::int64_t ServerFixture::AddUser(const std::string& name, const std::string& serial, const std::string& email) {
    const auto id = Admin().AddUser(name, serial, email);
    EXPECT_TRUE(id.has_value());
    return id.value_or(-1);
}

std::int64_t ServerFixture::AddOfficial(std::int32_t lat, std::int32_t lon, const std::string& name,
                                        std::int32_t direction, std::int32_t category, std::int32_t extra) {
    poidb::CameraInput camera{lat, lon, name, direction, category, extra, std::nullopt};
    const auto id = Admin().AddCamera(camera, std::time(nullptr));
    EXPECT_TRUE(id.has_value());
    return id.value_or(-1);
}

}  // namespace poidbtest
