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
//   expect xpath EXPR = TEXT      the result is XML and the XPath EXPR's string value is TEXT
//   expect xpath EXPR ~ REGEX     ... and its string value contains a match
//   expect xpath EXPR count N     ... and EXPR selects N nodes
//   expect status N               the reply came with HTTP status N
//   expect time < N ms            the call took less than N milliseconds
//   expect result length N        the decoded result is N bytes long
//   set NAME = VALUE              NAME takes VALUE; ${result} is the last call's result
//   set NAME = xpath EXPR         NAME takes EXPR's string value over the last call's result
//
// A parameter's value that begins with @ is read from the file it names
// (relative to the script's folder; @- is standard input); @@ begins a value
// with a literal @.
//
// ${NAME} expands in unquoted and double-quoted text, not in single quotes.
// Expectations belong to the call above them. A backslash at the end of a
// line continues it on the next.
#pragma once

#include <regex.h>

#include <functional>
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

// A value or a pattern beyond what a script may hold; the message names the
// bound. The run stops at the line (exit status 4).
class ScriptLimit : public std::length_error {
public:
    using std::length_error::length_error;
};

// The most bytes one value holds once its variables are expanded: a set
// variable, a parameter, the text of an expectation.
inline constexpr std::size_t kMaxValueBytes = 32u << 20;
// The most bytes all set variables hold together (${result} aside: the
// transport bounds it).
inline constexpr std::size_t kMaxVariableBytes = 64u << 20;
// The most a regular expression may grow to once each bounded repetition is
// counted out: a{1,100} is a hundred copies of a, (a{10}){10} a hundred too.
inline constexpr std::size_t kMaxRegexSize = 2000;

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
// without a value raises std::out_of_range (a parsed script has none); a text
// longer than kMaxValueBytes raises ScriptLimit before it is built.
std::string Expand(const Word& word, const std::map<std::string, std::string>& values);

// A compiled POSIX extended regular expression.
class Regex {
public:
    // Raises std::invalid_argument with the library's message, or ScriptLimit
    // before compiling a pattern that grows beyond kMaxRegexSize.
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
    enum class Kind {
        ResultEquals,
        ResultMatches,
        Fault,
        FaultMatches,
        TokenValid,
        TokenRejected,
        XPathEquals,
        XPathMatches,
        XPathCount,
        Status,
        TimeBelow,
        ResultLength,
    };
    Expectation() = default;
    Expectation(Kind k, Word v, int l) : kind(k), value(std::move(v)), line(l) {}

    Kind kind = Kind::TokenValid;
    Word value;  // the text or the pattern
    int line = 0;
    Word path;                // XPath*: the expression
    long long number = 0;     // XPathCount, Status, TimeBelow, ResultLength
    std::string source;       // the line as written, for reports
};

struct CallLine {
    int line = 0;
    std::string operation;
    std::vector<std::pair<std::string, Word>> params;  // in the order written
    std::vector<Expectation> expects;
    // One entry per parameter: whether its expanded value names a file (or
    // "-", standard input) whose text is the value.
    std::vector<bool> fromFile;
};

struct SetLine {
    int line = 0;
    std::string name;
    Word value;
    bool xpath = false;  // `value` is an XPath expression over ${result}
};

using Step = std::variant<CallLine, SetLine>;

// The variable every call sets to its decoded result (empty after a fault).
inline constexpr char kResultVariable[] = "result";

// How large a POSIX extended regular expression grows when it is compiled:
// each atom counts 1, a group 1 more than its content, alternatives add up,
// and a repetition multiplies what it follows by its upper count ({m,n} by
// n, {m,} by m + 1, + by 2). The count stops growing past `limit`.
std::size_t RegexSize(std::string_view pattern, std::size_t limit);

// Parses a whole script. Raises ScriptError for the first line that does not
// parse: an unknown form of expect or set, an expect before any call, a
// parameter without "=", a name given twice, a variable used before it is
// set, a regular expression or an XPath expression that does not compile.
// `given`, when set, says whether a name has a value from outside the script
// (--var, a data row, an env file, the environment); such a name is known
// from the first line on.
std::vector<Step> ParseScript(std::string_view text, const std::function<bool(const std::string&)>& given = {});

}  // namespace tessel::call
