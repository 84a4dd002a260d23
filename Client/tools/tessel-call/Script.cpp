#include "Script.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "Client/TextRules.h"
#include "XmlQuery.h"

namespace tessel::call {

namespace {

bool IsName(std::string_view s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// Whether a line ends in a backslash that escapes the line break.
bool GoesOn(std::string_view line)
{
    std::size_t n = 0;
    while (n < line.size() && line[line.size() - 1 - n] == '\\')
        ++n;
    return n % 2 == 1;
}

void AddText(Word& word, char c)
{
    if (word.empty() || word.back().variable)
        word.push_back({false, {}});
    word.back().text += c;
}

// The index just past the bracket expression that begins at `open`: a ] first
// (after an optional ^) is a member, and [:class:], [.name.] and [=name=]
// close with their own pair.
std::size_t BracketEnd(std::string_view p, std::size_t open)
{
    std::size_t j = open + 1;
    if (j < p.size() && p[j] == '^')
        ++j;
    if (j < p.size() && p[j] == ']')
        ++j;
    while (j < p.size()) {
        if (p[j] == '[' && j + 1 < p.size() && std::string_view(":.=").find(p[j + 1]) != std::string_view::npos) {
            const std::size_t end = p.find(std::string{p[j + 1], ']'}, j + 2);
            j = end == std::string_view::npos ? j + 1 : end + 2;
        } else if (p[j] == ']') {
            return j + 1;
        } else {
            ++j;
        }
    }
    return p.size();
}

bool IsLiteral(const Word& word)
{
    return std::none_of(word.begin(), word.end(), [](const Piece& p) { return p.variable; });
}

std::string LiteralText(const Word& word)
{
    std::string s;
    for (const Piece& p : word)
        s += p.text;
    return s;
}

}  // namespace

std::vector<Word> SplitWords(std::string_view line, int n)
{
    std::vector<Word> words;
    Word word;
    bool inWord = false;
    const auto finish = [&] {
        if (inWord)
            words.push_back(std::move(word));
        word.clear();
        inWord = false;
    };
    // ${NAME} at i (line[i] == '$', line[i + 1] == '{'); returns the index after '}'.
    const auto variable = [&](std::size_t i) {
        const std::size_t close = line.find('}', i + 2);
        if (close == std::string_view::npos)
            throw ScriptError(n, "\"${\" without a closing \"}\"");
        const std::string_view name = line.substr(i + 2, close - i - 2);
        if (!IsName(name))
            throw ScriptError(n, "\"${" + std::string(name) + "}\" does not name a variable (letters, digits and _)");
        word.push_back({true, std::string(name)});
        return close + 1;
    };
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            finish();
            ++i;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '\'') {
            inWord = true;
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                throw ScriptError(n, "a single quote is not closed");
            for (std::size_t k = i + 1; k < close; ++k)
                AddText(word, line[k]);
            if (word.empty())
                word.push_back({false, {}});
            i = close + 1;
        } else if (c == '"') {
            inWord = true;
            if (word.empty())
                word.push_back({false, {}});
            ++i;
            for (;;) {
                if (i >= line.size())
                    throw ScriptError(n, "a double quote is not closed");
                const char d = line[i];
                if (d == '"') {
                    ++i;
                    break;
                }
                const bool escape = d == '\\' && i + 1 < line.size() &&
                                    std::string_view("$`\"\\").find(line[i + 1]) != std::string_view::npos;
                if (escape) {
                    AddText(word, line[i + 1]);
                    i += 2;
                } else if (d == '$' && i + 1 < line.size() && line[i + 1] == '{') {
                    i = variable(i);
                } else {
                    AddText(word, d);
                    ++i;
                }
            }
        } else if (c == '\\') {
            if (i + 1 >= line.size())
                throw ScriptError(n, "a line cannot end in a backslash");
            inWord = true;
            AddText(word, line[i + 1]);
            i += 2;
        } else if (c == '$' && i + 1 < line.size() && line[i + 1] == '{') {
            inWord = true;
            i = variable(i);
        } else {
            inWord = true;
            AddText(word, c);
            ++i;
        }
    }
    finish();
    return words;
}

std::string Expand(const Word& word, const std::map<std::string, std::string>& values)
{
    std::size_t size = 0;
    for (const Piece& p : word)
        size += p.variable ? values.at(p.text).size() : p.text.size();
    if (size > kMaxValueBytes)
        throw ScriptLimit("the value would be " + client::Grouped(size) + " bytes long, and a value holds at most " +
                          client::Grouped(kMaxValueBytes) + " bytes");
    std::string s;
    s.reserve(size);
    for (const Piece& p : word)
        s += p.variable ? values.at(p.text) : p.text;
    return s;
}

std::size_t RegexSize(std::string_view p, std::size_t limit)
{
    const std::size_t cap = limit + 1;  // every count saturates here, so none overflows
    const auto add = [cap](std::size_t a, std::size_t b) { return std::min(cap, a + b); };
    const auto times = [cap](std::size_t a, std::size_t b) {
        return b != 0 && a > cap / b ? cap : std::min(cap, a * b);
    };
    // Per open group: the alternatives before the current one, the current one
    // without its last item, and the last item, which a repetition multiplies.
    struct Group {
        std::size_t alternatives = 0, sequence = 0, last = 0;
    };
    const auto size = [&](const Group& g) { return add(add(g.alternatives, g.sequence), g.last); };
    std::vector<Group> open(1);
    const auto item = [&](std::size_t size) {
        Group& g = open.back();
        g.sequence = add(g.sequence, g.last);
        g.last = size;
    };
    const auto close = [&] {
        const std::size_t group = add(size(open.back()), 1);
        open.pop_back();
        item(group);
    };
    // A count of an interval, saturated; `i` moves past its digits.
    const auto count = [&](std::size_t& i) {
        std::size_t n = 0;
        for (; i < p.size() && std::isdigit(static_cast<unsigned char>(p[i])); ++i)
            n = std::min<std::size_t>(n * 10 + static_cast<std::size_t>(p[i] - '0'), cap);
        return n;
    };
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (c == '\\') {
            item(1);
            i += 2;
        } else if (c == '[') {
            i = BracketEnd(p, i);
            item(1);
        } else if (c == '(') {
            open.emplace_back();
            ++i;
        } else if (c == ')' && open.size() > 1) {
            close();
            ++i;
        } else if (c == '|') {
            Group& g = open.back();
            g.alternatives = add(g.alternatives, add(g.sequence, g.last));
            g.sequence = g.last = 0;
            ++i;
        } else if (c == '+') {
            open.back().last = times(open.back().last, 2);
            ++i;
        } else if (c == '*' || c == '?') {
            ++i;
        } else if (c == '{') {
            std::size_t j = i + 1;
            const std::size_t low = count(j);
            std::size_t high = low;
            if (j < p.size() && p[j] == ',') {
                ++j;
                const std::size_t digitsAt = j;
                high = count(j);
                if (j == digitsAt)
                    high = add(low, 1);  // {m,}: m copies and a star
            }
            if (j < p.size() && p[j] == '}') {
                open.back().last = times(open.back().last, std::max<std::size_t>(high, 1));
                i = j + 1;
            } else {
                item(1);  // a brace that begins no interval
                ++i;
            }
        } else {
            item(1);
            ++i;
        }
    }
    while (open.size() > 1)
        close();
    return size(open.back());
}

Regex::Regex(const std::string& pattern)
{
    if (RegexSize(pattern, kMaxRegexSize) > kMaxRegexSize)
        throw ScriptLimit("it grows beyond " + client::Grouped(kMaxRegexSize) +
                          " atoms once its repetitions are counted out, the most a pattern may ({m,n} repeats what "
                          "it follows n times)");
    const int rc = regcomp(&re_, pattern.c_str(), REG_EXTENDED | REG_NOSUB);
    if (rc != 0) {
        char message[256];
        regerror(rc, &re_, message, sizeof message);
        throw std::invalid_argument(message);
    }
}

Regex::~Regex()
{
    regfree(&re_);
}

bool Regex::Search(const std::string& text) const
{
    return regexec(&re_, text.c_str(), 0, nullptr, 0) == 0;
}

namespace {

// A whole number of at most 18 digits, or nothing.
std::optional<long long> Count(const std::string& s)
{
    if (s.empty() || s.size() > 18 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(s);
}

void CheckRegex(const Word& value, int n)
{
    if (!IsLiteral(value))
        return;
    try {
        Regex check(LiteralText(value));
    } catch (const std::invalid_argument& bad) {
        throw ScriptError(n, "the regular expression \"" + LiteralText(value) + "\" does not compile: " + bad.what());
    } catch (const ScriptLimit& big) {
        const std::string shown = client::FirstCharacters(LiteralText(value), 200);
        throw ScriptError(n, "the regular expression \"" + shown + "\" is too large: " + big.what());
    }
}

void CheckXPath(const Word& path, int n)
{
    if (!IsLiteral(path))
        return;
    if (const std::string why = XPathSyntaxError(LiteralText(path)); !why.empty())
        throw ScriptError(n, "the XPath expression \"" + client::FirstCharacters(LiteralText(path), 200) +
                                 "\" does not compile: " + why);
}

std::string Trimmed(const std::string& line)
{
    const std::size_t a = line.find_first_not_of(" \t");
    const std::size_t b = line.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : line.substr(a, b - a + 1);
}

}  // namespace

std::vector<Step> ParseScript(std::string_view text, const std::function<bool(const std::string&)>& given)
{
    std::vector<Step> steps;
    std::set<std::string> known;  // variables set so far
    bool anyCall = false;
    int physical = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        // A line that ends in an odd number of backslashes goes on in the next; it is
        // numbered by its first line.
        const int n = physical + 1;
        std::string line;
        for (;;) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view part = text.substr(start, end - start);
            start = end + 1;
            ++physical;
            if (!part.empty() && part.back() == '\r')
                part.remove_suffix(1);
            if (GoesOn(part) && start <= text.size()) {
                line += part.substr(0, part.size() - 1);
                continue;
            }
            line += part;
            break;
        }
        std::vector<Word> words = SplitWords(line, n);
        if (words.empty())
            continue;

        for (const Word& w : words)
            for (const Piece& p : w)
                if (p.variable && !known.count(p.text) && !(p.text == kResultVariable && anyCall) &&
                    !(p.text != kResultVariable && given && given(p.text)))
                    throw ScriptError(n, "${" + p.text + "} has no value here" +
                                             (p.text == kResultVariable ? std::string(": no call comes before it")
                                                                        : std::string(": set it on an earlier line, or give it "
                                                                          "with --var, --env-file, the data or the "
                                                                          "environment")));

        const std::string head = IsLiteral(words[0]) ? LiteralText(words[0]) : std::string();
        if (head == "expect") {
            if (!anyCall)
                throw ScriptError(n, "an expect line belongs to a call, and no call comes before it");
            CallLine& call = std::get<CallLine>(*std::find_if(steps.rbegin(), steps.rend(), [](const Step& s) {
                return std::holds_alternative<CallLine>(s);
            }));
            // The words as written, when they are literal; a word with a variable matches no keyword.
            const auto lit = [&](std::size_t k) {
                return k < words.size() && IsLiteral(words[k]) ? LiteralText(words[k]) : std::string("${}");
            };
            const std::string what = lit(1), how = lit(2);
            using K = Expectation::Kind;
            Expectation e;
            e.line = n;
            e.source = Trimmed(line);
            const auto number = [&](std::size_t k, const char* what) {
                const std::optional<long long> v = Count(lit(k));
                if (!v)
                    throw ScriptError(n, std::string("expect ") + what + " takes a whole number, not \"" + lit(k) + "\"");
                return *v;
            };
            if (words.size() == 4 && what == "result" && (how == "=" || how == "~")) {
                e.kind = how == "=" ? K::ResultEquals : K::ResultMatches;
                e.value = words[3];
            } else if (words.size() == 2 && what == "fault") {
                e.kind = K::Fault;
            } else if (words.size() == 4 && what == "fault" && how == "~") {
                e.kind = K::FaultMatches;
                e.value = words[3];
            } else if (words.size() == 3 && what == "token" && how == "valid") {
                e.kind = K::TokenValid;
            } else if (words.size() == 3 && what == "token" && how == "rejected") {
                e.kind = K::TokenRejected;
            } else if (words.size() == 5 && what == "xpath" && (lit(3) == "=" || lit(3) == "~" || lit(3) == "count")) {
                e.path = words[2];
                if (lit(3) == "count") {
                    e.kind = K::XPathCount;
                    e.number = number(4, "xpath EXPR count");
                } else {
                    e.kind = lit(3) == "=" ? K::XPathEquals : K::XPathMatches;
                    e.value = words[4];
                }
                CheckXPath(e.path, n);
            } else if (words.size() == 3 && what == "status") {
                e.kind = K::Status;
                e.number = number(2, "status");
            } else if (words.size() == 5 && what == "time" && how == "<" && lit(4) == "ms") {
                e.kind = K::TimeBelow;
                e.number = number(3, "time <");
            } else if (words.size() == 4 && what == "result" && how == "length") {
                e.kind = K::ResultLength;
                e.number = number(3, "result length");
            } else {
                throw ScriptError(n, "expect takes one of: result = TEXT, result ~ REGEX, result length N, fault, "
                                     "fault ~ REGEX, token valid, token rejected, xpath EXPR = TEXT, xpath EXPR ~ "
                                     "REGEX, xpath EXPR count N, status N, time < N ms (quote a TEXT, REGEX or EXPR "
                                     "that has blanks)");
            }
            if (e.kind == K::ResultMatches || e.kind == K::FaultMatches || e.kind == K::XPathMatches)
                CheckRegex(e.value, n);
            call.expects.push_back(std::move(e));
        } else if (head == "set") {
            const bool xpath = words.size() == 5 && IsLiteral(words[3]) && LiteralText(words[3]) == "xpath";
            if ((words.size() != 4 && !xpath) || !IsLiteral(words[2]) || LiteralText(words[2]) != "=")
                throw ScriptError(n, "set takes NAME = VALUE or NAME = xpath EXPR (quote a VALUE or EXPR that has "
                                     "blanks)");
            if (xpath && !anyCall)
                throw ScriptError(n, "set NAME = xpath EXPR reads the last call's result, and no call comes before it");
            const std::string name = IsLiteral(words[1]) ? LiteralText(words[1]) : std::string();
            if (!IsName(name) || name == kResultVariable)
                throw ScriptError(n, "set needs a variable name of letters, digits and _ other than \"" +
                                         std::string(kResultVariable) + "\"");
            if (xpath)
                CheckXPath(words[4], n);
            known.insert(name);
            steps.emplace_back(SetLine{n, name, words[xpath ? 4 : 3], xpath});
        } else {
            if (!IsName(head))
                throw ScriptError(n, "a line is a call (OPERATION name=value ...), an expect line, a set line or a "
                                     "# comment");
            CallLine call;
            call.line = n;
            call.operation = head;
            for (std::size_t k = 1; k < words.size(); ++k) {
                Word& w = words[k];
                if (w.empty() || w.front().variable || w.front().text.find('=') == std::string::npos)
                    throw ScriptError(n, "a parameter is written name=value, not \"" +
                                             (IsLiteral(w) ? LiteralText(w) : std::string("${...}")) + "\"");
                std::string& first = w.front().text;
                const std::size_t eq = first.find('=');
                const std::string name = first.substr(0, eq);
                first.erase(0, eq + 1);
                if (!IsName(name))
                    throw ScriptError(n, "\"" + name + "\" is not a parameter name");
                if (std::any_of(call.params.begin(), call.params.end(), [&](const auto& p) { return p.first == name; }))
                    throw ScriptError(n, name + " is given twice");
                // @FILE, @- and @@text: only a leading @ that is written as it is counts.
                bool fromFile = false;
                if (!w.empty() && !w.front().variable && !w.front().text.empty() && w.front().text[0] == '@') {
                    w.front().text.erase(0, 1);
                    fromFile = w.front().text.empty() || w.front().text[0] != '@';
                    if (fromFile && w.size() == 1 && w.front().text.empty())
                        throw ScriptError(n, name + "=@ names no file (write @FILE, @- for standard input or @@ "
                                                    "for a value that begins with @)");
                }
                call.params.emplace_back(name, std::move(w));
                call.fromFile.push_back(fromFile);
            }
            anyCall = true;
            steps.emplace_back(std::move(call));
        }
    }
    return steps;
}

}  // namespace tessel::call
