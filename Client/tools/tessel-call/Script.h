// tessel-call's scripts: plain text, one line each.
//
//   # a comment
//   OPERATION name=value ...      a call, its values quoted as a shell quotes them
//   expect result = TEXT          the decoded result is TEXT
//   expect result ~ REGEX         the decoded result contains a match (POSIX extended)
//   expect fault                  the call ends in a fault (or an error page)
//   expect fault ~ REGEX          ... whose string or detail contains a match
//   expect token valid            the reply token is valid
//   expect token rejected         the token library rejects the reply token
//   set NAME = VALUE              NAME takes VALUE; ${result} is the last call's result
//
// ${NAME} expands in unquoted and double-quoted text, not in single quotes.
// Expectations belong to the call above them. A backslash at the end of a
// line continues it on the next.
#pragma once

#include <regex.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessel::call {

// A line that does not parse; what() begins "line N: ".
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line)
    {
    }
    int line() const noexcept { return line_; }

private:
    int line_;
};

// A piece of a word: literal text, or the name of a variable to expand.
struct Piece {
    bool variable = false;
    std::string text;
    bool operator==(const Piece&) const = default;
};
using Word = std::vector<Piece>;

// A line split into words as a shell splits it: blanks separate words,
// single quotes keep everything, double quotes keep everything but \$ \" \\ \`
// and ${NAME}, a backslash outside quotes keeps the next character, and a #
// that begins a word begins a comment. Raises ScriptError on an unterminated
// quote, a trailing backslash or a ${ that names no variable.
std::vector<Word> SplitWords(std::string_view line, int lineNumber);

// The word's text with every variable replaced by its value. A variable
// without a value raises std::out_of_range (a parsed script has none).
std::string Expand(const Word& word, const std::map<std::string, std::string>& values);

// A compiled POSIX extended regular expression.
class Regex {
public:
    // Raises std::invalid_argument with the library's message.
    explicit Regex(const std::string& pattern);
    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;
    // Whether some part of the text matches.
    bool Search(const std::string& text) const;

private:
    regex_t re_{};
};

struct Expectation {
    enum class Kind { ResultEquals, ResultMatches, Fault, FaultMatches, TokenValid, TokenRejected };
    Kind kind = Kind::TokenValid;
    Word value;  // the text or the pattern
    int line = 0;
};

struct CallLine {
    int line = 0;
    std::string operation;
    std::vector<std::pair<std::string, Word>> params;  // in the order written
    std::vector<Expectation> expects;
};

struct SetLine {
    int line = 0;
    std::string name;
    Word value;
};

using Step = std::variant<CallLine, SetLine>;

// The variable every call sets to its decoded result (empty after a fault).
inline constexpr char kResultVariable[] = "result";

// Parses a whole script. Raises ScriptError for the first line that does not
// parse: an unknown form of expect or set, an expect before any call, a
// parameter without "=", a name given twice, a variable used before it is
// set, a regular expression that does not compile.
std::vector<Step> ParseScript(std::string_view text);

}  // namespace tessel::call
