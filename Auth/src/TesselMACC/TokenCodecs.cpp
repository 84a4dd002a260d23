#include "TokenCodecs.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iterator>

namespace tessel {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned HexValue(unsigned c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return c;  // not rejected: counts its own 8-bit code
}

// The value of every 8-bit code under the decoding rule: at or above 'a'
// code - 71, else at or above 'A' code - 65, else at or above '0' code + 4,
// '+' 62, '/' 63, anything else 0. Values are cut to 8 bits when combined.
struct Base64Table {
    std::uint8_t v[256];
    constexpr Base64Table() : v()
    {
        for (unsigned c = 0; c < 256; ++c) {
            unsigned x = 0;
            if (c >= 'a')
                x = c - 71;
            else if (c >= 'A')
                x = c - 65;
            else if (c >= '0')
                x = c + 4;
            else if (c == '+')
                x = 62;
            else if (c == '/')
                x = 63;
            v[c] = static_cast<std::uint8_t>(x);
        }
    }
};
constexpr Base64Table kBase64Values;

inline unsigned Base64Value(char16_t c)
{
    return kBase64Values.v[c & 0xFFu];
}

// The size of a block of token data made from outside, refused before it is
// allocated when it is over the ceiling.
std::uint32_t CheckedSize(std::uint64_t bytes)
{
    if (bytes > kMaxDataBytes)
        throw LengthRefused();
    return static_cast<std::uint32_t>(bytes);
}
}  // namespace

void CheckInflatedLength(std::uint64_t compressedSize, std::uint64_t plainLength)
{
    if (plainLength > kMaxDataBytes || plainLength > compressedSize * kMaxInflateRatio + kInflateSlack)
        throw LengthRefused();
}

Text HexEncode(const std::uint8_t* bytes, std::uint32_t size)
{
    Text out;
    AppendHex(out, bytes, size);
    return out;
}

void AppendHex(Text& out, const std::uint8_t* bytes, std::uint32_t size)
{
    out.reserve(out.size() + std::size_t{size} * 2);
    // Encoded a stack chunk at a time, so the text is written once.
    char16_t chunk[256];
    for (std::uint32_t i = 0; i < size;) {
        const std::uint32_t end = i + std::min<std::uint32_t>(size - i, std::size(chunk) / 2);
        char16_t* o = chunk;
        for (; i < end; ++i) {
            *o++ = static_cast<char16_t>(kHexDigits[bytes[i] >> 4]);
            *o++ = static_cast<char16_t>(kHexDigits[bytes[i] & 0xF]);
        }
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
}

ByteBuffer HexDecode(std::u16string_view text)
{
    const std::uint32_t n = CheckedSize(text.size() / 2);
    ByteBuffer out(n, ByteBuffer::Uninitialized{});
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned hi = HexValue(text[2 * i] & 0xFFu);
        const unsigned lo = HexValue(text[2 * i + 1] & 0xFFu);
        out[i] = static_cast<std::uint8_t>((hi << 4) | lo);
    }
    return out;
}

Text Base64Encode(const std::uint8_t* bytes, std::uint32_t size)
{
    Text out;
    AppendBase64(out, bytes, size);
    return out;
}

void AppendBase64(Text& out, const std::uint8_t* bytes, std::uint32_t size)
{
    out.reserve(out.size() + Base64EncodedLength(size));
    // Whole groups a stack chunk at a time, so the text is written once.
    char16_t chunk[256];
    std::uint32_t i = 0;
    while (size - i >= 3) {
        const std::uint32_t end = i + std::min<std::uint32_t>((size - i) / 3, std::size(chunk) / 4) * 3;
        char16_t* o = chunk;
        for (; i < end; i += 3) {
            const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
            o[0] = kBase64Alphabet[(v >> 18) & 63];
            o[1] = kBase64Alphabet[(v >> 12) & 63];
            o[2] = kBase64Alphabet[(v >> 6) & 63];
            o[3] = kBase64Alphabet[v & 63];
            o += 4;
        }
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
    if (size - i == 1) {
        const std::uint32_t v = bytes[i] << 16;
        const char16_t last[4] = {static_cast<char16_t>(kBase64Alphabet[(v >> 18) & 63]),
                                  static_cast<char16_t>(kBase64Alphabet[(v >> 12) & 63]), u'=', u'='};
        out.append(last, 4);
    } else if (size - i == 2) {
        const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        const char16_t last[4] = {static_cast<char16_t>(kBase64Alphabet[(v >> 18) & 63]),
                                  static_cast<char16_t>(kBase64Alphabet[(v >> 12) & 63]),
                                  static_cast<char16_t>(kBase64Alphabet[(v >> 6) & 63]), u'='};
        out.append(last, 4);
    }
}

std::uint64_t Base64DecodedLength(std::u16string_view text)
{
    if (text.size() < 4)
        return 0;
    const std::size_t groups = text.size() / 4;
    std::uint64_t length = std::uint64_t{groups} * 3;
    const std::size_t lastGroup = (groups - 1) * 4;
    if ((text[lastGroup + 3] & 0xFFu) == '=')
        --length;
    if ((text[lastGroup + 2] & 0xFFu) == '=')
        --length;
    return length;
}

ByteBuffer Base64Decode(std::u16string_view t)
{
    const std::uint64_t length = Base64DecodedLength(t);
    if (length == 0)
        return ByteBuffer();
    const std::size_t groups = t.size() / 4;
    ByteBuffer out(CheckedSize(length), ByteBuffer::Uninitialized{});
    std::size_t o = 0;
    const auto decodeGroup = [&](std::size_t g, std::uint8_t* b) {
        const unsigned c0 = Base64Value(t[4 * g]);
        const unsigned c1 = Base64Value(t[4 * g + 1]);
        const unsigned c2 = Base64Value(t[4 * g + 2]);
        const unsigned c3 = Base64Value(t[4 * g + 3]);
        b[0] = static_cast<std::uint8_t>((c0 << 2) | (c1 >> 4));
        b[1] = static_cast<std::uint8_t>((c1 << 4) | (c2 >> 2));
        b[2] = static_cast<std::uint8_t>((c2 << 6) | c3);
    };
    // Whole groups straight into the output; the last one may be shortened.
    std::uint8_t* dst = out.data();
    for (std::size_t g = 0; g + 1 < groups; ++g, dst += 3, o += 3)
        decodeGroup(g, dst);
    std::uint8_t last[3];
    decodeGroup(groups - 1, last);
    for (int k = 0; k < 3 && o < length; ++k)
        out[o++] = last[k];
    return out;
}

UtcTime CurrentUtcTime()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    return UtcTime{static_cast<unsigned>(tm.tm_year + 1900), static_cast<unsigned>(tm.tm_mon + 1),
                   static_cast<unsigned>(tm.tm_mday),        static_cast<unsigned>(tm.tm_hour),
                   static_cast<unsigned>(tm.tm_min),         static_cast<unsigned>(tm.tm_sec),
                   static_cast<unsigned>(ms % 1000)};
}

namespace {
// Writes v in decimal, with leading zeros up to `width` digits.
char16_t* PutDecimal(char16_t* out, unsigned short v, int width)
{
    char16_t digits[5];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + v % 10);
        v = static_cast<unsigned short>(v / 10);
    } while (v);
    for (int i = n; i < width; ++i)
        *out++ = u'0';
    while (n)
        *out++ = digits[--n];
    return out;
}
}  // namespace

Text FormatTimestamp(const UtcTime& t)
{
    char16_t buf[7 * 5];
    char16_t* end = buf;
    const auto put = [&end](unsigned part, int width) {
        end = PutDecimal(end, static_cast<unsigned short>(part), width);
    };
    put(t.year, 1);
    put(t.month, 2);
    put(t.day, 2);
    put(t.hour, 2);
    put(t.minute, 2);
    put(t.second, 2);
    put(t.millisecond, 3);
    return Text(buf, end);
}

ByteBuffer CompressBytes(const std::uint8_t* bytes, std::uint32_t size)
{
    ByteBuffer out(CompressBound(size), ByteBuffer::Uninitialized{});
    uLongf outLen = out.size();
    const int rc = compress(out.data(), &outLen, bytes, size);
    if (rc != Z_OK)
        throw ZlibError{rc};
    out.Truncate(static_cast<std::uint32_t>(outLen));
    return out;
}

ByteBuffer DecompressBytes(const ByteBuffer& compressed, std::uint32_t expectedLength)
{
    CheckInflatedLength(compressed.size(), expectedLength);
    ByteBuffer out(expectedLength, ByteBuffer::Uninitialized{});
    // zlib's single call wants a non-null destination even for 0 bytes.
    std::uint8_t dummy = 0;
    uLongf outLen = expectedLength;
    const int rc = uncompress(expectedLength ? out.data() : &dummy, &outLen,
                              compressed.data() ? compressed.data() : &dummy, compressed.size());
    if (rc != Z_OK)
        throw ZlibError{rc};
    out.Truncate(static_cast<std::uint32_t>(outLen));
    return out;
}

namespace {
// The index of the first zero unit of p[0, n), or n: a block of 32 units is
// tested as a whole, then the one holding the zero is searched unit by unit.
std::size_t FirstZeroUnit(const char16_t* p, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        unsigned zero = 0;
        for (std::size_t j = 0; j < 32; ++j)  // no early exit: the compiler vectorises it
            zero |= p[i + j] == 0;
        if (zero)
            break;
    }
    while (i < n && p[i] != 0)
        ++i;
    return i;
}
}  // namespace

Text DecompressText(const ByteBuffer& compressed, std::uint32_t expectedLength)
{
    CheckInflatedLength(compressed.size(), expectedLength);
    // Inflates straight into the text's storage, then cuts it at the terminator.
    Text text((std::size_t{expectedLength} + 1) / 2, u'\0');
    std::uint8_t dummy = 0;
    uLongf outLen = expectedLength;
    const int rc = uncompress(expectedLength ? reinterpret_cast<std::uint8_t*>(text.data()) : &dummy, &outLen,
                              compressed.data() ? compressed.data() : &dummy, compressed.size());
    if (rc != Z_OK)
        throw ZlibError{rc};
    std::size_t units = outLen / 2;
    if constexpr (std::endian::native != std::endian::little)
        for (std::size_t i = 0; i < units; ++i)
            text[i] = static_cast<char16_t>((text[i] >> 8) | (text[i] << 8));
    text.resize(FirstZeroUnit(text.data(), units));
    return text;
}

std::pair<OptText, OptText> SplitAtFirst(const OptText& text, char16_t separator)
{
    if (!text)
        return {std::nullopt, std::nullopt};
    const auto pos = text->find(separator);
    if (pos == Text::npos)
        return {*text, std::nullopt};
    return {text->substr(0, pos), text->substr(pos + 1)};
}

ByteBuffer Utf16Bytes(const Text& text, bool withTerminator)
{
    const std::size_t n = text.size() + (withTerminator ? 1 : 0);
    ByteBuffer out(CheckedSize(std::uint64_t{n} * 2), ByteBuffer::Uninitialized{});
    if constexpr (std::endian::native == std::endian::little) {
        if (!text.empty())
            std::memcpy(out.data(), text.data(), text.size() * 2);
    } else {
        for (std::size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
            out[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
        }
    }
    if (withTerminator)
        out[2 * text.size()] = out[2 * text.size() + 1] = 0;
    return out;
}

Text TextFromUtf16Bytes(const std::uint8_t* bytes, std::uint32_t size)
{
    std::size_t n = 0;
    while (n < size / 2 && (bytes[2 * n] | bytes[2 * n + 1]) != 0)
        ++n;
    Text out(n, u'\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
}

std::string ToSingleByte(const Text& text)
{
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

ByteBuffer SingleByteBytes(const Text& text, bool withNul)
{
    ByteBuffer out(CheckedSize(std::uint64_t{text.size()} + (withNul ? 1 : 0)), ByteBuffer::Uninitialized{});
    std::uint8_t* o = out.data();
    for (const char16_t c : text)
        *o++ = c < 0x80 ? static_cast<std::uint8_t>(c) : '?';
    if (withNul)
        *o = 0;
    return out;
}

Text FromSingleByte(const std::uint8_t* bytes, std::uint32_t size)
{
    const void* nul = size ? std::memchr(bytes, 0, size) : nullptr;
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes) : size;
    Text out;
    out.reserve(n);
    char16_t chunk[256];
    for (std::size_t i = 0; i < n;) {
        const std::size_t end = i + std::min(n - i, std::size(chunk));
        char16_t* o = chunk;
        for (; i < end; ++i)
            *o++ = bytes[i] < 0x80 ? static_cast<char16_t>(bytes[i]) : u'?';
        out.append(chunk, static_cast<std::size_t>(o - chunk));
    }
    return out;
}

namespace {
// Decodes one UTF-8 sequence at s[i]; returns the code point (U+FFFD for a
// malformed one) and advances i.
char32_t NextCodePoint(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}
}  // namespace

namespace {
// Blocks of this many code units are tested as a whole for plain ASCII: the
// loops without an early exit vectorise, and a document's text is mostly ASCII.
constexpr std::size_t kAsciiBlock = 32;

bool AsciiBlock(const char* p)
{
    unsigned high = 0;
    for (std::size_t j = 0; j < kAsciiBlock; ++j)
        high |= static_cast<unsigned char>(p[j]);
    return high < 0x80;
}

bool AsciiBlock(const char16_t* p)
{
    unsigned high = 0;
    for (std::size_t j = 0; j < kAsciiBlock; ++j)
        high |= p[j];
    return high < 0x80;
}
}  // namespace

Text Utf8ToText(std::string_view utf8)
{
    const char* const s = utf8.data();
    const std::size_t n = utf8.size();
    std::size_t units = 0;
    for (std::size_t i = 0; i < n;) {
        if (i + kAsciiBlock <= n && AsciiBlock(s + i)) {
            units += kAsciiBlock, i += kAsciiBlock;
            continue;
        }
        units += NextCodePoint(utf8, i) >= 0x10000 ? 2 : 1;
    }
    Text out(units, u'\0');
    char16_t* o = out.data();
    for (std::size_t i = 0; i < n;) {
        if (i + kAsciiBlock <= n && AsciiBlock(s + i)) {
            for (std::size_t j = 0; j < kAsciiBlock; ++j)
                o[j] = static_cast<char16_t>(static_cast<unsigned char>(s[i + j]));
            o += kAsciiBlock, i += kAsciiBlock;
            continue;
        }
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    return out;
}

namespace {
char32_t NextUnit(std::u16string_view t, std::size_t& i)
{
    const char16_t u = t[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < t.size() && t[i] >= 0xDC00 && t[i] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (t[i++] - 0xDC00);
    if (u >= 0xD800 && u <= 0xDFFF)
        return 0xFFFD;  // lone surrogate
    return u;
}
std::size_t Utf8Length(char32_t cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}
}  // namespace

namespace {
// Writes the UTF-8 form of code point cp (Utf8Length(cp) bytes) at out.
void PutUtf8(char* out, char32_t cp, std::size_t len)
{
    if (len == 1) {
        *out = static_cast<char>(cp);
        return;
    }
    static constexpr unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(lead[len] | (cp >> (6 * (len - 1))));
    for (std::size_t k = 1; k < len; ++k)
        out[k] = static_cast<char>(0x80 | ((cp >> (6 * (len - 1 - k))) & 0x3F));
}

void NarrowBlock(char* out, const char16_t* in)
{
    for (std::size_t j = 0; j < kAsciiBlock; ++j)
        out[j] = static_cast<char>(in[j]);
}
}  // namespace

std::string TextToUtf8(std::u16string_view text)
{
    const char16_t* const t = text.data();
    const std::size_t n = text.size();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < n;) {
        if (i + kAsciiBlock <= n && AsciiBlock(t + i)) {
            bytes += kAsciiBlock, i += kAsciiBlock;
            continue;
        }
        bytes += Utf8Length(NextUnit(text, i));
    }
    std::string out(bytes, '\0');
    char* o = out.data();
    for (std::size_t i = 0; i < n;) {
        if (i + kAsciiBlock <= n && AsciiBlock(t + i)) {
            NarrowBlock(o, t + i);
            o += kAsciiBlock, i += kAsciiBlock;
            continue;
        }
        const char32_t cp = NextUnit(text, i);
        const std::size_t len = Utf8Length(cp);
        PutUtf8(o, cp, len);
        o += len;
    }
    return out;
}

std::size_t TextToUtf8Prefix(std::u16string_view text, char* out, std::size_t capacity)
{
    const char16_t* const t = text.data();
    const std::size_t n = text.size();
    std::size_t o = 0;
    for (std::size_t i = 0; i < n && o < capacity;) {
        if (i + kAsciiBlock <= n && o + kAsciiBlock <= capacity && AsciiBlock(t + i)) {
            NarrowBlock(out + o, t + i);
            o += kAsciiBlock, i += kAsciiBlock;
            continue;
        }
        const char32_t cp = NextUnit(text, i);
        const std::size_t len = Utf8Length(cp);
        if (o + len <= capacity) {
            PutUtf8(out + o, cp, len);
            o += len;
        } else {  // the cut splits this character: its leading bytes only
            char whole[4];
            PutUtf8(whole, cp, len);
            std::memcpy(out + o, whole, capacity - o);
            o = capacity;
        }
    }
    return o;
}

}  // namespace tessel
