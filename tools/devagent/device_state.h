#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devicekit/wire/status.h"
#include "tools/devagent/device_fs.h"
#include "tools/devagent/faults.h"

namespace devagent {

// What the emulated device holds besides its files: the navigation program's state and the
// faults a test asked for. Only one session runs at a time; the atomics and the fault plan
// let a test change the faults while a client is connected.
struct DeviceState {
    explicit DeviceState(const std::string& root) : fs(root) {}

    DeviceFs fs;
    std::string model = "M2";
    std::atomic<bool> navigator_running{true};
    std::atomic<bool> refuse_writes{false};
    std::atomic<int> fail_copies{0};
    std::atomic<std::uint64_t> drop_after_bytes{0};  // 0: off; fires once
    std::atomic<std::uint32_t> slow_kib_per_second{0};
    FaultPlan faults;

    // True (and the count goes down) when the next copy is to fail.
    bool TakeCopyFailure();
    // Counts a step that is about to go ahead: kIoError when it is to fail at once, else kOk
    // with the fault it is to suffer on the way, if any.
    klxpwire::Status BeginStep(Step step, std::optional<StepFault>& fault);
    // While the navigation program runs it holds its speed-camera file open.
    bool IsHeldOpen(const std::string& host_path) const;
    bool TreeHoldsOpenFile(const std::string& host_path) const;
    // Starts a device program: the navigation program runs, the stop program ends it.
    klxpwire::Status StartProgram(const std::string& host_path);
    // Creates the navigation program's folders and program file when they are missing.
    bool CreateLayout(std::string& error) const;
};

constexpr const char* kNavigatorProgram = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoMap.exe";
constexpr const char* kCameraFolder = "\\My Flash Disk\\VyoMap\\VyoMap\\VyoTC\\pois";
constexpr const char* kCameraFileName = "zarniks.mtc";
constexpr const char* kStopProgramName = "shutdown.exe";

// Handlers of the numbered commands and of the named common calls. Texts of the numbered
// commands are in the device's 8-bit code page; replies are at most max_reply bytes.
klxpwire::Status RunNumberedCommand(DeviceState& device, std::uint8_t code, const std::vector<std::string>& texts,
                                    std::uint16_t max_reply, std::vector<std::uint8_t>& reply);
klxpwire::Status RunNamedCommand(DeviceState& device, const std::string& name, const std::uint8_t* input,
                                 std::size_t input_size, std::uint32_t max_reply, std::vector<std::uint8_t>& reply);

// Path helpers shared by the handlers.
klxpwire::Status ResolveAnsi(const DeviceState& device, const std::string& ansi_path, std::string& host_path);
klxpwire::Status DeleteFileAt(DeviceState& device, const std::string& host_path);
void AppendAttributeRecord(const std::string& host_path, std::vector<std::uint8_t>& out);

}  // namespace devagent
