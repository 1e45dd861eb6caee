#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/device_profile.h"

// One way of reaching the device: the USB library (KLX), the transfer-protocol client, the
// device's storage mounted as a drive, or the remote API. The device link chooses one when a
// profile loads and hands every operation to it; each transport owns whatever client it talks
// through, so two links reach their devices independently (the USB library and the remote API
// excepted: each keeps one connection per process, as the libraries they stand for do).
//
// Results: 1 for success, 0 for failure, whatever the library underneath gives. Arguments are
// always (PC file, device file), whatever the direction. PC paths arrive resolved to host
// paths; device paths begin with "\".
//
// A copy reports success only once the whole file arrived, and a PC file is replaced only by a
// complete one: on any failure the earlier file stays as it was and `why` tells the reason, as
// far as the transport can give one. Nothing is retried beyond the tries and pauses each
// transport's own file states.
namespace device {

// A device file as a transport sees it without copying it.
struct FileFacts {
    enum class State { kUnknown, kMissing, kPresent } state = State::kUnknown;
    std::uint64_t size = 0;
    std::uint64_t modified = 0;  // the device's own time stamp, only compared for equality
};

using CopyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

class Transport {
public:
    virtual ~Transport() = default;
    Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    virtual int Initialize(int flags) = 0;
    virtual int Connect(std::string& why) = 0;
    virtual int CopyToPc(const std::string& pcPath, const char* devicePath, std::string& why) = 0;
    virtual int CopyToDevice(const std::string& pcPath, const char* devicePath, std::string& why) = 0;
    virtual int RunOnDevice(const char* program, const char* arguments) = 0;
    virtual int DeleteOnDevice(const char* devicePath) = 0;
    // What the transport can tell of a device file without copying it.
    virtual FileFacts Examine(const char* /*devicePath*/) { return {}; }
    virtual int Disconnect() = 0;
    // What the library met in the last call that failed, for a person; empty when it cannot say.
    virtual std::string LastFailure() const { return {}; }

    // Whether the navigation program is ended before an exchange (not on mounted storage) and
    // started again after it (flash-disk devices only, and only when the profile asks).
    virtual bool StopsNavigator() const { return true; }
    virtual bool RestartsNavigator() const { return false; }

    // The device agent to reach ("host:port"); empty keeps the library's own choice
    // (ZARNIK_DEVICE). For the USB library and the remote API this names the agent of the
    // whole process.
    virtual void SetAddress(const std::string& /*address*/) {}
    // How to wait between tries of a device that is not ready yet; none sleeps.
    void SetPause(std::function<void(int milliseconds)> pause) { pause_ = std::move(pause); }
    // Told the bytes done and the file's size as a copy goes on, from the copying thread.
    void SetProgress(CopyProgress progress) { progress_ = std::move(progress); }

protected:
    void Pause(int milliseconds) const;
    void Progress(std::uint64_t done, std::uint64_t total) const {
        if (progress_) progress_(done, total);
    }
    const CopyProgress& progress() const { return progress_; }

private:
    std::function<void(int milliseconds)> pause_;
    CopyProgress progress_;
};

std::unique_ptr<Transport> MakeKlxTransport();
std::unique_ptr<Transport> MakeProtocolTransport();
std::unique_ptr<Transport> MakeDriveTransport();
std::unique_ptr<Transport> MakeRapiTransport();

// The transport of a profile's kind; null for kNone, which reaches no device.
std::unique_ptr<Transport> MakeTransport(TransportKind kind);

}  // namespace device
