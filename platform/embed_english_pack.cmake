# Writes the English language pack into a C++ source, so the programs carry their own English
# and run with no pack files beside them. Run as: cmake -DIN=<1033.txt> -DOUT=<file.cpp> -P this.
# Every byte is written as an escape: whatever the pack holds, the source stays valid.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
# 32 bytes a line, then each byte as \xHH.
string(REGEX REPLACE "(([0-9a-f][0-9a-f]){32})" "\\1\"\n    \"" lines "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" lines "${lines}")
file(WRITE "${OUT}"
"// Generated from resources/lang/1033.txt at build time; edit the pack, not this file.\n"
"#include <cstddef>\n\n"
"namespace platform::builtin {\n\n"
"extern const char kEnglishPack[];\n"
"extern const std::size_t kEnglishPackSize;\n"
"const char kEnglishPack[] =\n    \"${lines}\";\n"
"const std::size_t kEnglishPackSize = ${size};\n\n"
"}  // namespace platform::builtin\n")
