// The Qt-free client layer: the names of the token library's HRESULTs and
// the verdict on a reply's token.
#include <gtest/gtest.h>

#include "Client/Verdict.h"

using namespace tessel::client;

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
