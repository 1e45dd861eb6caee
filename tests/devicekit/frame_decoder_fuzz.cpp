// Any byte sequence through the frame decoder, then every frame through the payload readers
// the agent uses: nothing may read out of bounds or reserve more than the frame limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "devicekit/wire/frame.h"
#include "devicekit/wire/payload.h"
#include "devicekit/wire/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    klxpwire::FrameDecoder decoder(64 * 1024);
    std::size_t pos = 0;
    for (int guard = 0; guard < 100000 && pos < size && decoder.error() == klxpwire::DecodeError::kNone; ++guard) {
        pos += decoder.Feed(data + pos, size - pos);
        if (!decoder.HasFrame()) continue;
        const klxpwire::Frame frame = decoder.TakeFrame();
        klxpwire::PayloadReader r(frame.payload);
        std::uint8_t code = 0, count = 0;
        std::uint16_t max_reply = 0;
        std::uint64_t value = 0;
        std::string text;
        r.U8(code);
        r.U16(max_reply);
        r.U8(count);
        for (int i = 0; i < count && r.Text(text); ++i) {
        }
        r.U64(value);
        std::string name;
        klxpwire::DecodeWireName(frame.payload.data(), frame.payload.size(), name);
        std::u16string units;
        klxpwire::Utf8ToUtf16(name, units);
    }
    return 0;
}
