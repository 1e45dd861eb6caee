#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace devagent {

// The file operations a fault can be aimed at; each kind is counted on its own.
enum class Step : std::uint8_t { kUpload, kDownload, kCopy, kMove };
constexpr std::size_t kStepKinds = 4;

enum class FaultKind : std::uint8_t {
    kFail,        // the step is refused with an input/output error before any byte moves
    kFailMidway,  // the transfer breaks off with an input/output error after some bytes; the
                  // connection stays up and the target keeps its old contents
    kCorrupt,     // the step succeeds but one byte of what it delivers is wrong
};

struct StepFault {
    FaultKind kind = FaultKind::kFail;
    std::uint64_t at_byte = 0;  // midway: bytes that pass first; corrupt: offset of the bad byte
};

// Faults that tests arm while the agent runs, from the test's own thread or through the
// agent's control command. An armed fault counts the steps of its kind from the moment it is
// armed (a step counts once its request is valid and would go ahead), hits the nth of them
// and the times - 1 after it, and then disarms itself. Arming a kind again replaces its fault.
class FaultPlan {
public:
    // False when the fault cannot apply to the step (a move has no bytes to break or corrupt)
    // or nth / times are below 1.
    bool Arm(Step step, FaultKind kind, int nth = 1, int times = 1, std::uint64_t at_byte = 0);
    // The next `count` connections are refused (Refused, status busy) right after they arrive.
    void RefuseConnections(int count);
    void Clear();

    // Counts one step of the kind and gives the fault it is to suffer, if any.
    std::optional<StepFault> Next(Step step);
    // True (and one refusal fewer) when the connection at hand is to be refused.
    bool TakeRefusal();

    // Arms from a text, the control command's and --fault's language:
    //   fail STEP [NTH [TIMES]] | midway STEP BYTES [NTH [TIMES]] | corrupt STEP [NTH [TIMES]]
    //   | refuse COUNT | clear          (STEP: upload, download, copy or move)
    // False with a reason for text that is not one of these.
    bool Apply(std::string_view command, std::string& error);

private:
    struct Armed {
        StepFault fault;
        int skip = 0;  // steps to let pass first
        int left = 0;  // steps still to hit
    };

    std::mutex mutex_;
    std::array<Armed, kStepKinds> armed_{};
    int refusals_ = 0;
};

}  // namespace devagent
