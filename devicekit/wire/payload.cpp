#include "devicekit/wire/payload.h"

#include <algorithm>

namespace klxpwire {

void PutLe(std::uint8_t* out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLe(const std::uint8_t* in, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return value;
}

namespace {
void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width) {
    const std::size_t at = out.size();
    out.resize(at + width);
    PutLe(out.data() + at, value, width);
}
}  // namespace

PayloadWriter& PayloadWriter::U8(std::uint8_t v) { bytes_.push_back(v); return *this; }
PayloadWriter& PayloadWriter::U16(std::uint16_t v) { AppendLe(bytes_, v, 2); return *this; }
PayloadWriter& PayloadWriter::U32(std::uint32_t v) { AppendLe(bytes_, v, 4); return *this; }
PayloadWriter& PayloadWriter::U64(std::uint64_t v) { AppendLe(bytes_, v, 8); return *this; }

PayloadWriter& PayloadWriter::Text(std::string_view text) {
    const std::size_t n = std::min(text.size(), kMaxText);
    U16(static_cast<std::uint16_t>(n));
    return Bytes(text.data(), n);
}

PayloadWriter& PayloadWriter::Bytes(const void* data, std::size_t size) {
    if (size == 0) return *this;
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return *this;
}

bool PayloadReader::Take(std::size_t n, const std::uint8_t*& p) {
    if (!ok_ || size_ - pos_ < n) {
        ok_ = false;
        return false;
    }
    p = data_ + pos_;
    pos_ += n;
    return true;
}

bool PayloadReader::U8(std::uint8_t& v) {
    const std::uint8_t* p = nullptr;
    if (!Take(1, p)) return false;
    v = *p;
    return true;
}

bool PayloadReader::U16(std::uint16_t& v) {
    const std::uint8_t* p = nullptr;
    if (!Take(2, p)) return false;
    v = static_cast<std::uint16_t>(GetLe(p, 2));
    return true;
}

bool PayloadReader::U32(std::uint32_t& v) {
    const std::uint8_t* p = nullptr;
    if (!Take(4, p)) return false;
    v = static_cast<std::uint32_t>(GetLe(p, 4));
    return true;
}

bool PayloadReader::U64(std::uint64_t& v) {
    const std::uint8_t* p = nullptr;
    if (!Take(8, p)) return false;
    v = GetLe(p, 8);
    return true;
}

bool PayloadReader::Text(std::string& text) {
    std::uint16_t n = 0;
    const std::uint8_t* p = nullptr;
    if (!U16(n) || !Take(n, p)) return false;
    text.assign(reinterpret_cast<const char*>(p), n);
    return true;
}

void PayloadReader::Rest(const std::uint8_t*& data, std::size_t& size) {
    data = data_ + (ok_ ? pos_ : size_);
    size = remaining();
    pos_ = size_;
}

}  // namespace klxpwire
