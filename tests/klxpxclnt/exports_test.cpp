// libklxpxclnt.so exports the class's names and nothing else of ours (nor of the C++ library).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

std::set<std::string> ExportedNames(const std::string& library) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library + "' | c++filt";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[2048];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        // "<address> <kind> <name>"
        const auto first = text.find(' ');
        const auto second = first == std::string::npos ? first : text.find(' ', first + 1);
        if (second != std::string::npos) names.insert(text.substr(second + 1));
    }
    pclose(pipe);
    return names;
}

bool IsClassName(const std::string& name) {
    for (const char* prefix : {"klxp::CKlxpXClient::", "vtable for klxp::CKlxpXClient", "typeinfo for klxp::CKlxpXClient",
                               "typeinfo name for klxp::CKlxpXClient"}) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

// Symbols the toolchain itself adds to every shared object (sanitizer builds add their own).
bool IsToolchainName(const std::string& name) {
    return name.rfind("__asan", 0) == 0 || name.rfind("__odr_asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 ||
           name.rfind("__sanitizer", 0) == 0 || name == "_init" || name == "_fini" || name == "_edata" ||
           name == "_end" || name == "__bss_start";
}

TEST(ExportsTest, OnlyTheClassIsExported) {
    const char* binary = std::getenv("ZARNIK_BINARY_DIR");
    ASSERT_NE(binary, nullptr);
    const auto names = ExportedNames(std::string(binary) + "/lib/libklxpxclnt.so");
    ASSERT_FALSE(names.empty()) << "nm found nothing";
    for (const auto& name : names) {
        EXPECT_TRUE(IsClassName(name) || IsToolchainName(name)) << "exported by mistake: " << name;
    }
    const char* required[] = {
        "klxp::CKlxpXClient::CKlxpXClient()",
        "klxp::CKlxpXClient::CKlxpXClient(klxp::CKlxpXClient const&)",
        "klxp::CKlxpXClient::~CKlxpXClient()",
        "vtable for klxp::CKlxpXClient",
        "klxp::CKlxpXClient::RemoteDeleteTree(char const*)",
        "klxp::CKlxpXClient::RemoteEnumFiles(char const*, bool)",
        "klxp::CKlxpXClient::RemoteCreateProcess(char const*)",
        "klxp::CKlxpXClient::RemoteGetDiskFreeSpace(char const*, unsigned long*)",
        "klxp::CKlxpXClient::RemoteCreateDirectory(char const*)",
        "klxp::CKlxpXClient::RemoteCopyFile(char const*, char const*, bool)",
        "klxp::CKlxpXClient::RemoteMoveFile(char const*, char const*)",
        "klxp::CKlxpXClient::RemoteDeleteFile(char const*)",
        "klxp::CKlxpXClient::RemoteDeleteDirectory(char const*)",
        "klxp::CKlxpXClient::RemoteGetFileAttributesEx(char const*, klxp::WIN32_FILE_ATTRIBUTE_DATA*)",
        "klxp::CKlxpXClient::RemoteGetSystemPowerStatus(klxp::SYSTEM_POWER_STATUS*)",
        "klxp::CKlxpXClient::RemoteGetImageVersion(char*, int)",
        "klxp::CKlxpXClient::RemoteFormatPartition(char const*)",
        "klxp::CKlxpXClient::RemoteRegisterWindowMessage(char const*, unsigned int*)",
        "klxp::CKlxpXClient::RemoteGlobalMemoryStatus(klxp::MEMORYSTATUS*)",
        "klxp::CKlxpXClient::RemoteBroadCastMessage(unsigned int, unsigned int, int)",
        "klxp::CKlxpXClient::RemoteGetFileInfo(char const*, klxp::WIN32_FILE_ATTRIBUTE_DATA*, char*, char*)",
        "klxp::CKlxpXClient::RemoteGetStroageList(void*, int)",
        "klxp::CKlxpXClient::RemoteGetStroageInfo(unsigned long*, char*)",
        "klxp::CKlxpXClient::RemoteKernelIoControl(unsigned int, void const*, int, void*, int, unsigned int*)",
        "klxp::CKlxpXClient::RemoteRegQueryValueEx(unsigned int, char const*, unsigned int*, unsigned char*, unsigned int*)",
        "klxp::CKlxpXClient::szGetSysPowerStatus",
        "klxp::CKlxpXClient::szGetImageVersion",
        "klxp::CKlxpXClient::szFmtPartition",
        "klxp::CKlxpXClient::szRegWinMsg",
        "klxp::CKlxpXClient::szGlobalMemStat",
    };
    for (const char* name : required) EXPECT_EQ(names.count(name), 1U) << "missing: " << name;
}

}  // namespace
