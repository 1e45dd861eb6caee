// The field reader on hostile reply text: whatever the bytes and however the reply is split
// into pieces, and whether fields are copied or ended in place, the same fields come out, none
// longer than its room, and numbers never overflow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "service/list_fields.h"

namespace {

struct Field {
    std::string text;
    std::size_t full;
};

template <std::size_t Capacity>
std::vector<Field> Fields(const char* data, std::size_t size, std::size_t step, bool dropLineFeeds, bool inPlace) {
    service::FieldReader<Capacity> reader(dropLineFeeds);
    std::vector<Field> out;
    std::vector<char> copy(data, data + size);
    const auto take = [&](const char* text, std::size_t kept, std::size_t full) {
        if (kept >= Capacity || text[kept] != '\0') std::abort();
        out.push_back({std::string(text, kept), full});
        service::ReadNumber(text);
        return true;
    };
    for (std::size_t at = 0; at < size; at += step) {
        const std::size_t n = size - at < step ? size - at : step;
        if (inPlace) {
            reader.FeedInPlace(copy.data() + at, n, take);
        } else {
            reader.Feed(data + at, n, take);
        }
    }
    return out;
}

// The fields as a plain reading of the text, a byte at a time, gives them.
std::vector<Field> Literal(const char* data, std::size_t size, bool dropLineFeeds, std::size_t capacity) {
    std::vector<Field> out;
    Field field{};
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '|' || c == '#') {
            out.push_back(field);
            field = {};
        } else if (c != '\n' || !dropLineFeeds) {
            if (field.text.size() < capacity - 1) field.text += c;
            ++field.full;
        }
    }
    return out;
}

template <std::size_t Capacity>
void Check(const char* data, std::size_t size, std::size_t step, bool drop) {
    const auto whole = Fields<Capacity>(data, size, size == 0 ? 1 : size, drop, false);
    const auto split = Fields<Capacity>(data, size, step, drop, true);
    const auto literal = Literal(data, size, drop, Capacity);
    if (whole.size() != split.size() || whole.size() != literal.size()) std::abort();
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (whole[i].text != literal[i].text || whole[i].full != literal[i].full) std::abort();
    }
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (whole[i].text != split[i].text || whole[i].full != split[i].full) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 500;
    const char* text = reinterpret_cast<const char*>(data + 1);
    Check<256>(text, size - 1, step, true);
    Check<1024>(text, size - 1, step, false);

    service::CameraRecordBuilder builder(static_cast<service::ListKind>(data[0] % 3));
    service::ListFieldReader reader(true);
    reader.Feed(text, size - 1, [&](const char* field, std::size_t, std::size_t) {
        if (builder.Take(field) && builder.record().name[sizeof builder.record().name - 1] != '\0') std::abort();
        return true;
    });
    return 0;
}
