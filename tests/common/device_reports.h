#pragma once
// Personal-updates bytes as the navigation software writes them: two new cameras far from
// every other, at a different place for each batch (80-byte records).
#include <cstdint>
#include <cstring>
#include <string>

namespace testsupport {

inline std::string DeviceReports(int batch) {
    std::string bytes;
    for (int i = 0; i < 2; ++i) {
        char record[80] = {};
        const std::int32_t fields[] = {-20000000 - i * 100000, 30000000 + batch * 1000000, 3, 0, 90};
        std::memcpy(record, fields, sizeof fields);
        bytes.append(record, sizeof record);
    }
    return bytes;
}

}  // namespace testsupport
