// A program of someone else's, built against the installed library: it asks the device agent
// named on its command line for the power status and the storage list.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "klxpxclnt/klxp_xclient.h"

int main(int argc, char** argv) {
    unsigned char wire[32];
    if (klxp::CKlxpXClient::EncodeRemoteName("a%41%00", wire, sizeof wire) != 8) {
        std::puts("EncodeRemoteName: wrong length");
        return 1;
    }
    if (argc < 2) return 0;
    klxp::CKlxpXClient client;
    client.SetAddress(argv[1]);
    client.SetTimeout(5000);
    if (!client.Connect()) {
        std::printf("Connect: %s\n", client.GetStringResult());
        return 1;
    }
    klxp::SYSTEM_POWER_STATUS power{};
    if (!client.RemoteGetSystemPowerStatus(&power)) {
        std::printf("RemoteGetSystemPowerStatus: %s\n", client.GetStringResult());
        return 1;
    }
    static unsigned char list[4096];
    int volumes = 0;
    if (client.RemoteGetStroageList(list, sizeof list)) {
        std::uint64_t value = 0;
        char name[klxp::CKlxpXClient::kRemoteTextSize];
        while (client.RemoteGetStroageInfo(&value, name)) ++volumes;
    }
    client.Disconnect();
    std::printf("battery %u%%, %d storage volumes\n", power.BatteryLifePercent, volumes);
    return volumes > 0 ? 0 : 1;
}
