#pragma once
// The camera file built the slow, literal way: one WorkRecord per camera, the quadratic
// exchange sort on them, the cell index from the sorted runs, then every field written in
// turn. The fast writer must match it byte for byte; tests and the benchmark compare with it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "service/camera_file/format.h"
#include "service/camera_record.h"

namespace literal {

// Swaps i and every later j whose key is smaller: the sort whose order the file keeps.
template <typename T, typename KeyOf>
void ExchangeSort(std::vector<T>& items, KeyOf keyOf) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (keyOf(items[j]) < keyOf(items[i])) std::swap(items[i], items[j]);
        }
    }
}

inline std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::int32_t> keys) {
    std::vector<std::uint32_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    ExchangeSort(order, [&](std::uint32_t index) { return keys[index]; });
    return order;
}

inline service::WorkRecord WorkRecordOf(const service::CameraRecord& c) {
    service::WorkRecord w{};
    w.latitude = c.latitude;
    w.longitude = c.longitude;
    w.direction = c.direction;
    w.category = c.category;
    std::memcpy(w.name, c.name, sizeof w.name);
    w.name[sizeof w.name - 1] = '\0';
    w.extra = c.extra;
    w.latitudeCell = c.latitude / 22500;
    const double phi = c.latitude / 1000000.0 / 180.0 * 3.14159265358979;
    w.longitudeCell = static_cast<std::int32_t>(c.longitude / ((9.0 / std::cos(phi)) * 2500.0));
    w.cellKey = static_cast<std::int32_t>((static_cast<std::uint32_t>(w.longitudeCell) << 16U) |
                                          static_cast<std::uint32_t>(w.latitudeCell));
    return w;
}

template <typename T>
void Append(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The file's bytes; names are copied up to their terminator and zero after it.
inline std::string CameraFileBytes(const std::vector<service::CameraRecord>& cache) {
    std::vector<service::WorkRecord> work;
    for (const service::CameraRecord& c : cache) work.push_back(WorkRecordOf(c));
    ExchangeSort(work, [](const service::WorkRecord& w) { return w.cellKey; });

    std::vector<service::CellGroup> cells;
    for (std::uint32_t k = 0; k < work.size(); ++k) {
        if (k == 0 || work[k].cellKey != work[k - 1].cellKey) cells.push_back({work[k].cellKey, k, 0});
        ++cells.back().cameraCount;
    }
    std::string out;
    out.push_back(static_cast<char>(100));
    Append(out, static_cast<std::uint32_t>(11 + 12 * cells.size()));
    out.append("Korva", 6);
    for (const service::CellGroup& g : cells) Append(out, g);
    for (const service::WorkRecord& w : work) {
        service::DeviceCameraRecord d{};
        d.longitude = w.longitude / 10;
        d.latitude = w.latitude / 10;
        std::memcpy(d.name, w.name, std::strlen(w.name));  // d is zeroed: the rest stays 0
        d.direction = w.direction;
        d.category = w.category;
        out.push_back(static_cast<char>(200));
        Append(out, static_cast<std::uint32_t>(73));
        Append(out, d);
    }
    return out;
}

}  // namespace literal
