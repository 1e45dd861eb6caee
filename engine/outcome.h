#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "service/result.h"

// The one way an operation of the engine reports how it went: a fixed numeric code, what the
// user is told, and what went wrong underneath (the line a front end shows under the message,
// "Cause: ..." in zarnik-sync). The service's result codes keep their numbers (service::Result);
// the failures on the PC's own side that have no such number get one from PcFailure, above
// every code the service or a synchronisation gives, so the two ranges never meet.
namespace engine {

enum class PcFailure : std::int32_t {
    kWorkingFolder = 20000,     // the working folder has no place, cannot be made, or is locked
    kSettingsStore = 20001,     // the settings store cannot be used or written
    kSettingsRefused = 20002,   // a value given to store was refused; nothing was stored
    kNoRegistration = 20003,    // "Registrar", "Email" or "Serial" is missing
    kNoDeviceChosen = 20004,    // "Device" is missing
    kDevicesIniMissing = 20005, // devices.ini cannot be read
    kDeviceModelUnknown = 20006,// "Device" names no line of devices.ini
    kDeviceNotConnected = 20007,
    kDeviceFiles = 20008,       // a file could not be copied from or to the device
    kFileUnreadable = 20009,    // an input file could not be read, or is not what it should be
    kFileUnwritable = 20010,    // an output file could not be written; any earlier one is unchanged
    kStopped = 20011,           // stopped on request at a safe point; nothing was lost
};

class Outcome {
public:
    // Success.
    Outcome() = default;
    Outcome(std::int32_t code, std::string message, std::string cause = {})
        : code_(code), message_(std::move(message)), cause_(std::move(cause)) {}
    Outcome(PcFailure failure, std::string message, std::string cause = {})
        : Outcome(static_cast<std::int32_t>(failure), std::move(message), std::move(cause)) {}

    bool ok() const { return code_ == 0; }
    std::int32_t code() const { return code_; }
    bool Is(PcFailure failure) const { return code_ == static_cast<std::int32_t>(failure); }
    bool Is(service::Result result) const { return code_ == service::Code(result); }
    // What the user is told; empty when it has been shown already (through the message sink).
    const std::string& message() const { return message_; }
    // What went wrong underneath, when that is known; empty otherwise.
    const std::string& cause() const { return cause_; }

private:
    std::int32_t code_ = 0;
    std::string message_;
    std::string cause_;
};

}  // namespace engine
