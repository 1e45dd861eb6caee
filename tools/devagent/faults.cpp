#include "tools/devagent/faults.h"

#include <charconv>
#include <vector>

namespace devagent {

namespace {

constexpr int kMaxCount = 1000000;

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

bool Number(std::string_view word, std::uint64_t& value) {
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && ec == std::errc() && end == word.data() + word.size();
}

bool Count(std::string_view word, int& value) {
    std::uint64_t n = 0;
    if (!Number(word, n) || n < 1 || n > kMaxCount) return false;
    value = static_cast<int>(n);
    return true;
}

std::optional<Step> StepNamed(std::string_view word) {
    if (word == "upload") return Step::kUpload;
    if (word == "download") return Step::kDownload;
    if (word == "copy") return Step::kCopy;
    if (word == "move") return Step::kMove;
    return std::nullopt;
}

}  // namespace

bool FaultPlan::Arm(Step step, FaultKind kind, int nth, int times, std::uint64_t at_byte) {
    if (nth < 1 || times < 1 || (step == Step::kMove && kind != FaultKind::kFail)) return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_[static_cast<std::size_t>(step)] = Armed{StepFault{kind, at_byte}, nth - 1, times};
    return true;
}

void FaultPlan::RefuseConnections(int count) {
    const std::lock_guard<std::mutex> lock(mutex_);
    refusals_ = count > 0 ? count : 0;
}

void FaultPlan::Clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    armed_ = {};
    refusals_ = 0;
}

std::optional<StepFault> FaultPlan::Next(Step step) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Armed& armed = armed_[static_cast<std::size_t>(step)];
    if (armed.left == 0) return std::nullopt;
    if (armed.skip > 0) {
        --armed.skip;
        return std::nullopt;
    }
    --armed.left;
    return armed.fault;
}

bool FaultPlan::TakeRefusal() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (refusals_ == 0) return false;
    --refusals_;
    return true;
}

bool FaultPlan::Apply(std::string_view command, std::string& error) {
    const std::vector<std::string_view> words = Words(command);
    error.clear();
    if (words.size() == 1 && words[0] == "clear") {
        Clear();
        return true;
    }
    int count = 0;
    if (words.size() == 2 && words[0] == "refuse" && Count(words[1], count)) {
        RefuseConnections(count);
        return true;
    }
    if (words.size() < 2) {
        error = "expected: fail|midway|corrupt STEP ..., refuse COUNT or clear";
        return false;
    }
    std::optional<FaultKind> kind;
    if (words[0] == "fail") kind = FaultKind::kFail;
    else if (words[0] == "midway") kind = FaultKind::kFailMidway;
    else if (words[0] == "corrupt") kind = FaultKind::kCorrupt;
    const std::optional<Step> step = StepNamed(words[1]);
    if (!kind || !step) {
        error = "unknown fault or step: " + std::string(command);
        return false;
    }
    std::size_t next = 2;
    std::uint64_t at_byte = 0;
    if (*kind == FaultKind::kFailMidway && (next >= words.size() || !Number(words[next++], at_byte))) {
        error = "midway needs the bytes that pass first";
        return false;
    }
    int nth = 1, times = 1;
    const bool counts_ok = words.size() <= next + 2 && (words.size() <= next || Count(words[next], nth)) &&
                           (words.size() <= next + 1 || Count(words[next + 1], times));
    if (!counts_ok || !Arm(*step, *kind, nth, times, at_byte)) {
        error = "cannot arm: " + std::string(command);
        return false;
    }
    return true;
}

}  // namespace devagent
