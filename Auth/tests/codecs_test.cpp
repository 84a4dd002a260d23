#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "RaiseHResult.h"
#include "TokenCodecs.h"

using namespace tessel;

namespace {
ByteBuffer Bytes(std::string_view s)
{
    return ByteBuffer::FromString(s);
}
std::string Str(const ByteBuffer& b)
{
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}
}  // namespace

TEST(Hex, EncodesUpperCaseAndDecodesEitherCase)
{
    const std::uint8_t bytes[] = {0x00, 0xAB, 0xFF};
    EXPECT_EQ(HexEncode(bytes, 3), u"00ABFF");
    EXPECT_EQ(HexDecode(Text(u"00abFF")), ByteBuffer(bytes, 3));
    // An empty block gives an empty, not an absent, text.
    EXPECT_EQ(HexEncode(nullptr, 0), u"");
}

TEST(Hex, MalformedInputDecodesByRuleWithoutFailing)
{
    // A last odd character is ignored.
    ASSERT_EQ(HexDecode(Text(u"ABC")).size(), 1u);
    EXPECT_EQ(HexDecode(Text(u"ABC"))[0], 0xAB);
    // Another character counts its own 8-bit code: 'G' = 0x47 -> (0x47 << 4 | 1) cut to 8 bits.
    EXPECT_EQ(HexDecode(Text(u"G1"))[0], static_cast<std::uint8_t>((0x47 << 4) | 1));
    // Only the low 8 bits of a UTF-16 character are read: U+0141 reads as 'A'.
    EXPECT_EQ(HexDecode(Text(u"\u0141\u0141"))[0], 0xAA);
    EXPECT_EQ(HexDecode(std::nullopt).size(), 0u);
}

TEST(Base64, EncodesWithPadding)
{
    EXPECT_EQ(Base64Encode(Bytes("abc")), u"YWJj");
    EXPECT_EQ(Base64Encode(Bytes("ab")), u"YWI=");
    EXPECT_EQ(Base64Encode(Bytes("a")), u"YQ==");
    EXPECT_EQ(Base64Encode(Bytes("")), u"");
    const std::uint8_t high[] = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ(Base64Encode(high, 3), u"+/+/");
}

TEST(Base64, DecodesByTheLibrarysRules)
{
    EXPECT_EQ(Str(Base64Decode(Text(u"YWI="))), "ab");
    EXPECT_EQ(Str(Base64Decode(Text(u"YQ=="))), "a");
    // Characters after the last whole group are ignored.
    EXPECT_EQ(Str(Base64Decode(Text(u"YWJjZA"))), "abc");
    EXPECT_EQ(Base64Decode(Text(u"YWJ")).size(), 0u);
    EXPECT_EQ(Base64Decode(std::nullopt).size(), 0u);
    // Characters outside the alphabet take the rule's value instead of failing.
    EXPECT_EQ(Base64Decode(Text(u"!!!!")).size(), 3u);
    EXPECT_EQ(Base64Decode(Text(u"!!!!"))[0], 0);
    // A round trip over every byte value.
    ByteBuffer all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Encoders, LongBlocksEncodeAsTheirPieces)
{
    ByteBuffer data(1001);
    for (std::uint32_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    Text hex, base64;
    for (std::uint32_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t n = std::min<std::uint32_t>(3, data.size() - i);
        hex += HexEncode(data.data() + i, n);
        base64 += Base64Encode(data.data() + i, n);
    }
    EXPECT_EQ(HexEncode(data), hex);
    EXPECT_EQ(Base64Encode(data), base64);
    // Appending keeps what the text held.
    Text out = u"x:";
    AppendBase64(out, data.data(), 2);
    AppendHex(out, data.data(), 2);
    EXPECT_EQ(out, u"x:Awo=030A");
    EXPECT_EQ(Base64EncodedLength(1001), Base64Encode(data).size());
}

TEST(Timestamp, HasSeventeenDigitsWithLeadingZeros)
{
    EXPECT_EQ(FormatTimestamp({2001, 6, 28, 8, 41, 51, 7}), u"20010628084151007");
    EXPECT_EQ(FormatTimestamp({2026, 12, 31, 23, 59, 59, 999}), u"20261231235959999");
    // The year is not padded.
    EXPECT_EQ(FormatTimestamp({999, 1, 2, 3, 4, 5, 6}), u"9990102030405006");
    // Each part is a 16-bit number that widens its field rather than being cut.
    EXPECT_EQ(FormatTimestamp({70000, 100, 0, 0, 0, 0, 1000}), u"4464100000000001000");
    EXPECT_EQ(FormatTimestamp({65535, 65535, 9, 10, 99, 100, 65536}), u"6553565535091099100000");
    EXPECT_EQ(FormatTimestamp({0, 0, 0, 0, 0, 0, 0}), u"00000000000000");
    const Text now = MakeTimestamp();
    ASSERT_EQ(now.size(), 17u);
    for (const char16_t c : now)
        EXPECT_TRUE(c >= u'0' && c <= u'9');
}

TEST(Compression, RoundTripsAndHonoursBounds)
{
    EXPECT_EQ(CompressBound(0), 13u);
    const ByteBuffer empty = CompressBytes(nullptr, 0);
    EXPECT_GT(empty.size(), 0u);
    EXPECT_EQ(DecompressBytes(empty, 0).size(), 0u);

    const ByteBuffer plain = Utf16Bytes(Text(5000, u'x'), true);
    const ByteBuffer packed = CompressBytes(plain);
    EXPECT_LT(packed.size(), plain.size());
    EXPECT_EQ(DecompressBytes(packed, plain.size()), plain);

    // Incompressible input still fits the bound.
    ByteBuffer noise(4096);
    std::uint32_t x = 12345;
    for (std::uint32_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
    EXPECT_LE(CompressBytes(noise).size(), CompressBound(noise.size()));
}

TEST(Compression, InflatedTextEndsAtItsFirstTerminator)
{
    // Terminators on either side of the blocks the search tests at once.
    for (const std::size_t at : {0u, 1u, 31u, 32u, 33u, 63u, 64u, 100u, 999u}) {
        Text text(1000, u'\u0100');  // no zero byte either
        text[at] = u'\0';
        const ByteBuffer plain = Utf16Bytes(text, true);
        EXPECT_EQ(DecompressText(CompressBytes(plain), plain.size()), text.substr(0, at)) << at;
    }
    // Without a terminator the whole text is kept, an odd last byte dropped.
    const ByteBuffer plain = Utf16Bytes(Text(70, u'x'), false);
    EXPECT_EQ(DecompressText(CompressBytes(plain), plain.size()), Text(70, u'x'));
    const ByteBuffer odd(plain.data(), 67);
    EXPECT_EQ(DecompressText(CompressBytes(odd), odd.size()), Text(33, u'x'));
}

TEST(Compression, ReportsZlibCodes)
{
    const ByteBuffer plain = Utf16Bytes(Text(u"hello hello hello"), true);
    const ByteBuffer packed = CompressBytes(plain);
    try {
        DecompressBytes(packed, plain.size() - 1);
        FAIL() << "a short block must not hold the stream";
    } catch (const ZlibError& e) {
        EXPECT_EQ(e.code, Z_BUF_ERROR);
    }
    try {
        DecompressBytes(Bytes("not a zlib stream"), 100);
        FAIL() << "garbage must not decompress";
    } catch (const ZlibError& e) {
        EXPECT_EQ(e.code, Z_DATA_ERROR);
    }
    EXPECT_THROW(DecompressBytes(ByteBuffer(), 10), ZlibError);
}

TEST(Compression, RefusesPlainLengthsTheDataCannotHoldBeforeAllocating)
{
    // At most 1032 to 1, plus a little for header and trailer, and never more than the ceiling.
    EXPECT_NO_THROW(CheckInflatedLength(10, 10 * 1032 + 64));
    EXPECT_THROW(CheckInflatedLength(10, 10 * 1032 + 65), LengthRefused);
    EXPECT_NO_THROW(CheckInflatedLength(0, 64));
    EXPECT_NO_THROW(CheckInflatedLength(std::uint64_t{1} << 30, kMaxDataBytes));
    EXPECT_THROW(CheckInflatedLength(std::uint64_t{1} << 30, kMaxDataBytes + 1), LengthRefused);
    // Checked in 64 bits: a size near 2^32 / 1032 does not wrap.
    EXPECT_THROW(CheckInflatedLength(4'161'791, 0xFFFFFFFFu), LengthRefused);

    // A stream of 4.3 MB whose claim of 0xFFFFFFFF once wrapped the text's size to 0.
    const std::vector<Bytef> zeros(4'300'000);
    std::vector<Bytef> buf(compressBound(zeros.size()));
    uLongf n = buf.size();
    ASSERT_EQ(compress2(buf.data(), &n, zeros.data(), zeros.size(), 0), Z_OK);
    const ByteBuffer stored(buf.data(), static_cast<std::uint32_t>(n));
    EXPECT_THROW(DecompressText(stored, 0xFFFFFFFFu), LengthRefused);
    EXPECT_THROW(DecompressText(stored, 0xFFFFFFFEu), LengthRefused);
    EXPECT_THROW(DecompressBytes(stored, 0xFFFFFFFFu), LengthRefused);
    EXPECT_EQ(DecompressBytes(stored, 4'300'000).size(), 4'300'000u);
    try {
        DecompressText(stored, 0xFFFFFFFFu);
    } catch (const HResultError& e) {
        EXPECT_EQ(e.code(), kE_INVALIDARG);
    }
}

TEST(Split, CutsAtTheFirstSeparator)
{
    auto [h1, t1] = SplitAtFirst(Text(u"a:b:c"), u':');
    EXPECT_EQ(h1, Text(u"a"));
    EXPECT_EQ(t1, Text(u"b:c"));
    auto [h2, t2] = SplitAtFirst(Text(u"abc"), u':');
    EXPECT_EQ(h2, Text(u"abc"));
    EXPECT_FALSE(t2.has_value());
    auto [h3, t3] = SplitAtFirst(Text(u":x"), u':');
    EXPECT_EQ(h3, Text(u""));
    EXPECT_EQ(t3, Text(u"x"));
    auto [h4, t4] = SplitAtFirst(Text(u"x:"), u':');
    EXPECT_EQ(t4, Text(u""));
    auto [h5, t5] = SplitAtFirst(std::nullopt, u':');
    EXPECT_FALSE(h5.has_value());
    EXPECT_FALSE(t5.has_value());
}

TEST(TextConversion, Utf16BytesAndBack)
{
    const ByteBuffer b = Utf16Bytes(Text(u"Gr\u00fc"), true);
    ASSERT_EQ(b.size(), 8u);
    EXPECT_EQ(b[2], 'r');
    EXPECT_EQ(b[4], 0xFC);
    EXPECT_EQ(b[6], 0);
    EXPECT_EQ(Utf16Bytes(Text(u"ab"), false).size(), 4u);
    EXPECT_EQ(TextFromUtf16Bytes(b.data(), b.size()), u"Gr\u00fc");
    // An odd last byte is not half a character.
    EXPECT_EQ(TextFromUtf16Bytes(b.data(), 5), u"Gr");
}

TEST(TextConversion, Utf8AtTheBoundary)
{
    EXPECT_EQ(Utf8ToText("Gr\xC3\xBC\xC3\x9F" "e"), u"Gr\u00fc\u00dfe");
    EXPECT_EQ(TextToUtf8(u"Gr\u00fc\u00dfe"), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(Utf8ToText("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(TextToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    // Malformed sequences and lone surrogates become U+FFFD, never a crash.
    EXPECT_EQ(Utf8ToText("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToText("\xFF\xFE"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToText("\xC0\x80"), u"\uFFFD");
    EXPECT_EQ(TextToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

// Long texts go through in blocks of plain ASCII: a character of any length,
// a malformed sequence or a lone surrogate next to, across or inside a block
// converts as it does alone (short pieces take the character-by-character way).
TEST(TextConversion, LongTextsConvertAsTheirPieces)
{
    const std::vector<std::string> odd = {"\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC3", "\xFF", "\xED\xA0\x80"};
    for (const std::string& piece : odd)
        for (std::size_t at = 0; at < 70; ++at) {
            const std::string before(at, 'a'), after(100 - at, 'b');
            const std::string utf8 = before + piece + after;
            const Text text = Utf8ToText(utf8);
            EXPECT_EQ(text, Utf8ToText(before) + Utf8ToText(piece) + Utf8ToText(after)) << at;
            EXPECT_EQ(TextToUtf8(text), TextToUtf8(Utf8ToText(before)) + TextToUtf8(Utf8ToText(piece)) + after) << at;
        }
    Text lone(80, u'x');
    lone[33] = u'\xDC00';
    EXPECT_EQ(TextToUtf8(lone), std::string(33, 'x') + "\xEF\xBF\xBD" + std::string(46, 'x'));
}

// The prefix written into a caller's buffer is the whole UTF-8 text cut at
// the capacity, a character at the cut split as the cut falls.
TEST(TextConversion, Utf8PrefixIsTheWholeTextCut)
{
    const Text text = Utf8ToText(std::string(40, 'a') + "\xF0\x9F\x98\x80" + std::string(30, 'b') + "\xC3\xBC" +
                                 std::string(64, 'c') + "\xE2\x82\xAC");
    const std::string whole = TextToUtf8(text);
    for (std::size_t capacity = 0; capacity <= whole.size() + 4; ++capacity) {
        std::vector<char> buffer(whole.size() + 8, '#');
        const std::size_t n = TextToUtf8Prefix(text, buffer.data(), capacity);
        EXPECT_EQ(std::string(buffer.data(), n), whole.substr(0, capacity)) << capacity;
        // Nothing is written past what it returns.
        EXPECT_EQ(std::count(buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.end(), '#'),
                  static_cast<std::ptrdiff_t>(buffer.size() - n))
            << capacity;
    }
}

TEST(TextConversion, SingleByteTextIsAscii)
{
    EXPECT_EQ(ToSingleByte(u"AB:09"), "AB:09");
    EXPECT_EQ(ToSingleByte(u"\u00e9"), "?");
    const std::uint8_t bytes[] = {'1', '2', 0, '3'};
    EXPECT_EQ(FromSingleByte(bytes, 4), u"12");
    EXPECT_EQ(FromSingleByte(bytes, 1), u"1");
    EXPECT_EQ(FromSingleByte(nullptr, 0), u"");
    // A long text, with a character beyond ASCII and without its NUL, and back.
    Text longText(600, u'a');
    longText[300] = u'\u00e9';
    const ByteBuffer single = SingleByteBytes(longText, false);
    ASSERT_EQ(single.size(), 600u);
    longText[300] = u'?';
    EXPECT_EQ(FromSingleByte(single.data(), single.size()), longText);
    const ByteBuffer withNul = SingleByteBytes(u"ab", true);
    ASSERT_EQ(withNul.size(), 3u);
    EXPECT_EQ(withNul[2], 0);
}

TEST(RaiseHResult, MapsPlatformErrorsAndKeepsHResults)
{
    EXPECT_EQ(HResultFromError(5), static_cast<HRESULT>(0x80070005u));
    EXPECT_EQ(HResultFromError(87), kE_INVALIDARG);
    EXPECT_EQ(HResultFromError(0x80090016u), kNTE_BAD_KEYSET);
    EXPECT_EQ(HResultFromError(0x8000FFFFu), kE_UNEXPECTED);
    // A failure that reports no error must not read as success.
    EXPECT_EQ(HResultFromError(0), kE_FAIL);
    try {
        RaiseHResult(5, "CryptGenRandom");
        FAIL();
    } catch (const HResultError& e) {
        EXPECT_EQ(e.code(), static_cast<HRESULT>(0x80070005u));
        EXPECT_STREQ(LastRaisingOperation(), "CryptGenRandom");
    }
}
