#include "devicekit/wire/status.h"

#include <array>

namespace klxpwire {

const char* StatusText(std::uint32_t code) {
    static constexpr std::array<const char*, kLastStatus + 1> kTexts = {
        "Success",
        "Not connected to the device",
        "Connection to the device lost",
        "The device did not answer in time",
        "Malformed message from the device",
        "The device speaks another protocol version",
        "The device is serving another client",
        "File or folder not found on the device",
        "Access denied on the device",
        "The file is in use on the device",
        "The file already exists on the device",
        "Invalid device path",
        "Invalid request",
        "Unknown command",
        "Input/output error on the device",
        "Cannot read or write the file on the PC",
        "The folder is not empty",
        "Transfer aborted",
        "The buffer is too small for the data",
    };
    return code < kTexts.size() ? kTexts[code] : "Unknown result code";
}

bool IsTransportFailure(Status status) {
    return status == Status::kConnectionLost || status == Status::kTimeout ||
           status == Status::kProtocolError || status == Status::kNotConnected;
}

}  // namespace klxpwire
