#include "device/transport.h"

#include <chrono>
#include <thread>

namespace device {

void Transport::Pause(int milliseconds) const {
    if (pause_) {
        pause_(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::unique_ptr<Transport> MakeTransport(TransportKind kind) {
    switch (kind) {
        case TransportKind::kKlx: return MakeKlxTransport();
        case TransportKind::kKlxp: return MakeProtocolTransport();
        case TransportKind::kDrive: return MakeDriveTransport();
        case TransportKind::kRapi: return MakeRapiTransport();
        case TransportKind::kNone: break;
    }
    return nullptr;
}

}  // namespace device
