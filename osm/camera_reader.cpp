#include "osm/camera_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <osmium/io/any_input.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>
#include <string_view>
#include <sys/stat.h>
#include <utility>

#include "osm/camera_tags.h"

namespace osm {

namespace {

// The tags of one object that make a record, as the object gives them (nullptr: no such tag).
struct RecordTags {
    const char* direction = nullptr;
    const char* cameraDirection = nullptr;
    const char* maxspeed = nullptr;
    const char* name = nullptr;

    explicit RecordTags(const osmium::TagList& tags)
        : direction(tags.get_value_by_key("direction")),
          cameraDirection(tags.get_value_by_key("camera:direction")),
          maxspeed(tags.get_value_by_key("maxspeed")),
          name(tags.get_value_by_key("name")) {
        if (name != nullptr && *name == '\0') name = nullptr;
    }
    const char* Direction() const { return direction != nullptr ? direction : cameraDirection; }
};

// What a relation gives the nodes it names, parsed once.
struct Enforcement {
    std::int64_t id = 0;
    CameraKind kind = CameraKind::kOther;
    bool hasDirection = false;
    std::int32_t direction = -1;
    bool hasSpeed = false;
    std::int32_t speed = 0;
    std::string name;  // already cut
};

struct Target {
    std::int64_t node;
    std::uint32_t enforcement;  // index into the relations
};

struct Found {
    std::int64_t node;
    bool tagged;  // highway=speed_camera
    service::CameraRecord record;
};

void PutName(service::CameraRecord& record, std::string_view name) {
    const std::string_view cut = CutAtCharacter(name, sizeof record.name - 1);
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, cut.data(), cut.size());
}

class CameraCollector {
public:
    void TakeRelation(const osmium::Relation& relation) {
        const char* type = relation.tags().get_value_by_key("type");
        if (type == nullptr || std::strcmp(type, "enforcement") != 0) return;
        const char* enforcement = relation.tags().get_value_by_key("enforcement");
        Enforcement e;
        e.id = relation.id();
        e.kind = KindOfEnforcement(enforcement != nullptr ? enforcement : "");
        const RecordTags tags(relation.tags());
        if (tags.Direction() != nullptr) {
            e.hasDirection = true;
            e.direction = ParseDirection(tags.Direction());
        }
        if (tags.maxspeed != nullptr) {
            e.hasSpeed = true;
            e.speed = ParseMaxSpeedKmh(tags.maxspeed);
        }
        if (tags.name != nullptr) e.name = std::string(CutAtCharacter(tags.name, sizeof service::CameraRecord{}.name - 1));
        const auto index = static_cast<std::uint32_t>(relations_.size());
        bool named = false;
        for (const char* role : {"device", "from"}) {
            for (const osmium::RelationMember& member : relation.members()) {
                if (member.type() != osmium::item_type::node || std::strcmp(member.role(), role) != 0) continue;
                targets_.push_back({member.ref(), index});
                named = true;
                if (role[0] == 'f') break;  // one "from" node at most
            }
            if (named) break;
        }
        relations_.push_back(std::move(e));
        ++counts_.relations;
    }

    // Once every relation is in: each node is named by the relation of smallest id, whatever
    // order the files came in.
    void SortTargets() {
        std::sort(targets_.begin(), targets_.end(), [this](const Target& a, const Target& b) {
            return a.node != b.node ? a.node < b.node : relations_[a.enforcement].id < relations_[b.enforcement].id;
        });
        targets_.erase(std::unique(targets_.begin(), targets_.end(),
                                   [](const Target& a, const Target& b) { return a.node == b.node; }),
                       targets_.end());
    }

    void TakeNode(const osmium::Node& node) {
        const osmium::TagList& tags = node.tags();
        const Target* target = FindTarget(node.id());
        bool camera = false;
        if (!tags.empty()) {
            const char* highway = tags.get_value_by_key("highway");
            camera = highway != nullptr && std::strcmp(highway, "speed_camera") == 0;
        }
        if ((!camera && target == nullptr) || !node.location().valid()) return;
        const Enforcement* relation = target != nullptr ? &relations_[target->enforcement] : nullptr;
        const RecordTags own(tags);
        Found found{node.id(), camera, {}};
        service::CameraRecord& r = found.record;
        r.latitude = MicroDegrees(node.location().y());
        r.longitude = MicroDegrees(node.location().x());
        const CameraKind kind = relation != nullptr ? relation->kind : CameraKind::kFixedSpeed;
        r.category = static_cast<std::int32_t>(kind);
        r.direction = own.Direction() != nullptr                 ? ParseDirection(own.Direction())
                      : relation != nullptr && relation->hasDirection ? relation->direction
                                                                      : -1;
        r.extra = own.maxspeed != nullptr                   ? ParseMaxSpeedKmh(own.maxspeed)
                  : relation != nullptr && relation->hasSpeed ? relation->speed
                                                              : 0;
        if (own.name != nullptr) {
            PutName(r, own.name);
        } else if (relation != nullptr && !relation->name.empty()) {
            PutName(r, relation->name);
        } else {
            PutName(r, DefaultName(kind, r.extra));
        }
        r.identifier = RecordIdentifier(node.id());
        r.flag = kOsmFlag;
        found_.push_back(found);
    }

    // The cameras by node id, each node once (its first reading).
    std::vector<service::CameraRecord> Cameras() {
        std::stable_sort(found_.begin(), found_.end(), [](const Found& a, const Found& b) { return a.node < b.node; });
        std::vector<service::CameraRecord> out;
        out.reserve(found_.size());
        for (std::size_t i = 0; i < found_.size(); ++i) {
            if (i > 0 && found_[i].node == found_[i - 1].node) continue;
            ++(found_[i].tagged ? counts_.cameraNodes : counts_.relationCameras);
            out.push_back(found_[i].record);
        }
        return out;
    }

    bool has_targets() const { return !targets_.empty(); }
    ReadCounts& counts() { return counts_; }

private:
    const Target* FindTarget(std::int64_t node) const {
        if (targets_.empty() || node < targets_.front().node || node > targets_.back().node) return nullptr;
        const auto at = std::lower_bound(targets_.begin(), targets_.end(), node,
                                         [](const Target& t, std::int64_t id) { return t.node < id; });
        return at != targets_.end() && at->node == node ? &*at : nullptr;
    }

    std::vector<Enforcement> relations_;
    std::vector<Target> targets_;
    std::vector<Found> found_;
    ReadCounts counts_;
};

// Reads one file's objects of the kinds given; the reader's threads decode while this one
// looks at what they made. Throws what libosmium throws for a file it cannot read.
template <class OnObject>
void ReadFile(const std::string& path, osmium::osm_entity_bits::type kinds, OnObject&& onObject) {
    osmium::io::Reader reader(path, kinds, osmium::io::read_meta::no);
    while (osmium::memory::Buffer buffer = reader.read()) {
        for (const osmium::OSMObject& object : buffer.select<osmium::OSMObject>()) onObject(object);
    }
    reader.close();
}

// The cause of a file that cannot be opened at all, in the system's words.
bool Openable(const std::string& path, std::string& cause) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        cause = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        cause = "a folder, not a file";
        return false;
    }
    return true;
}

}  // namespace

bool ReadCameras(const std::vector<std::string>& files, std::vector<service::CameraRecord>& cameras,
                 ReadFailure& failure, ReadCounts* counts) {
    cameras.clear();
    CameraCollector collector;
    std::string current;
    try {
        for (const std::string& file : files) {
            current = file;
            if (!Openable(file, failure.cause)) {
                failure.file = file;
                return false;
            }
            ReadFile(file, osmium::osm_entity_bits::relation, [&](const osmium::OSMObject& object) {
                collector.TakeRelation(static_cast<const osmium::Relation&>(object));
            });
        }
        collector.SortTargets();
        for (const std::string& file : files) {
            current = file;
            ReadFile(file, osmium::osm_entity_bits::node, [&](const osmium::OSMObject& object) {
                collector.TakeNode(static_cast<const osmium::Node&>(object));
            });
        }
    } catch (const std::exception& error) {
        failure.file = current;
        failure.cause = error.what();
        return false;
    }
    cameras = collector.Cameras();
    if (counts != nullptr) *counts = collector.counts();
    return true;
}

}  // namespace osm
