#include "devicekit/wire/frame.h"

#include <algorithm>

#include "devicekit/wire/payload.h"

namespace klxpwire {

bool IsKnownType(std::uint16_t type) {
    switch (static_cast<MessageType>(type)) {
        case MessageType::kHello:
        case MessageType::kWelcome:
        case MessageType::kRefused:
        case MessageType::kBye:
        case MessageType::kStat:
        case MessageType::kReadFile:
        case MessageType::kWriteFile:
        case MessageType::kDeleteFile:
        case MessageType::kCreateProcess:
        case MessageType::kCommand:
        case MessageType::kCommonCall:
        case MessageType::kData:
        case MessageType::kEnd:
        case MessageType::kReply:
            return true;
    }
    return false;
}

void EncodeHeader(MessageType type, std::uint32_t length, std::uint8_t out[sizeof(FrameHeader)]) {
    PutLe(out, kFrameMagic, 4);
    PutLe(out + 4, static_cast<std::uint16_t>(type), 2);
    PutLe(out + 6, 0, 2);
    PutLe(out + 8, length, 4);
}

std::vector<std::uint8_t> EncodeFrame(MessageType type, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> out(sizeof(FrameHeader) + payload.size());
    EncodeHeader(type, static_cast<std::uint32_t>(payload.size()), out.data());
    std::copy(payload.begin(), payload.end(), out.begin() + sizeof(FrameHeader));
    return out;
}

bool FrameDecoder::CheckHeader() {
    const auto magic = static_cast<std::uint32_t>(GetLe(header_, 4));
    const auto type = static_cast<std::uint16_t>(GetLe(header_ + 4, 2));
    const auto flags = static_cast<std::uint16_t>(GetLe(header_ + 6, 2));
    length_ = static_cast<std::uint32_t>(GetLe(header_ + 8, 4));
    if (magic != kFrameMagic) error_ = DecodeError::kBadMagic;
    else if (!IsKnownType(type)) error_ = DecodeError::kUnknownType;
    else if (flags != 0) error_ = DecodeError::kBadFlags;
    else if (length_ > max_payload_) error_ = DecodeError::kTooLarge;
    if (error_ != DecodeError::kNone) return false;
    frame_.type = static_cast<MessageType>(type);
    frame_.payload.clear();
    frame_.payload.reserve(length_);
    return true;
}

std::size_t FrameDecoder::Feed(const std::uint8_t* data, std::size_t size) {
    std::size_t used = 0;
    while (used < size && !complete_ && error_ == DecodeError::kNone) {
        if (header_fill_ < sizeof header_) {
            const std::size_t n = std::min(sizeof header_ - header_fill_, size - used);
            std::copy(data + used, data + used + n, header_ + header_fill_);
            header_fill_ += n;
            used += n;
            if (header_fill_ < sizeof header_ || !CheckHeader()) continue;
        } else {
            const std::size_t n = std::min<std::size_t>(length_ - frame_.payload.size(), size - used);
            frame_.payload.insert(frame_.payload.end(), data + used, data + used + n);
            used += n;
        }
        complete_ = header_fill_ == sizeof header_ && frame_.payload.size() == length_;
    }
    // A frame with an empty payload is complete as soon as its header is.
    if (!complete_ && error_ == DecodeError::kNone && header_fill_ == sizeof header_ && length_ == 0) {
        complete_ = true;
    }
    return used;
}

Frame FrameDecoder::TakeFrame() {
    Frame out = std::move(frame_);
    frame_ = Frame{};
    complete_ = false;
    header_fill_ = 0;
    length_ = 0;
    return out;
}

}  // namespace klxpwire
