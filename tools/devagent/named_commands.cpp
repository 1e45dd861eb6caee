// The named remote commands: realistic answers of a small Windows CE navigation device.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "devicekit/klxpcc/klxp_types.h"
#include "devicekit/wire/payload.h"
#include "devicekit/wire/text_codec.h"
#include "tools/devagent/device_state.h"

namespace devagent {

using klxpwire::Status;

namespace {

constexpr std::uint32_t kHkeyCurrentUser = 0x80000001U;
constexpr std::uint32_t kHkeyLocalMachine = 0x80000002U;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;

constexpr const char* kStorageNames[] = {"My Flash Disk", "Storage Card"};

template <typename Record>
void AppendRecord(std::vector<std::uint8_t>& out, const Record& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    out.insert(out.end(), p, p + sizeof record);
}

Status PowerStatus(std::vector<std::uint8_t>& reply) {
    klxp::SYSTEM_POWER_STATUS power{};
    power.ACLineStatus = 1;        // on the car charger
    power.BatteryFlag = 8;         // charging
    power.BatteryLifePercent = 87;
    power.BatteryLifeTime = 0xFFFFFFFFU;  // unknown while charging
    power.BatteryFullLifeTime = 0xFFFFFFFFU;
    AppendRecord(reply, power);
    return Status::kOk;
}

Status MemoryStatus(std::vector<std::uint8_t>& reply) {
    klxp::MEMORYSTATUS memory{};
    memory.dwLength = sizeof memory;
    memory.dwMemoryLoad = 41;
    memory.dwTotalPhys = 64U << 20;
    memory.dwAvailPhys = 38U << 20;
    memory.dwTotalVirtual = 32U << 20;
    memory.dwAvailVirtual = 29U << 20;
    AppendRecord(reply, memory);
    return Status::kOk;
}

Status ImageVersion(const DeviceState& device, std::uint32_t max_reply, std::vector<std::uint8_t>& reply) {
    const std::string text = "VyoNav CE 5.0 image 2.14.0318 (" + device.model + ")";
    if (max_reply == 0) return Status::kMoreData;
    // Cut to the caller's buffer, keeping the terminator.
    const std::size_t n = std::min<std::size_t>(text.size(), max_reply - 1);
    reply.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    reply.push_back(0);
    return Status::kOk;
}

Status FormatPartition(const DeviceState& device, const std::string& name) {
    if (device.refuse_writes) return Status::kAccessDenied;
    for (const char* known : kStorageNames) {
        // The emulator names the partition as formatted but keeps the files: a test folder
        // is never wiped by a remote command.
        if (SameName(klxpwire::AnsiToUtf8(name), known)) return Status::kOk;
    }
    return Status::kNotFound;
}

Status RegisterWindowMessage(const std::string& name, std::vector<std::uint8_t>& reply) {
    if (name.empty()) return Status::kBadRequest;
    std::uint32_t hash = 2166136261U;
    for (const char c : FoldName(klxpwire::AnsiToUtf8(name))) hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619U;
    reply = klxpwire::PayloadWriter().U32(0xC000U + hash % 0x3FFFU).bytes();
    return Status::kOk;
}

Status StorageList(const DeviceState& device, std::vector<std::uint8_t>& reply) {
    struct statvfs vfs {};
    const std::uint64_t free_bytes =
        statvfs(device.fs.root().c_str(), &vfs) == 0 ? static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize : 0;
    for (const char* name : kStorageNames) {
        const auto value = klxpwire::PayloadWriter().U64(free_bytes).bytes();
        reply.insert(reply.end(), value.begin(), value.end());
        const auto wire = klxpwire::EncodeWireNameUtf16(name);
        reply.insert(reply.end(), wire.begin(), wire.end());
    }
    return Status::kOk;
}

std::string ShortName(const std::string& name) {
    const auto dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    const auto clean = [](const std::string& s) {
        std::string out;
        for (const char c : s) {
            if (std::isalnum(static_cast<unsigned char>(c)) != 0) out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
        return out;
    };
    const bool fits = stem.size() <= 8 && ext.size() <= 3 && clean(stem).size() == stem.size() && clean(ext).size() == ext.size();
    stem = clean(stem);
    ext = clean(ext).substr(0, 3);
    if (!fits) stem = stem.substr(0, 6) + "~1";
    return ext.empty() ? stem : stem + "." + ext;
}

Status FileInfo(const DeviceState& device, const std::uint8_t* input, std::size_t size, std::vector<std::uint8_t>& reply) {
    std::string path;
    if (klxpwire::DecodeWireName(input, size, path) == 0) return Status::kBadRequest;
    std::string host;
    const Status s = device.fs.Resolve(path, host);
    if (s != Status::kOk) return s;
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) return Status::kNotFound;
    AppendAttributeRecord(host, reply);
    const std::string name = host == device.fs.root() ? "\\" : BaseName(host);
    const auto long_name = klxpwire::EncodeWireName(name);
    const auto short_name = klxpwire::EncodeWireName(ShortName(name));
    reply.insert(reply.end(), long_name.begin(), long_name.end());
    reply.insert(reply.end(), short_name.begin(), short_name.end());
    return Status::kOk;
}

Status KernelIoControl(const std::uint8_t* input, std::size_t size, std::vector<std::uint8_t>& reply) {
    klxpwire::PayloadReader r(input, size);
    std::uint32_t code = 0, length = 0;
    if (!r.U32(code) || !r.U32(length) || length != r.remaining()) return Status::kBadRequest;
    const std::uint8_t* data = nullptr;
    std::size_t n = 0;
    r.Rest(data, n);
    reply.assign(data, data + n);  // the emulated driver echoes its input
    return Status::kOk;
}

struct RegistryValue {
    const char* name;
    const char* text;
    std::uint32_t key;
    std::uint32_t type;
    std::uint32_t number;
};

constexpr RegistryValue kRegistry[] = {
    {"DeviceName", "VyoNav", kHkeyLocalMachine, kRegSz, 0},
    {"OEMInfo", "Korva VyoNav 4300 Navigator", kHkeyLocalMachine, kRegSz, 0},
    {"BuildNumber", nullptr, kHkeyLocalMachine, kRegDword, 1318},
    {"Language", nullptr, kHkeyCurrentUser, kRegDword, 0x409},
    {"VyoMapPath", kNavigatorProgram, kHkeyCurrentUser, kRegSz, 0},
};

Status RegistryQuery(const std::uint8_t* input, std::size_t size, std::vector<std::uint8_t>& reply) {
    klxpwire::PayloadReader r(input, size);
    std::uint32_t key = 0;
    std::string name;
    if (!r.U32(key) || klxpwire::DecodeWireName(input + 4, size - 4, name) == 0) return Status::kBadRequest;
    for (const RegistryValue& value : kRegistry) {
        if (value.key != key || !SameName(value.name, name)) continue;
        klxpwire::PayloadWriter w;
        w.U32(value.type);
        if (value.type == kRegDword) {
            w.U32(value.number);
        } else {
            const auto units = klxpwire::EncodeWireNameUtf16(value.text);
            w.Bytes(units.data() + 2, units.size() - 2);  // REG_SZ: UTF-16 with terminator, no mark
        }
        reply = w.bytes();
        return Status::kOk;
    }
    return Status::kNotFound;
}

std::string AsText(const std::uint8_t* input, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(input), size);
}

}  // namespace

Status RunNamedCommand(DeviceState& device, const std::string& name, const std::uint8_t* input, std::size_t input_size,
                       std::uint32_t max_reply, std::vector<std::uint8_t>& reply) {
    reply.clear();
    Status s = Status::kUnknownCommand;
    if (name == "GetSysPowerStatus") s = PowerStatus(reply);
    else if (name == "GetImageVersion") s = ImageVersion(device, max_reply, reply);
    else if (name == "FmtPartition") s = FormatPartition(device, AsText(input, input_size));
    else if (name == "RegWinMsg") s = RegisterWindowMessage(AsText(input, input_size), reply);
    else if (name == "GlobalMemStat") s = MemoryStatus(reply);
    else if (name == "BroadCastMsg") s = input_size == 12 ? Status::kOk : Status::kBadRequest;
    else if (name == "GetFileInfo") s = FileInfo(device, input, input_size, reply);
    else if (name == "GetStroage") s = StorageList(device, reply);
    else if (name == "KernelIoctl") s = KernelIoControl(input, input_size, reply);
    else if (name == "RegQValEx") s = RegistryQuery(input, input_size, reply);
    if (s != Status::kOk) reply.clear();
    // The caller gets at most what its buffer holds, as the device's own call does.
    if (reply.size() > max_reply) reply.resize(max_reply);
    return s;
}

}  // namespace devagent
