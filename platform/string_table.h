#pragma once
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr unsigned kFirstStringId = 101;
inline constexpr unsigned kLastStringId = 190;
inline constexpr const char* kEnglishLocale = "1033";

// The string table of one language: every text the user sees, by id. A pack is a UTF-8 text
// file "<locale>.txt" (lines "id<TAB>text", with \n, \t and \\ escapes). English is built
// into the program from resources/lang/1033.txt, so every id always has a text.
class StringTable {
public:
    // Replaces the whole table: the built-in English, then "<folder>/1033.txt" over it when
    // that file exists, then "<folder>/<locale>.txt" over both. A locale without a pack (or a
    // name that is no plain number) gives English. A pack's text that is not valid UTF-8, or
    // whose printf conversions differ from the built-in English text of its id, is dropped and
    // English stands instead, so no pack can make a formatter read a value it was not given.
    // Never fails: the result is always true (English is built in).
    bool Load(const std::string& folder, const std::string& locale);

    // As LoadStringA: copies at most size - 1 bytes and a terminator, gives the number of bytes
    // copied, 0 when the id is unknown (the buffer then holds an empty text). A text too long
    // for the buffer is cut before the UTF-8 character that does not fit whole.
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

// True when "<folder>/<locale>.txt" is there to be loaded; English (1033) is always there.
bool HasLanguagePack(const std::string& folder, const std::string& locale);

// The printf conversions of a text in order, each as written ("%d", "%-5s", "%lld"); "%%" is
// none. A "%" that starts no complete conversion gives "%" and what follows it, so a stray
// percent sign never passes for the absence of conversions.
std::vector<std::string> PrintfConversions(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

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
