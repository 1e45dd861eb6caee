#pragma once
#include <initializer_list>
#include <map>
#include <string>

namespace platform {

inline constexpr unsigned kFirstStringId = 101;
inline constexpr unsigned kLastStringId = 186;
inline constexpr const char* kEnglishLocale = "1033";

// The string table of one language: every text the user sees, by id. A pack is a UTF-8 text
// file "<locale>.txt" (lines "id<TAB>text", with \n, \t and \\ escapes). A translated pack
// that lacks an id falls back to the English pack's text.
class StringTable {
public:
    // Loads "<folder>/<locale>.txt" over the English pack of the same folder. A locale without
    // a pack (or a name that is no plain number) loads English alone. False only when not even
    // the English pack could be read.
    bool Load(const std::string& folder, const std::string& locale);

    // As LoadStringA: copies at most size - 1 bytes and a terminator, gives the number of bytes
    // copied, 0 when the id is unknown (the buffer then holds an empty text).
    int LoadString(unsigned id, char* buffer, int size) const;
    std::string Text(unsigned id) const;

    const std::string& locale() const { return locale_; }
    bool has_pack_for_locale() const { return translated_; }

private:
    std::map<unsigned, std::string> texts_;
    std::string locale_;
    bool translated_ = false;
};

// Parses one pack's text into id -> text; malformed lines are skipped.
std::map<unsigned, std::string> ParseStringPack(const std::string& contents);

// Fills a text's "%d" conversions in order with the numbers ("%%" gives "%"); any other
// conversion is left as it stands, so a pack can never make the program read past its numbers.
std::string FormatNumbers(const std::string& format, std::initializer_list<long long> numbers);
// The same with texts for the "%s" conversions, in their order.
std::string FormatText(const std::string& format, std::initializer_list<std::string> texts,
                       std::initializer_list<long long> numbers);

// Folder of the language packs: $ZARNIK_RESOURCES/lang if set, else the folder installed beside
// the program (<program folder>/../share/zarnik/lang).
std::string LanguagePackFolder();

}  // namespace platform
