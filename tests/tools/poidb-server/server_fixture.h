#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "temp_dir.h"
#include "tools/poidb-server/server.h"
#include "tools/poidb-server/sqlite_db.h"
#include "tools/poidb-server/store.h"

namespace poidbtest {

inline const std::string kName = "Jan de Vries";
inline const std::string kSerial = "1234-5678";
inline const std::string kEmail = "jan@example.org";

// The credentials as the client joins them.
std::string LogonBody(const std::string& name, const std::string& serial, const std::string& email,
                      const std::string& version = "2.0");

// A service on this process's own loopback address, port 80, on a database in a temporary
// folder. The database can be changed directly between requests, as an administrator would.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { StopServer(); }

    // Starts the service with options_, which a test may change between a stop and a start.
    void StartServer();
    void StopServer();
    // A connection for seeding and checking the store, opened on demand.
    poidb::Store& Admin();
    std::int64_t AddUser(const std::string& name, const std::string& serial, const std::string& email);
    std::int64_t AddOfficial(std::int32_t lat, std::int32_t lon, const std::string& name, std::int32_t direction = 90,
                             std::int32_t category = 3, std::int32_t extra = 50);

    testsupport::TempDir dir_;
    std::string address_;
    std::string db_path_;
    poidb::ServerOptions options_;

private:
    std::unique_ptr<poidb::PoiServer> server_;
    std::thread thread_;
    std::unique_ptr<poidb::Database> admin_db_;
    std::unique_ptr<poidb::Store> admin_;
};

}  // namespace poidbtest
