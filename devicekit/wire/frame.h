#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace klxpwire {

// Every message on the wire is one frame: a 12-byte header and a payload of `length` bytes.
constexpr std::uint32_t kFrameMagic = 0x50584B5AU;  // bytes "ZKXP"
constexpr std::uint16_t kProtocolVersion = 1;
constexpr std::uint32_t kMaxPayload = 1U << 20;       // hard limit of both sides
constexpr std::uint32_t kMinNegotiatedPayload = 4096;  // smallest limit a peer may announce
constexpr std::uint32_t kDataChunk = 256U * 1024U;     // file data per Data frame

enum class MessageType : std::uint16_t {
    kHello = 0x01,    // client: u16 lowest version, u16 highest version, u32 max payload, text name
    kWelcome = 0x02,  // agent: u16 version, u32 max payload, text device model
    kRefused = 0x03,  // agent: u32 status, text reason; the agent closes afterwards
    kBye = 0x04,      // client: empty; the agent closes without a reply
    kStat = 0x10,          // text path -> Reply: u64 size, u32 attributes
    kReadFile = 0x11,      // text path -> Reply: u64 size; then Data..., End
    kWriteFile = 0x12,     // u64 size, text path -> Reply; then Data..., End -> Reply
    kDeleteFile = 0x13,    // text path -> Reply
    kCreateProcess = 0x14, // text program, text arguments -> Reply
    kCommand = 0x15,       // u8 code, u16 max reply, u8 count, count x text -> Reply: data
    kCommonCall = 0x16,    // text name, u32 max reply, rest input bytes -> Reply: data
    kData = 0x20,  // file bytes
    kEnd = 0x21,   // u32 status of the sender's side of a transfer
    kReply = 0x30, // u32 status, then the answer's data
};

bool IsKnownType(std::uint16_t type);

#pragma pack(push, 1)
struct FrameHeader {
    std::uint32_t magic;
    std::uint16_t type;
    std::uint16_t flags;  // 0; reserved
    std::uint32_t length;
};
#pragma pack(pop)
static_assert(sizeof(FrameHeader) == 12, "frame header is 12 bytes on the wire");

struct Frame {
    MessageType type = MessageType::kReply;
    std::vector<std::uint8_t> payload;
};

void EncodeHeader(MessageType type, std::uint32_t length, std::uint8_t out[sizeof(FrameHeader)]);
std::vector<std::uint8_t> EncodeFrame(MessageType type, const std::vector<std::uint8_t>& payload);

enum class DecodeError { kNone, kBadMagic, kUnknownType, kBadFlags, kTooLarge };

// Incremental frame decoder: bytes go in as they arrive, whole frames come out. A header that
// is not ours, names an unknown type or announces more than the limit puts the decoder in a
// permanent error state before any payload memory is reserved.
class FrameDecoder {
public:
    explicit FrameDecoder(std::uint32_t max_payload = kMaxPayload) : max_payload_(max_payload) {}

    // Consumes bytes up to the end of the next frame; gives how many were used. Consumes
    // nothing while a finished frame waits to be taken or after an error.
    std::size_t Feed(const std::uint8_t* data, std::size_t size);
    bool HasFrame() const { return complete_; }
    // True once some bytes of a frame not yet complete have been fed.
    bool InFrame() const { return header_fill_ > 0 && !complete_; }
    Frame TakeFrame();

    DecodeError error() const { return error_; }
    void set_max_payload(std::uint32_t max_payload) { max_payload_ = max_payload; }

private:
    bool CheckHeader();

    std::uint32_t max_payload_;
    std::uint8_t header_[sizeof(FrameHeader)] = {};
    std::size_t header_fill_ = 0;
    std::uint32_t length_ = 0;
    Frame frame_;
    bool complete_ = false;
    DecodeError error_ = DecodeError::kNone;
};

}  // namespace klxpwire
