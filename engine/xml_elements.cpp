#include "engine/xml_elements.h"

#include <string.h>

#include <algorithm>

namespace engine::exchange {

std::size_t FindText(const std::string& text, std::string_view what, std::size_t from) {
    // memmem: a two-way search, far faster than scanning for each "<" in turn.
    if (from >= text.size()) return std::string::npos;
    const void* hit = ::memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return hit == nullptr ? std::string::npos : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

bool Attribute(std::string_view tag, std::string_view name, std::string_view& value) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const char before = at > 0 ? tag[at - 1] : '<';
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n') continue;
        std::size_t p = at + name.size();
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) ++p;
        if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) return false;
        const std::size_t close = tag.find(tag[p], p + 1);
        if (close == std::string_view::npos) return false;
        value = tag.substr(p + 1, close - p - 1);
        return true;
    }
    return false;
}

ImportResult ForEachElement(ChunkReader& reader, std::string& buffer, std::string_view name, const char* noun,
                            const ElementHandler& each, ImportSummary& summary) {
    const std::string open = "<" + std::string(name);
    const std::string close = "</" + std::string(name) + ">";
    std::size_t line = 1;  // the line buffer[pos] is on
    std::size_t pos = 0;   // what lies before it is done with
    bool more = true;
    const auto advance = [&](std::size_t to) {
        line += CountLines(std::string_view(buffer).substr(pos, to - pos));
        pos = to;
    };
    const auto bad = [&](std::size_t at, const std::string& problem) {
        advance(at);
        summary.line = line;
        summary.problem = problem;
        return ImportResult::kBadFile;
    };
    for (;;) {
        const std::size_t start = FindText(buffer, open, pos);
        const std::size_t after = start + open.size();
        const bool isElement = start != std::string::npos && after < buffer.size() &&
                               std::string_view(" \t\r\n/>").find(buffer[after]) != std::string_view::npos;
        if (start != std::string::npos && !isElement && after < buffer.size()) {
            advance(after);  // "<wptx": another element; look past it
            continue;
        }
        std::size_t end = std::string::npos;
        if (isElement) {
            const std::size_t tagEnd = buffer.find('>', start);
            if (tagEnd != std::string::npos && buffer[tagEnd - 1] == '/') {
                end = tagEnd + 1;
            } else if (tagEnd != std::string::npos) {
                const std::size_t found = FindText(buffer, close, tagEnd);
                if (found != std::string::npos) end = found + close.size();
            }
        }
        if (end == std::string::npos) {
            if (isElement && buffer.size() - start > kLongestItem) {
                return bad(start, "a " + std::string(noun) + " longer than 64 KiB, or one that never ends");
            }
            if (!more) {
                if (isElement) return bad(start, "the file ends inside a " + std::string(noun));
                return reader.error() != 0 ? ImportResult::kUnreadable : ImportResult::kAppended;
            }
            // Keep what could still begin an element, drop the rest.
            advance(isElement ? start : std::max(pos, buffer.size() > open.size() ? buffer.size() - open.size() : 0));
            buffer.erase(0, pos);
            pos = 0;
            more = reader.More(buffer);
            continue;
        }
        advance(start);
        summary.line = line;
        if (const ImportResult result = each(std::string_view(buffer).substr(start, end - start), line);
            result != ImportResult::kAppended) {
            return result;
        }
        advance(end);
    }
}

}  // namespace engine::exchange
