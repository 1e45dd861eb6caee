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

// The whole merge: survivors in order, then the delta.
inline std::vector<service::CameraRecord> Merge(std::vector<service::CameraRecord> local, const std::vector<Change>& changes) {
    std::vector<service::CameraRecord> delta;
    auto first = [&](std::int32_t id) -> service::CameraRecord* {
        for (service::CameraRecord& r : local) {
            if (r.identifier == id) return &r;
        }
        return nullptr;
    };
    for (const Change& c : changes) {
        if (c.action == service::DownloadAction::kUnknown) continue;
        service::CameraRecord* found = first(c.record.identifier);
        if (c.action == service::DownloadAction::kAdd) {
            if (found) found->direction = service::kDeletedDirection;
            delta.push_back(c.record);
        } else if (found && c.action == service::DownloadAction::kDelete) {
            found->direction = service::kDeletedDirection;
        } else if (found) {
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
    for (const service::CameraRecord& r : local) {
        if (r.direction != service::kDeletedDirection) out.push_back(r);
    }
    out.insert(out.end(), delta.begin(), delta.end());
    return out;
}

}  // namespace literal
