#include "platform/fixed_text.h"

#include <cstring>

namespace platform {

void CopyToField(char* field, std::size_t fieldSize, const char* text) {
    if (fieldSize == 0) return;
    const std::size_t length = text ? strnlen(text, fieldSize - 1) : 0;
    if (length) std::memcpy(field, text, length);
    field[length] = '\0';
}

}  // namespace platform
