#include "platform/string_table.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/resources.h"

namespace platform {

namespace builtin {
// Generated at build time from resources/lang/1033.txt (embed_english_pack.cmake).
extern const char kEnglishPack[];
extern const std::size_t kEnglishPackSize;
}  // namespace builtin

namespace {

std::string Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'n') {
            out.push_back('\n');
        } else if (next == 't') {
            out.push_back('\t');
        } else if (next == '\\') {
            out.push_back('\\');
        } else {
            out.push_back('\\');
            out.push_back(next);
        }
    }
    return out;
}

bool IsLocaleName(const std::string& locale) {
    if (locale.empty() || locale.size() > 19) return false;
    for (const char c : locale) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool ReadFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream whole;
    whole << in.rdbuf();
    contents = whole.str();
    return true;
}

const std::map<unsigned, std::string>& BuiltInEnglish() {
    static const std::map<unsigned, std::string> texts =
        ParseStringPack(std::string(builtin::kEnglishPack, builtin::kEnglishPackSize));
    return texts;
}

// Lays a pack's texts over the table; a text the formatters or the window could not use safely
// keeps the English one already there.
bool OverlayPack(const std::string& path, std::map<unsigned, std::string>& into) {
    std::string contents;
    if (!ReadFile(path, contents)) return false;
    const auto& english = BuiltInEnglish();
    for (auto& [id, text] : ParseStringPack(contents)) {
        const auto reference = english.find(id);
        const std::string_view englishText = reference == english.end() ? std::string_view() : reference->second;
        if (!IsValidUtf8(text) || PrintfConversions(text) != PrintfConversions(englishText)) continue;
        into[id] = std::move(text);
    }
    return true;
}

}  // namespace

std::map<unsigned, std::string> ParseStringPack(const std::string& contents) {
    std::map<unsigned, std::string> texts;
    std::istringstream in(contents);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab > 9) continue;
        char* end = nullptr;
        const unsigned long id = std::strtoul(line.c_str(), &end, 10);
        if (end != line.c_str() + tab || id < kFirstStringId || id > kLastStringId) continue;
        texts[static_cast<unsigned>(id)] = Unescape(line.substr(tab + 1));
    }
    return texts;
}

bool HasLanguagePack(const std::string& folder, const std::string& locale) {
    if (locale == kEnglishLocale) return true;
    std::ifstream pack(folder + "/" + locale + ".txt", std::ios::binary);
    return IsLocaleName(locale) && pack.is_open();
}

bool StringTable::Load(const std::string& folder, const std::string& locale) {
    texts_ = BuiltInEnglish();
    locale_ = locale;
    OverlayPack(folder + "/" + kEnglishLocale + ".txt", texts_);
    translated_ = locale == kEnglishLocale || (IsLocaleName(locale) && OverlayPack(folder + "/" + locale + ".txt", texts_));
    return true;
}

int StringTable::LoadString(unsigned id, char* buffer, int size) const {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    const auto it = texts_.find(id);
    if (it == texts_.end()) return 0;
    size_t length = std::min(it->second.size(), static_cast<size_t>(size - 1));
    // Never leave half a character: step back over continuation bytes to the start of the
    // character that did not fit.
    if (length < it->second.size()) {
        while (length > 0 && (static_cast<unsigned char>(it->second[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(buffer, it->second.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

std::string StringTable::Text(unsigned id) const {
    const auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

std::string FormatNumbers(const std::string& format, std::initializer_list<long long> numbers) {
    return FormatText(format, {}, numbers);
}

std::string FormatText(const std::string& format, std::initializer_list<std::string> texts,
                       std::initializer_list<long long> numbers) {
    std::string out;
    auto next = numbers.begin();
    auto nextText = texts.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char conversion = format[i] == '%' && i + 1 < format.size() ? format[i + 1] : '\0';
        if (conversion == '%') {
            out.push_back('%');
            ++i;
        } else if (conversion == 'd' && next != numbers.end()) {
            out += std::to_string(*next++);
            ++i;
        } else if (conversion == 's' && nextText != texts.end()) {
            out += *nextText++;
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::vector<std::string> PrintfConversions(std::string_view text) {
    std::vector<std::string> conversions;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t end = i + 1;
        const auto skip = [&](std::string_view set) {
            while (end < text.size() && set.find(text[end]) != std::string_view::npos) ++end;
        };
        skip("-+ #0");
        skip("0123456789*");
        if (end < text.size() && text[end] == '.') {
            ++end;
            skip("0123456789*");
        }
        skip("hlLqjzt");
        const bool complete = end < text.size() && std::string_view("diouxXeEfFgGaAcspn").find(text[end]) !=
                                                       std::string_view::npos;
        // An incomplete one is kept with the character after the percent sign, if any.
        conversions.emplace_back(text.substr(i, complete ? end + 1 - i : std::min<size_t>(2, text.size() - i)));
        i = complete ? end : i;
    }
    return conversions;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // Continuation bytes, the lead byte's value bits, and the least value that needs this many
        // bytes (anything below is an overlong form).
        const size_t extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 0;
        if (extra == 0) return false;
        char32_t value = lead & (0x7F >> (extra + 1));
        const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string LanguagePackFolder() { return ResourceFolder() + "/lang"; }

}  // namespace platform
