#pragma once
// zarnik-sync run as a user runs it, against the reference service: the settings store, the
// working folder and the installed data in a temporary folder, a registered user and twelve
// official cameras on the service.
#include <cstdlib>
#include <string>

#include "tests/tools/poidb-server/server_fixture.h"

namespace tooltest {

class ToolWithService : public poidbtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        setenv("ZARNIK_SETTINGS", work_.file("settings.reg").c_str(), 1);
        setenv("ZARNIK_HOME", work_.file("home").c_str(), 1);
        const char* src = std::getenv("ZARNIK_SOURCE_DIR");
        setenv("ZARNIK_RESOURCES", (std::string(src ? src : ".") + "/resources").c_str(), 1);
        AddUser(poidbtest::kName, poidbtest::kSerial, poidbtest::kEmail);
        for (int i = 0; i < 12; ++i) AddOfficial(47000000 + i * 20000, 8000000 + i * 20000, "cam");
    }
    void TearDown() override {
        for (const char* name : {"ZARNIK_SETTINGS", "ZARNIK_HOME", "ZARNIK_RESOURCES", "ZARNIK_DEVICE", "ZARNIK_DRIVES"}) {
            unsetenv(name);
        }
        ServerFixture::TearDown();
    }
    testsupport::TempDir work_;
};

}  // namespace tooltest
