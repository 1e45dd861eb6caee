#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace klxpwire {

// Builds a message payload: little-endian integers and length-prefixed byte strings.
class PayloadWriter {
public:
    PayloadWriter& U8(std::uint8_t v);
    PayloadWriter& U16(std::uint16_t v);
    PayloadWriter& U32(std::uint32_t v);
    PayloadWriter& U64(std::uint64_t v);
    // A byte string of at most 65535 bytes, preceded by its 16-bit length (longer ones are
    // cut: callers check lengths first, see FitsText).
    PayloadWriter& Text(std::string_view text);
    PayloadWriter& Bytes(const void* data, std::size_t size);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

constexpr std::size_t kMaxText = 0xFFFF;
inline bool FitsText(std::string_view text) { return text.size() <= kMaxText; }

// Reads a payload with bounds checks: every getter fails (and the reader stays failed) when
// the bytes run out, so a malformed payload can never be read past its end.
class PayloadReader {
public:
    PayloadReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit PayloadReader(const std::vector<std::uint8_t>& bytes) : PayloadReader(bytes.data(), bytes.size()) {}

    bool U8(std::uint8_t& v);
    bool U16(std::uint16_t& v);
    bool U32(std::uint32_t& v);
    bool U64(std::uint64_t& v);
    bool Text(std::string& text);
    // The rest of the payload.
    void Rest(const std::uint8_t*& data, std::size_t& size);

    std::size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
    bool ok() const { return ok_; }
    bool AtEnd() const { return ok_ && pos_ == size_; }

private:
    bool Take(std::size_t n, const std::uint8_t*& p);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

void PutLe(std::uint8_t* out, std::uint64_t value, std::size_t width);
std::uint64_t GetLe(const std::uint8_t* in, std::size_t width);

}  // namespace klxpwire
