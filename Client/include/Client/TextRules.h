// The rules by which a tool takes a parameter's value from a multi-line box.
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

}  // namespace tessel::client
