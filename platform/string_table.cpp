#include "platform/string_table.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/resources.h"

namespace platform {

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

bool ReadPack(const std::string& path, std::map<unsigned, std::string>& into) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream contents;
    contents << in.rdbuf();
    for (auto& [id, text] : ParseStringPack(contents.str())) into[id] = std::move(text);
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

bool StringTable::Load(const std::string& folder, const std::string& locale) {
    texts_.clear();
    locale_ = locale;
    const bool english = ReadPack(folder + "/" + kEnglishLocale + ".txt", texts_);
    translated_ = locale == kEnglishLocale ? english
                                           : IsLocaleName(locale) && ReadPack(folder + "/" + locale + ".txt", texts_);
    return english || translated_;
}

int StringTable::LoadString(unsigned id, char* buffer, int size) const {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    const auto it = texts_.find(id);
    if (it == texts_.end()) return 0;
    const size_t length = std::min(it->second.size(), static_cast<size_t>(size - 1));
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

std::string LanguagePackFolder() { return ResourceFolder() + "/lang"; }

}  // namespace platform
