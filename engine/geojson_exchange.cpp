#include "engine/geojson_exchange.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

namespace engine::exchange {

namespace {

constexpr std::size_t kDeepest = 64;

// What a JSON value means to the import, decided by where it stands.
enum class Role : std::uint8_t {
    kOther,        // nothing the import reads
    kFeature,      // the document itself, or an object of its "features": a Feature or a bare Point
    kFeatures,     // the document's "features" array
    kGeometry,     // a feature's "geometry"
    kCoordinates,  // "coordinates" of a geometry or of a bare Point
    kProperties,   // a feature's "properties"
};

enum class Expect : std::uint8_t { kKeyOrEnd, kKey, kColon, kValue, kValueOrEnd, kCommaOrEnd, kNothing };

enum Property : std::size_t { kDirection, kCategory, kExtra, kPropertyCount };
constexpr std::array<std::string_view, kPropertyCount> kPropertyNames = {"direction", "category", "extra"};

// What one feature has shown of itself so far; its keys come in any order.
struct Feature {
    std::string type;
    std::string geometryType;
    std::array<std::string, 3> position;  // longitude, latitude, altitude
    std::size_t numbers = 0;              // numbers seen in the coordinates
    bool notOnePosition = false;          // anything but numbers in the coordinates
    std::array<std::string, kPropertyCount> properties;
    std::size_t line = 0;
};

struct Frame {
    bool object = false;
    Role role = Role::kOther;
    Expect expect = Expect::kValue;
    std::string key;     // the key whose value comes next (objects)
    std::size_t owner = 0;  // the frame of the feature this belongs to, when it belongs to one
    Feature feature;     // kFeature frames only
};

// JSON may write a number with an exponent ("-1e-06", as gpsbabel does), the degrees reader
// takes plain decimals only: the point is moved here, as text, so no digit is rounded. An
// exponent beyond any degree or whole number leaves the text as it is, to be refused with it.
std::string PlainDecimal(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    if (e == std::string_view::npos) return std::string(number);
    std::string_view power = number.substr(e + 1);
    if (!power.empty() && power.front() == '+') power.remove_prefix(1);
    int exponent = 0;
    const auto [end, error] = std::from_chars(power.data(), power.data() + power.size(), exponent);
    if (error != std::errc() || end != power.data() + power.size() || exponent > 20 || exponent < -400) {
        return std::string(number);
    }
    std::string_view mantissa = number.substr(0, e);
    const std::string sign = !mantissa.empty() && mantissa.front() == '-' ? "-" : "";
    mantissa.remove_prefix(sign.size());
    const std::size_t dot = mantissa.find('.');
    const std::string digits = std::string(mantissa.substr(0, dot)) +
                               std::string(dot == std::string_view::npos ? std::string_view() : mantissa.substr(dot + 1));
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return std::string(number);
    const long point = static_cast<long>(dot == std::string_view::npos ? mantissa.size() : dot) + exponent;
    if (point <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    const auto at = static_cast<std::size_t>(point);
    if (at >= digits.size()) return sign + digits + std::string(at - digits.size(), '0');
    return sign + digits.substr(0, at) + "." + digits.substr(at);
}

enum class Token : std::uint8_t { kString, kNumber, kLiteral, kOpenObject, kOpenArray, kClose, kColon, kComma };

class GeoJsonReader {
public:
    GeoJsonReader(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary)
        : reader_(reader), buffer_(buffer), add_(add), summary_(summary) {}

    ImportResult Read() {
        if (buffer_.rfind("\xef\xbb\xbf", 0) == 0) pos_ = 3;
        for (;;) {
            while (pos_ < buffer_.size() && IsBlank(buffer_[pos_])) Advance(pos_ + 1);
            if (pos_ == buffer_.size()) {
                if (!Refill()) break;
                continue;
            }
            started_ = true;
            std::size_t end = 0;
            if (!TokenEnd(end)) {
                if (end > kLongestItem) return Bad("a text or number longer than 64 KiB, or a text that never ends");
                if (!more_) break;
                Refill();  // at the end of the file a number or word ends where the file does
                continue;
            }
            if (end == 0) return Bad(std::string("not JSON: unexpected \"") + buffer_[pos_] + "\"");
            const ImportResult result = Take(std::string_view(buffer_).substr(pos_, end - pos_));
            if (result != ImportResult::kAppended) return result;
            Advance(end);
        }
        if (reader_.error() != 0) return ImportResult::kUnreadable;
        if (!done_) return Bad(started_ ? "the file ends inside the JSON document" : "the file is empty");
        return ImportResult::kAppended;
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void Advance(std::size_t to) {
        line_ += CountLines(std::string_view(buffer_).substr(pos_, to - pos_));
        pos_ = to;
    }

    bool Refill() {
        buffer_.erase(0, pos_);
        pos_ = 0;
        more_ = more_ && reader_.More(buffer_);
        return more_;
    }

    ImportResult Bad(std::string problem) {
        summary_.line = line_;
        summary_.problem = std::move(problem);
        return ImportResult::kBadFile;
    }

    // Where the token at pos_ ends; false when it is not all there yet (end then says how long
    // it is so far). end 0: no token begins here.
    bool TokenEnd(std::size_t& end) const {
        const char c = buffer_[pos_];
        if (std::string_view("{}[]:,").find(c) != std::string_view::npos) {
            end = pos_ + 1;
            return true;
        }
        std::size_t i = pos_ + 1;
        if (c == '"') {
            for (; i < buffer_.size(); ++i) {
                if (buffer_[i] == '\\') {
                    ++i;
                } else if (buffer_[i] == '"') {
                    end = i + 1;
                    return true;
                }
            }
        } else if (c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
            while (i < buffer_.size() && std::string_view("+-.eE0123456789abcdefghijklmnopqrstuvwxyz").find(buffer_[i]) !=
                                             std::string_view::npos) {
                ++i;
            }
            if (i < buffer_.size() || !more_) {
                end = i;
                return true;
            }
        } else {
            end = 0;
            return true;
        }
        end = i - pos_;
        return false;
    }

    // The text of a string token without its quotes and escapes; false for a bad escape.
    static bool Unescape(std::string_view quoted, std::string& text) {
        text.clear();
        for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
            char c = quoted[i];
            if (c == '\\') {
                const char e = quoted[++i];
                const std::string_view from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
                if (const std::size_t at = from.find(e); at != std::string_view::npos) {
                    c = to[at];
                } else if (unsigned code = 0; e == 'u' && i + 4 < quoted.size() - 1 &&
                                              std::from_chars(&quoted[i + 1], &quoted[i + 5], code, 16).ptr == &quoted[i + 5]) {
                    // Only the names the import compares matter, and they are ASCII.
                    c = code < 0x80 ? static_cast<char>(code) : '?';
                    i += 4;
                } else {
                    return false;
                }
            }
            text.push_back(c);
        }
        return true;
    }

    static Token KindOf(std::string_view token) {
        switch (token.front()) {
        case '{': return Token::kOpenObject;
        case '[': return Token::kOpenArray;
        case '}': case ']': return Token::kClose;
        case ':': return Token::kColon;
        case ',': return Token::kComma;
        case '"': return Token::kString;
        default: return token.front() >= 'a' && token.front() <= 'z' ? Token::kLiteral : Token::kNumber;
        }
    }

    ImportResult Unexpected(std::string_view token) {
        return Bad("not JSON: unexpected \"" + std::string(token.substr(0, 40)) + "\"");
    }

    ImportResult Take(std::string_view token) {
        const Token kind = KindOf(token);
        if (done_) return Bad("more after the end of the JSON document");
        const Expect expect = stack_.empty() ? Expect::kValue : stack_.back().expect;
        if (kind == Token::kClose) {
            const bool closesObject = token.front() == '}';
            if (stack_.empty() || stack_.back().object != closesObject ||
                (expect != Expect::kCommaOrEnd && expect != Expect::kKeyOrEnd && expect != Expect::kValueOrEnd)) {
                return Unexpected(token);
            }
            return Close();
        }
        if (kind == Token::kComma || kind == Token::kColon) {
            const bool fits = kind == Token::kColon ? expect == Expect::kColon : expect == Expect::kCommaOrEnd;
            if (!fits) return Unexpected(token);
            stack_.back().expect = kind == Token::kColon ? Expect::kValue : stack_.back().object ? Expect::kKey : Expect::kValue;
            return ImportResult::kAppended;
        }
        std::string text;
        if (kind == Token::kString && !Unescape(token, text)) return Bad("a text with a bad escape");
        if (expect == Expect::kKey || expect == Expect::kKeyOrEnd) {
            if (kind != Token::kString) return Unexpected(token);
            stack_.back().key = std::move(text);
            stack_.back().expect = Expect::kColon;
            return ImportResult::kAppended;
        }
        if (expect != Expect::kValue && expect != Expect::kValueOrEnd) return Unexpected(token);
        if (kind == Token::kLiteral && token != "true" && token != "false" && token != "null") return Unexpected(token);
        if (kind == Token::kOpenObject || kind == Token::kOpenArray) return Open(kind == Token::kOpenObject);
        if (kind == Token::kString) Scalar(text);
        if (kind == Token::kNumber) Scalar(PlainDecimal(token), true);
        if (kind == Token::kLiteral) Scalar(token == "null" ? std::string_view() : token);
        ValueDone();
        return ImportResult::kAppended;
    }

    void ValueDone() {
        if (stack_.empty()) {
            done_ = true;
        } else {
            stack_.back().expect = Expect::kCommaOrEnd;
        }
    }

    // The key of the value about to be read, and the frame holding it (nullptr at the top).
    Frame* Parent() { return stack_.empty() ? nullptr : &stack_.back(); }

    void Scalar(std::string_view text, bool number = false) {
        Frame* parent = Parent();
        if (parent == nullptr) return;
        Feature* owner = parent->role == Role::kOther ? nullptr : &stack_[parent->owner].feature;
        switch (parent->role) {
        case Role::kFeature:
            if (parent->key == "type") parent->feature.type = text;
            break;
        case Role::kGeometry:
            if (parent->key == "type") owner->geometryType = text;
            break;
        case Role::kCoordinates:
            if (!number || owner->numbers >= owner->position.size()) {
                owner->notOnePosition = true;
            } else {
                owner->position[owner->numbers++] = text;
            }
            break;
        case Role::kProperties:
            for (std::size_t i = 0; i < kPropertyCount; ++i) {
                if (parent->key == kPropertyNames[i]) owner->properties[i] = text;
            }
            break;
        default:
            break;
        }
    }

    ImportResult Open(bool object) {
        if (stack_.size() >= kDeepest) return Bad("JSON nested deeper than 64 levels");
        Frame frame;
        frame.object = object;
        frame.expect = object ? Expect::kKeyOrEnd : Expect::kValueOrEnd;
        const Frame* parent = Parent();
        const Role parentRole = parent == nullptr ? Role::kOther : parent->role;
        const std::string_view key = parent == nullptr ? std::string_view() : std::string_view(parent->key);
        if (parent == nullptr || parentRole == Role::kFeatures) {
            frame.role = object ? Role::kFeature : Role::kOther;
        } else if (parentRole == Role::kFeature) {
            frame.role = key == "features" && !object && stack_.size() == 1 ? Role::kFeatures
                         : key == "geometry" && object                       ? Role::kGeometry
                         : key == "coordinates" && !object                   ? Role::kCoordinates
                         : key == "properties" && object                     ? Role::kProperties
                                                                             : Role::kOther;
        } else if (parentRole == Role::kGeometry && key == "coordinates" && !object) {
            frame.role = Role::kCoordinates;
        } else if (parentRole == Role::kCoordinates) {
            stack_[parent->owner].feature.notOnePosition = true;  // a line's or an area's positions
        } else if (parentRole == Role::kProperties) {
            for (std::size_t i = 0; i < kPropertyCount; ++i) {
                if (key == kPropertyNames[i]) stack_[parent->owner].feature.properties[i] = object ? "{...}" : "[...]";
            }
        }
        frame.owner = frame.role == Role::kFeature ? stack_.size() : parent != nullptr ? parent->owner : 0;
        if (frame.role == Role::kFeature) frame.feature.line = line_;
        stack_.push_back(std::move(frame));
        return ImportResult::kAppended;
    }

    ImportResult Close() {
        ImportResult result = ImportResult::kAppended;
        if (stack_.back().role == Role::kFeature) result = Finish(stack_.back().feature);
        stack_.pop_back();
        ValueDone();
        return result;
    }

    ImportResult Finish(const Feature& feature) {
        const bool point = feature.type == "Point" || (feature.type == "Feature" && feature.geometryType == "Point");
        if (!point) return ImportResult::kAppended;  // a collection, or a feature of another kind
        summary_.line = feature.line;
        if (feature.notOnePosition || feature.numbers < 2) {
            summary_.problem = "a Point whose coordinates are not one [longitude, latitude]";
            return ImportResult::kBadFile;
        }
        Camera camera;
        if (!FillCamera(feature.position[1], feature.position[0], feature.properties[kDirection],
                        feature.properties[kCategory], feature.properties[kExtra], camera, summary_.problem)) {
            return ImportResult::kBadFile;
        }
        return add_(AddRecord(camera)) ? ImportResult::kAppended : ImportResult::kWriteFailed;
    }

    ChunkReader& reader_;
    std::string& buffer_;
    const RecordSink& add_;
    ImportSummary& summary_;
    std::size_t pos_ = 0;   // what lies before it is done with
    std::size_t line_ = 1;  // the line buffer_[pos_] is on
    bool more_ = true;
    bool started_ = false;
    bool done_ = false;
    std::vector<Frame> stack_;
};

}  // namespace

void AppendGeoJsonStart(std::string& out) { out += "{\"type\":\"FeatureCollection\",\"features\":[\n"; }

void AppendGeoJsonEnd(std::string& out) { out += "]}\n"; }

void AppendGeoJsonFeature(std::string& out, const service::CameraRecord& r, std::size_t index) {
    if (index > 0) out += ",\n";
    out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
    AppendDegrees(out, r.longitude);
    out.push_back(',');
    AppendDegrees(out, r.latitude);
    out += "]},\"properties\":{\"name\":\"";
    AppendName(out, r, EscapeJson);
    out += "\",\"direction\":";
    AppendInt(out, r.direction);
    out += ",\"category\":";
    AppendInt(out, r.category);
    out += ",\"extra\":";
    AppendInt(out, r.extra);
    out += ",\"id\":";
    AppendInt(out, r.identifier);
    out += r.flag == 0 ? ",\"personal\":true}}" : ",\"personal\":false}}";
}

ImportResult ReadGeoJson(ChunkReader& reader, std::string& buffer, const RecordSink& add, ImportSummary& summary) {
    return GeoJsonReader(reader, buffer, add, summary).Read();
}

}  // namespace engine::exchange
