#include "Client/TextRules.h"

#include <string_view>

namespace tessel::client {

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::size_t Characters(std::string_view utf8)
{
    std::size_t n = 0;
    for (const char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string Grouped(std::size_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

bool CutTrailingCrLf(std::string& text)
{
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return false;
    text.resize(text.size() - 2);
    return true;
}

std::string JoinTrimmedLines(const std::string& text)
{
    const std::size_t characters = Characters(text);
    if (characters > kMaxBuildCharacters)
        throw TextRuleError("The text is " + std::to_string(characters) +
                            " characters long; statements and contents are built from at most " +
                            std::to_string(kMaxBuildCharacters) + " characters. Shorten it and send again.");
    std::string_view rest = text;
    std::size_t cr = rest.find('\r');
    if (cr == std::string_view::npos)
        return text;
    std::string value;
    value.reserve(text.size());
    while (cr != std::string_view::npos) {
        value += TrimBlanks(rest.substr(0, cr));
        rest.remove_prefix(cr + 1);
        if (!rest.empty() && rest.front() == '\n')
            rest.remove_prefix(1);
        cr = rest.find('\r');
    }
    value += TrimBlanks(rest);
    return value;
}

std::string FirstCharacters(const std::string& utf8, std::size_t n)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && seen++ == n)
            return utf8.substr(0, i);
    }
    return utf8;
}

Utf8Sequence NextUtf8(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1, true};
    // The length the lead byte announces and the range its second byte must fall in
    // (narrower than 80..BF where a wider one would allow overlongs, surrogates or
    // code points above U+10FFFF).
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return {0, 1, false};  // a continuation byte, C0, C1 or F5..FF: never a lead
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= bytes.size() || byte(i) < low || byte(i) > high)
            return {0, i, false};
        code = (code << 6) | (byte(i) & 0x3F);
        low = 0x80, high = 0xBF;
    }
    return {code, length, true};
}

std::string ValidUtf8(std::string_view bytes, bool (*keep)(char32_t))
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const Utf8Sequence s = NextUtf8(bytes);
        if (s.valid && (!keep || keep(s.code)))
            out.append(bytes.substr(0, s.length));
        else
            out += kReplacementCharacter;
        bytes.remove_prefix(s.length);
    }
    return out;
}

}  // namespace tessel::client
