// The maker's USB transfer library: "M1" devices.
#include <string>

#include "device/transport.h"
#include "devicekit/klx/klx.h"

namespace device {
namespace {

constexpr int kConnectTries = 6;
constexpr int kCopyRetries = 5;
constexpr const char* kRefused = "the library refused the copy 6 times, with a new connection before each retry";

// The library reports progress through a plain function; the transport copying names itself.
void Relay(void* context, unsigned long long done, unsigned long long total) {
    static_cast<const CopyProgress*>(context)->operator()(done, total);
}

class KlxTransport final : public Transport {
public:
    int Initialize(int flags) override { return KLXInitialize(flags); }

    int Connect(std::string& why) override {
        int result = 0;
        for (int attempt = 0; attempt < kConnectTries && result == 0; ++attempt) result = KLXConnectDevice();
        if (result == 0) why = "no device answered " + std::to_string(kConnectTries) + " tries: " + KLXLastFailure();
        return result;
    }

    int CopyToPc(const std::string& pcPath, const char* devicePath, std::string& why) override {
        const Reporting reporting(progress());
        int result = KLXCopyFileFromDevice(devicePath, pcPath.c_str());
        // A dropped USB connection shows as a failed copy; a new connection usually mends it.
        for (int retry = 0; result == 0 && retry < kCopyRetries; ++retry) {
            KLXConnectDevice();
            result = KLXCopyFileFromDevice(devicePath, pcPath.c_str());
        }
        return Done(result, why);
    }

    int CopyToDevice(const std::string& pcPath, const char* devicePath, std::string& why) override {
        const Reporting reporting(progress());
        int result = KLXCopyFileToDevice(pcPath.c_str(), devicePath);
        for (int retry = 0; result == 0 && retry < kCopyRetries; ++retry) {
            KLXConnectDevice();
            result = KLXCopyFileToDevice(pcPath.c_str(), devicePath);
        }
        return Done(result, why);
    }

    int RunOnDevice(const char* program, const char* arguments) override {
        return KLXCreateProcess(program, arguments) != 0 ? 1 : 0;
    }
    int DeleteOnDevice(const char* devicePath) override { return KLXDeleteFile(devicePath) != 0 ? 1 : 0; }
    int Disconnect() override { return 1; }
    std::string LastFailure() const override { return KLXLastFailure(); }
    bool RestartsNavigator() const override { return true; }

    // The library keeps one connection per process, so only a named agent is passed on: an
    // unnamed one leaves whatever the process chose.
    void SetAddress(const std::string& address) override {
        if (!address.empty()) KLXSetDeviceAddress(address.c_str());
    }

private:
    // The library's progress goes to this transport's observer for the length of one copy.
    class Reporting {
    public:
        explicit Reporting(const CopyProgress& progress) {
            if (progress) KLXSetProgress(Relay, const_cast<CopyProgress*>(&progress));
        }
        ~Reporting() { KLXSetProgress(nullptr, nullptr); }
        Reporting(const Reporting&) = delete;
        Reporting& operator=(const Reporting&) = delete;
    };

    static int Done(int result, std::string& why) {
        if (result != 0) return 1;
        why = std::string(kRefused) + ": " + KLXLastFailure();
        return 0;
    }
};

}  // namespace

std::unique_ptr<Transport> MakeKlxTransport() { return std::make_unique<KlxTransport>(); }

}  // namespace device
