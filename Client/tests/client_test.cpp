// The text rules of the tools, and the token library as the tools bind it.
#include <gtest/gtest.h>

#include "Client/SessionMessages.h"
#include "Client/TextRules.h"
#include "Client/TokenSession.h"
#include "TempHome.h"

using namespace tessel::client;

TEST(TextRules, OneTrailingCrLfIsCut)
{
    std::string text = "<content>xxx</content>\r\n\r\n";
    EXPECT_TRUE(CutTrailingCrLf(text));
    EXPECT_EQ(text, "<content>xxx</content>\r\n");
    EXPECT_TRUE(CutTrailingCrLf(text));
    EXPECT_FALSE(CutTrailingCrLf(text));
    EXPECT_EQ(text, "<content>xxx</content>");
    for (std::string shortText : {std::string(), std::string("\n"), std::string("x")}) {
        const std::string before = shortText;
        EXPECT_FALSE(CutTrailingCrLf(shortText));
        EXPECT_EQ(shortText, before);
    }
    std::string lf = "a\n";
    EXPECT_FALSE(CutTrailingCrLf(lf));
}

TEST(TextRules, LinesAreTrimmedOfBlanksAndJoined)
{
    EXPECT_EQ(JoinTrimmedLines("a \r\n b"), "ab");
    EXPECT_EQ(JoinTrimmedLines("  one line with blanks  "), "  one line with blanks  ");  // no break: unchanged
    EXPECT_EQ(JoinTrimmedLines("<query>\r\n  <get>\t\r\n</query>  "), "<query><get>\t</query>");
    EXPECT_EQ(JoinTrimmedLines("a\r\n\r\nb\r\n"), "ab");
    EXPECT_EQ(JoinTrimmedLines("a\rb"), "ab");  // a carriage return without a line feed loses nothing
}

TEST(TextRules, TextsPastTheSixteenBitPositionsAreRefused)
{
    EXPECT_NO_THROW(JoinTrimmedLines(std::string(32767, 'x')));
    EXPECT_NO_THROW(JoinTrimmedLines(std::string(16000, 'x') + "\xC3\xA9" + std::string(16766, 'x')));
    try {
        JoinTrimmedLines(std::string(32768, 'x'));
        FAIL() << "a text of 32,768 characters was built";
    } catch (const TextRuleError& e) {
        EXPECT_NE(std::string(e.what()).find("32767"), std::string::npos) << e.what();
    }
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
