// The rules by which a tool takes a parameter's value from a multi-line box,
// and the strict reading of UTF-8 that every text shown or reported goes through.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tessel::client {

// A text a rule cannot take; the message says why, for the person at the tool.
class TextRuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes one trailing CR LF (exact comparison) and says whether there was
// one. A text of fewer than two characters is left as it is.
bool CutTrailingCrLf(std::string& text);

// The statement and content building: the text is split into lines at each
// carriage return (a line feed right after it belongs to the break), each line
// loses its leading and trailing blanks (spaces only), and the lines are joined
// with no separator. A text without a carriage return is returned unchanged,
// not trimmed. The building counts positions in 16 bits, so a text of more
// than 32,767 characters raises TextRuleError.
std::string JoinTrimmedLines(const std::string& text);

// The most characters JoinTrimmedLines takes.
inline constexpr std::size_t kMaxBuildCharacters = 32767;

// Characters of a UTF-8 text: every byte that does not continue a sequence.
std::size_t Characters(std::string_view utf8);
// A count with thousands separators: "1,048,576".
std::string Grouped(std::size_t n);

// The first `n` characters of a UTF-8 text (the whole text when it is
// shorter); a character is never split.
std::string FirstCharacters(const std::string& utf8, std::size_t n);

// One UTF-8 sequence at the start of a text. A sequence is well formed when it
// is the shortest form of its code point (no overlong form such as C0 AF), is
// no surrogate (U+D800 to U+DFFF), is not above U+10FFFF and is complete.
// `length` is the sequence's length when it is well formed; otherwise `valid`
// is false and `length` counts the bytes of the longest start of a
// well-formed sequence found there (at least 1), the part one U+FFFD stands
// for. An empty text gives length 0.
struct Utf8Sequence {
    char32_t code = 0;
    std::size_t length = 0;
    bool valid = false;
};
Utf8Sequence NextUtf8(std::string_view bytes);

// The bytes as well-formed UTF-8: each ill-formed part replaced by one U+FFFD
// (a truncated sequence is one part, a lone continuation byte is one part).
// When `keep` is given, a well-formed character it refuses is replaced too.
std::string ValidUtf8(std::string_view bytes, bool (*keep)(char32_t) = nullptr);

// U+FFFD, the replacement character, in UTF-8.
inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

}  // namespace tessel::client
