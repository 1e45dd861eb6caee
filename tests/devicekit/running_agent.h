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
    explicit RunningAgent(bool navigator_running = false, int frame_timeout_ms = 3000) {
        devagent::AgentOptions options;
        options.root = folder_.path();
        options.listen = "127.0.0.1:0";
        options.navigator_running = navigator_running;
        options.log_commands = false;
        options.frame_timeout_ms = frame_timeout_ms;
        agent_ = std::make_unique<devagent::Agent>(options);
        std::string error;
        started_ = agent_->Start(error);
        EXPECT_TRUE(started_) << error;
    }

    bool started() const { return started_; }
    std::string address() const { return agent_->address(); }
    devagent::DeviceState& device() { return agent_->device(); }
    devagent::Agent& agent() { return *agent_; }
    // Host path of a file of the device folder, given with "/" separators.
    std::string file(const std::string& relative) const { return folder_.file(relative); }
    const std::string& root() const { return folder_.path(); }

private:
    TempDir folder_;
    std::unique_ptr<devagent::Agent> agent_;
    bool started_ = false;
};

inline const char* kPoisFolder = "My Flash Disk/VyoMap/VyoMap/VyoTC/pois";

}  // namespace testsupport
