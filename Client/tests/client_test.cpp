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
