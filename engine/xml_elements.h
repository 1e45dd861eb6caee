#pragma once
// What the XML formats of the exchange (GPX, KML) share when they read: elements found by name
// in a file read piece by piece, and the attributes and child texts of one element. Not an XML
// parser: enough of XML to find the items map programs write, each bounded before it is kept.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/camera_exchange.h"
#include "engine/exchange_fields.h"

namespace engine::exchange {

// The position of what in text from `from` on, or npos.
std::size_t FindText(const std::string& text, std::string_view what, std::size_t from);

// An attribute of a start tag: name="value" or name='value'. False when the tag has none.
bool Attribute(std::string_view tag, std::string_view name, std::string_view& value);

// Takes one whole element (start tag to end tag, or an empty-element tag) and the line it
// begins on; kAppended to go on, anything else ends the reading with that result.
using ElementHandler = std::function<ImportResult(std::string_view element, std::size_t line)>;

// Hands each element `<name ...>...</name>` or `<name .../>` of the file to each, in file order
// (buffer holds what was read so far). Elements are not nested in one another. kBadFile, with
// line and problem, for an element longer than kLongestItem or one the file ends inside
// ("a <noun> longer than 64 KiB, or one that never ends", "the file ends inside a <noun>");
// kUnreadable when reading failed; kAppended at the end of the file.
ImportResult ForEachElement(ChunkReader& reader, std::string& buffer, std::string_view name, const char* noun,
                            const ElementHandler& each, ImportSummary& summary);

}  // namespace engine::exchange
