#pragma once
// Straightforward first-match scans of the cache rules, kept as the reference that the indexed
// versions must match record for record.
#include <cstring>
#include <vector>

#include "service/change_merge.h"
#include "service/camera_record.h"

namespace literal {

inline std::vector<service::CameraRecord> FilterOfficial(const std::vector<service::CameraRecord>& official,
                                                const std::vector<service::CameraRecord>& mutations) {
    std::vector<service::CameraRecord> out;
    for (service::CameraRecord r : official) {
        const service::CameraRecord* m = nullptr;
        for (const service::CameraRecord& x : mutations) {
            if (x.latitude == r.latitude && x.longitude == r.longitude) {
                m = &x;
                break;
            }
        }
        if (m && m->flag != 1) continue;
        if (m) {
            r.direction = m->direction;
            r.category = m->category;
        }
        out.push_back(r);
    }
    return out;
}

struct Change {
    service::CameraRecord record;
    service::DownloadAction action;
};

// The whole merge: survivors in order, then the delta. A deletion marks the camera, whatever
// its fields hold; an update of its position later changes its fields but does not bring it back.
inline std::vector<service::CameraRecord> Merge(std::vector<service::CameraRecord> local, const std::vector<Change>& changes) {
    std::vector<service::CameraRecord> delta;
    std::vector<bool> deleted(local.size(), false);
    auto first = [&](std::int32_t id) -> std::size_t {
        for (std::size_t i = 0; i < local.size(); ++i) {
            if (local[i].identifier == id) return i;
        }
        return local.size();
    };
    for (const Change& c : changes) {
        if (c.action == service::DownloadAction::kUnknown) continue;
        const std::size_t found = first(c.record.identifier);
        const bool known = found < local.size();
        if (c.action == service::DownloadAction::kAdd) {
            if (known) deleted[found] = true;
            delta.push_back(c.record);
        } else if (known && c.action == service::DownloadAction::kDelete) {
            deleted[found] = true;
        } else if (known) {
            for (service::CameraRecord& r : local) {
                if (r.latitude == c.record.latitude && r.longitude == c.record.longitude) {
                    r.extra = c.record.extra;
                    r.direction = c.record.direction;
                    r.category = c.record.category;
                    std::memcpy(r.name, c.record.name, sizeof r.name);
                }
            }
        } else if (c.action != service::DownloadAction::kDelete) {
            delta.push_back(c.record);
        }
    }
    std::vector<service::CameraRecord> out;
    for (std::size_t i = 0; i < local.size(); ++i) {
        if (!deleted[i]) out.push_back(local[i]);
    }
    out.insert(out.end(), delta.begin(), delta.end());
    return out;
}

}  // namespace literal
