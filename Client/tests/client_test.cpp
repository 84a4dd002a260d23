// The text rules by which the tools take values from their boxes, the
// session messages' parameters, the token library as the tools bind it, and
// the verdict on a reply's token.
#include <gtest/gtest.h>

#include "Client/SessionMessages.h"
#include "Client/TextRules.h"
#include "Client/TokenSession.h"
#include "Client/Verdict.h"
#include "TempHome.h"

using namespace tessel::client;

namespace {

struct Building {
    const char* name;
    std::string text, value;
};

void PrintTo(const Building& b, std::ostream* os)
{
    *os << b.name;
}

const Building kBuildings[] = {
    {"ALineWithoutBreakIsNotTrimmed", "  a b  ", "  a b  "},
    {"LinesAreTrimmedAndJoinedWithoutSeparator", "a \r\n b", "ab"},
    {"OnlyBlanksAreTrimmed", "\ta \r\n\tb\t", "\ta\tb\t"},
    {"EmptyLinesVanish", "a\r\n\r\n\r\nb", "ab"},
    {"ABreakAtTheEndLeavesNothingAfterIt", "a\r\n", "a"},
    {"ALoneCarriageReturnKeepsTheCharacterAfterIt", "a \rb c\r d", "ab cd"},
    {"ACarriageReturnAtTheVeryEnd", "a\r", "a"},
    {"ALineFeedWithoutCarriageReturnIsText", " a\nb \r\nc", "a\nbc"},
    {"AnEmptyText", "", ""},
};

class JoinTrimmedLinesOf : public ::testing::TestWithParam<Building> {};

std::string BuildingName(const ::testing::TestParamInfo<Building>& info)
{
    return info.param.name;
}

}  // namespace

TEST_P(JoinTrimmedLinesOf, GivesTheValue)
{
    EXPECT_EQ(JoinTrimmedLines(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, JoinTrimmedLinesOf, ::testing::ValuesIn(kBuildings), BuildingName);

TEST(JoinTrimmedLines, TakesAtMost32767CharactersAndSaysWhy)
{
    EXPECT_EQ(JoinTrimmedLines(std::string(32767, 'x')).size(), 32767u);
    // Characters, not bytes: 32,767 two-byte characters are taken.
    std::string accented;
    for (int i = 0; i < 32767; ++i)
        accented += "\xC3\xA9";
    EXPECT_EQ(JoinTrimmedLines(accented), accented);
    try {
        JoinTrimmedLines(std::string(32766, 'x') + "\r\nyz");
        FAIL() << "no error";
    } catch (const TextRuleError& e) {
        EXPECT_STREQ(e.what(), "The text is 32770 characters long; statements and contents are built from at most "
                               "32767 characters. Shorten it and send again.");
    }
}

TEST(CutTrailingCrLf, CutsOneBreakAndOnlyAnExactOne)
{
    std::string text = "a\r\n\r\n";
    EXPECT_TRUE(CutTrailingCrLf(text));
    EXPECT_EQ(text, "a\r\n");
    EXPECT_TRUE(CutTrailingCrLf(text));
    EXPECT_EQ(text, "a");
    EXPECT_FALSE(CutTrailingCrLf(text));
    for (std::string unchanged : {"a\n\r", "a\n", "\r", ""}) {
        const std::string before = unchanged;
        EXPECT_FALSE(CutTrailingCrLf(unchanged)) << before;
        EXPECT_EQ(unchanged, before);
    }
    std::string alone = "\r\n";
    EXPECT_TRUE(CutTrailingCrLf(alone));
    EXPECT_EQ(alone, "");
}

TEST(FirstCharacters, CountsCharactersAndNeverSplitsOne)
{
    EXPECT_EQ(FirstCharacters("abcdef", 3), "abc");
    EXPECT_EQ(FirstCharacters("ab", 3), "ab");
    EXPECT_EQ(FirstCharacters("abc", 0), "");
    EXPECT_EQ(FirstCharacters("\xC3\xA9t\xC3\xA9!", 3), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(FirstCharacters("a\xE2\x82\xAC", 1), "a");
    const std::string kib(1024, 'k');
    EXPECT_EQ(FirstCharacters(kib + "\xE2\x82\xAC", 1024), kib);
}

// The shortest UTF-8 form of a code point.
std::string Encoded(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

bool IsScalarValue(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

TEST(StrictUtf8, ReplacesEachIllFormedPartWithOneReplacementCharacter)
{
    const std::string R = kReplacementCharacter;
    const struct {
        const char* name;
        std::string bytes, text;
    } cases[] = {
        {"empty", "", ""},
        {"ASCII and NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"the ends of each length", "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {"the last before and the first after the surrogates", "\xED\x9F\xBF\xEE\x80\x80", "\xED\x9F\xBF\xEE\x80\x80"},
        {"overlong slash", "\xC0\xAF", R + R},
        {"overlong NUL", "\xC0\x80", R + R},
        {"overlong of U+007F", "\xC1\xBF", R + R},
        {"overlong in three bytes", "\xE0\x80\xAF", R + R + R},
        {"overlong of U+07FF in three", "\xE0\x9F\xBF", R + R + R},
        {"overlong in four bytes", "\xF0\x80\x80\xAF", R + R + R + R},
        {"overlong of U+FFFF in four", "\xF0\x8F\xBF\xBF", R + R + R + R},
        {"first surrogate", "\xED\xA0\x80", R + R + R},
        {"last surrogate", "\xED\xBF\xBF", R + R + R},
        {"a surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", R + R + R + R + R + R},
        {"above U+10FFFF", "\xF4\x90\x80\x80", R + R + R + R},
        {"a lead that cannot begin any", "\xF5\x80\x80\x80", R + R + R + R},
        {"FE and FF", "\xFE\xFF", R + R},
        {"lone continuation pair", "\xA3\x8B", R + R},
        {"truncated two", "a\xC3", "a" + R},
        {"truncated three, then ASCII", "\xE2\x82x", R + "x"},
        {"truncated four at the end", "\xF0\x9F\x98", R},
        {"a truncated one before a whole one", "\xF0\x9F\xF0\x9F\x98\x80", R + "\xF0\x9F\x98\x80"},
        {"a lead inside a sequence", "\xE2\xC3\xA9", R + "\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidUtf8(c.bytes), c.text) << c.name;
    const Utf8Sequence euro = NextUtf8("\xE2\x82\xAC!");
    EXPECT_TRUE(euro.valid);
    EXPECT_EQ(euro.code, 0x20ACu);
    EXPECT_EQ(euro.length, 3u);
    EXPECT_EQ(NextUtf8("").length, 0u);
    // A character the caller refuses is replaced too.
    EXPECT_EQ(ValidUtf8("a\x01\xC3\xA9", [](char32_t c) { return c >= 0x20; }), "a" + R + "\xC3\xA9");
}

TEST(StrictUtf8, TakesExactlyTheShortestFormOfEachScalarValue)
{
    // Every code point: its shortest form is one valid sequence of its own length.
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!IsScalarValue(c))
            continue;
        const std::string e = Encoded(c);
        const Utf8Sequence s = NextUtf8(e);
        ASSERT_TRUE(s.valid && s.code == c && s.length == e.size()) << std::hex << static_cast<unsigned>(c);
    }
    // Every two- and three-byte sequence, and four-byte ones over the edge bytes: valid exactly when
    // it is the shortest form of a scalar value; otherwise its ill-formed start is replaced and no
    // byte is lost or read twice.
    const auto check = [](const std::string& bytes) {
        const Utf8Sequence s = NextUtf8(bytes);
        const bool canonical = s.valid && IsScalarValue(s.code) && Encoded(s.code) == bytes.substr(0, s.length);
        ASSERT_EQ(s.valid, canonical) << testing::PrintToString(bytes);
        ASSERT_GE(s.length, 1u);
        ASSERT_LE(s.length, bytes.size());
        const std::string out = ValidUtf8(bytes);
        for (std::string_view rest = out; !rest.empty(); rest.remove_prefix(NextUtf8(rest).length))
            ASSERT_TRUE(NextUtf8(rest).valid) << testing::PrintToString(bytes);
    };
    for (int a = 0x80; a < 0x100; ++a)
        for (int b = 0; b < 0x100; ++b) {
            check({static_cast<char>(a), static_cast<char>(b)});
            if (a >= 0xE0)
                for (int c = 0; c < 0x100; c += (a >= 0xF0 ? 1 : 3))
                    check({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        }
    const int edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (int a = 0xF0; a < 0x100; ++a)
        for (int b = 0; b < 0x100; ++b)
            for (const int c : edges)
                for (const int d : edges)
                    check({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)});
}

TEST(SessionMessages, AreNamedAsTheCatalogNamesThem)
{
    const auto params = SessionParams("CloseSession", {"key", "ver"});
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0], Slot("sessionKey", "key"));
    EXPECT_EQ(params[1], Slot("verifier", "ver"));
    EXPECT_THROW(SessionParams("CloseSession", {"only one"}), std::logic_error);
    EXPECT_THROW(SessionParams("NoSuchMessage", {}), std::logic_error);
}

TEST(TokenLibrary, AFailedExportLeavesNothingToShow)
{
    TempHome home;
    TokenLibrary library;
    TokenSession tokens(library);
    const SlotOut slot = library.GetTokenData(0x7FFFFFF0, 1, 4096);  // no such handler
    EXPECT_NE(slot.hr, 0);
    EXPECT_EQ(slot.text, "");
    const TextOut token = library.ConstructToken(0x7FFFFFF0, kTokenCapacity);
    EXPECT_NE(token.hr, 0);
    EXPECT_EQ(token.text, "");
    // A handler with no slots converted yet has nothing to read back either.
    const TokenSession::Setup setup = tokens.Acquire();
    EXPECT_FALSE(setup.scheme.empty());
    EXPECT_FALSE(setup.seed.empty());
    EXPECT_EQ(tokens.ReadSlot(setup.handle, 1, 4096).text, "");
    tokens.Release(setup.handle);
}

TEST(TokenLibrary, AMissingLibraryIsAClearError)
{
    TokenLibrary missing("libNoSuchTokenLibrary.so");
    std::int32_t handle = 0;
    try {
        missing.AcquireTokenHandler("", handle);
        FAIL() << "a missing library loaded";
    } catch (const TokenLibraryError& e) {
        EXPECT_EQ(std::string(e.what()).find("The token library libNoSuchTokenLibrary.so could not be loaded: "), 0u);
    }
}

TEST(Capacities, ReplyBuffersHoldAtLeastOneMiB)
{
    EXPECT_EQ(AtLeastOneMiB(0), 1048576);
    EXPECT_EQ(AtLeastOneMiB(1048575), 1048576);
    EXPECT_EQ(AtLeastOneMiB(1048576), 1048577);
    EXPECT_EQ(CapacityOf(std::size_t(1) << 40), 0x7FFFFFFE);
}

TEST(Verdict, ZeroIsValid)
{
    EXPECT_EQ(DescribeVerdict(0), "valid");
}

TEST(Verdict, NamesEachCodeValidationReturnsWithItsCause)
{
    const auto code = [](std::uint32_t c) { return static_cast<std::int32_t>(c); };
    EXPECT_EQ(DescribeVerdict(code(0x80004005u)),
              "rejected: 0x80004005 E_FAIL (time stamp, nonce proof or hash differs)");
    EXPECT_EQ(DescribeVerdict(code(0x80070057u)),
              "rejected: 0x80070057 E_INVALIDARG (the token is empty or malformed)");
    EXPECT_EQ(DescribeVerdict(code(0x80004001u)),
              "rejected: 0x80004001 E_NOTIMPL (a slot kind the library does not decode)");
    EXPECT_EQ(DescribeVerdict(code(0x8007000Eu)),
              "rejected: 0x8007000E E_OUTOFMEMORY (a compressed slot does not inflate)");
    EXPECT_EQ(DescribeVerdict(code(0x8000FFFFu)),
              "rejected: 0x8000FFFF E_UNEXPECTED (the handler has no session set up)");
    EXPECT_EQ(DescribeVerdict(code(0x80070006u)), "rejected: 0x80070006 E_HANDLE (no such token handler)");
    EXPECT_EQ(DescribeVerdict(code(0x80090005u)),
              "rejected: 0x80090005 NTE_BAD_DATA (the token does not decrypt with the session key)");
    // Provider codes without a single cause are named only.
    EXPECT_EQ(DescribeVerdict(code(0x80090016u)), "rejected: 0x80090016 NTE_BAD_KEYSET");
    EXPECT_EQ(DescribeVerdict(code(0x80090008u)), "rejected: 0x80090008 NTE_BAD_ALGID");
    EXPECT_EQ(DescribeVerdict(code(0x12345678u)), "rejected: 0x12345678");
    EXPECT_EQ(DescribeVerdict(1), "rejected: 0x00000001");
}

TEST(Verdict, NamesAndHexOfCodes)
{
    EXPECT_EQ(HResultName(0), "S_OK");
    EXPECT_EQ(HResultName(static_cast<std::int32_t>(0x8009000Du)), "NTE_NO_KEY");
    EXPECT_EQ(HResultName(-1), "");
    EXPECT_EQ(HResultHex(static_cast<std::int32_t>(0x80004005u)), "0x80004005");
    EXPECT_EQ(HResultHex(10), "0x0000000A");
}

TEST(Verdict, KindsOfADecodedSlot)
{
    EXPECT_EQ(DescribeKind(0), "plain");
    EXPECT_EQ(DescribeKind(1), "compressed");
    EXPECT_EQ(DescribeKind(2), "encrypted");
    EXPECT_EQ(DescribeKind(3), "compressed and encrypted");
    EXPECT_EQ(DescribeKind(7), "kind 7");
}
