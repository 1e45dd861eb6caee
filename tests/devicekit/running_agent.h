#pragma once
// A real device agent for a test: a temporary device folder served on a free loopback port,
// with the navigation program's layout created and stopped unless the test asks otherwise.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "temp_dir.h"
#include "tools/devagent/agent.h"

namespace testsupport {

class RunningAgent {
public:
    explicit RunningAgent(bool navigator_running = false, int frame_timeout_ms = 3000)
        : RunningAgent(Options(navigator_running, frame_timeout_ms)) {}

    // Any other options; the folder, the address and the quiet log are the test's own.
    explicit RunningAgent(devagent::AgentOptions options) {
        options.root = folder_.path();
        options.listen = "127.0.0.1:0";
        options.log_commands = false;
        agent_ = std::make_unique<devagent::Agent>(options);
        std::string error;
        started_ = agent_->Start(error);
        EXPECT_TRUE(started_) << error;
    }

    bool started() const { return started_; }
    std::string address() const { return agent_->address(); }
    devagent::DeviceState& device() { return agent_->device(); }
    // Faults to arm while the agent runs (see docs/device-protocol.md).
    devagent::FaultPlan& faults() { return agent_->device().faults; }
    devagent::Agent& agent() { return *agent_; }
    // Host path of a file of the device folder, given with "/" separators.
    std::string file(const std::string& relative) const { return folder_.file(relative); }
    const std::string& root() const { return folder_.path(); }

private:
    static devagent::AgentOptions Options(bool navigator_running, int frame_timeout_ms) {
        devagent::AgentOptions options;
        options.navigator_running = navigator_running;
        options.frame_timeout_ms = frame_timeout_ms;
        return options;
    }

    TempDir folder_;
    std::unique_ptr<devagent::Agent> agent_;
    bool started_ = false;
};

inline const char* kPoisFolder = "My Flash Disk/VyoMap/VyoMap/VyoTC/pois";

}  // namespace testsupport
