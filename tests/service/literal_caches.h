#pragma once
// Straightforward first-match scans of the cache rules, kept as the reference that the indexed
// versions must match record for record.
#include <cstring>
#include <vector>

#include "service/cache_writers.h"
#include "service/camera_record.h"

namespace literal {

inline std::vector<CameraRecord> FilterOfficial(const std::vector<CameraRecord>& official,
                                                const std::vector<CameraRecord>& mutations) {
    std::vector<CameraRecord> out;
    for (CameraRecord r : official) {
        const CameraRecord* m = nullptr;
        for (const CameraRecord& x : mutations) {
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
    CameraRecord record;
    service::ChangeAction action;
};

// The whole merge: survivors in order, then the delta.
inline std::vector<CameraRecord> Merge(std::vector<CameraRecord> local, const std::vector<Change>& changes) {
    std::vector<CameraRecord> delta;
    auto first = [&](std::int32_t id) -> CameraRecord* {
        for (CameraRecord& r : local) {
            if (r.identifier == id) return &r;
        }
        return nullptr;
    };
    for (const Change& c : changes) {
        if (c.action == service::ChangeAction::kUnknown) continue;
        CameraRecord* found = first(c.record.identifier);
        if (c.action == service::ChangeAction::kAdd) {
            if (found) found->direction = kDeletedDirection;
            delta.push_back(c.record);
        } else if (found && c.action == service::ChangeAction::kDelete) {
            found->direction = kDeletedDirection;
        } else if (found) {
            for (CameraRecord& r : local) {
                if (r.latitude == c.record.latitude && r.longitude == c.record.longitude) {
                    r.extra = c.record.extra;
                    r.direction = c.record.direction;
                    r.category = c.record.category;
                    std::memcpy(r.name, c.record.name, sizeof r.name);
                }
            }
        } else if (c.action != service::ChangeAction::kDelete) {
            delta.push_back(c.record);
        }
    }
    std::vector<CameraRecord> out;
    for (const CameraRecord& r : local) {
        if (r.direction != kDeletedDirection) out.push_back(r);
    }
    out.insert(out.end(), delta.begin(), delta.end());
    return out;
}

}  // namespace literal
