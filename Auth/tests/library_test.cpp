// The token library through its C boundary, loaded by name as the tools load it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Crypt.h"
#include "ServerMACImpl.h"
#include "TesselInspect.h"
#include "TempHome.h"
#include "TokenExports.h"
#include "TokenCodecs.h"

using namespace tessel;

namespace {

constexpr TesselHResult kOk = 0;
constexpr TesselHResult E_POINTER_ = static_cast<TesselHResult>(0x80004003u);
constexpr TesselHResult E_FAIL_ = static_cast<TesselHResult>(0x80004005u);
constexpr TesselHResult E_INVALIDARG_ = static_cast<TesselHResult>(0x80070057u);
constexpr TesselHResult E_UNEXPECTED_ = static_cast<TesselHResult>(0x8000FFFFu);
constexpr TesselHResult E_NOTIMPL_ = static_cast<TesselHResult>(0x80004001u);
constexpr TesselHResult E_OUTOFMEMORY_ = static_cast<TesselHResult>(0x8007000Eu);
constexpr TesselHResult E_HANDLE_ = static_cast<TesselHResult>(0x80070006u);

// A tool-owned buffer of capacity + 1 bytes, filled with a sentinel.
struct OutText {
    explicit OutText(int capacity) : bytes(static_cast<std::size_t>(capacity) + 8, '#'), length(capacity) {}
    std::vector<char> bytes;
    char* ptr = nullptr;
    int32_t length;
    char** buf()
    {
        ptr = bytes.data();
        return &ptr;
    }
    std::string text() const { return std::string(bytes.data(), static_cast<std::size_t>(length)); }
    bool untouched() const { return bytes[0] == '#'; }
};

std::string Call(TesselHResult (*f)(TesselTokenHandle, int32_t*, char**), TesselTokenHandle h, int cap = 1024,
                 TesselHResult want = kOk)
{
    OutText out(cap);
    EXPECT_EQ(f(h, &out.length, out.buf()), want);
    return out.text();
}

// A client logged in against a server session, as a tool does it.
struct Login {
    TesselTokenHandle h = 0;
    std::string scheme, seed;
    std::unique_ptr<ServerSession> server;

    explicit Login(const char* schemeText = "", ServerOptions options = {})
    {
        Lib& lib = Get();
        EXPECT_EQ(lib.Acquire(schemeText, &h), kOk);
        scheme = Call(lib.GetScheme, h, 255);
        seed = Call(lib.GetSeed, h, 255);
        EXPECT_EQ(lib.SetSeed(h, seed.c_str()), kOk);
        server = std::make_unique<ServerSession>(Utf8ToText(scheme), Utf8ToText(seed), u"OPAQUE-42", options);
        EXPECT_EQ(lib.SetItem(h, "SessionKey", TextToUtf8(server->WrappedSessionKey()).c_str()), kOk);
        EXPECT_EQ(lib.SetItem(h, "Opaque", "OPAQUE-42"), kOk);
    }
    ~Login() { Get().Release(h); }
    static Lib& Get() { return Lib::Get(); }

    // Request slots: the method, then name/value pairs; returns the token.
    std::string Request(const std::vector<std::pair<std::string, std::string>>& slots)
    {
        for (std::size_t i = 0; i < slots.size(); ++i)
            EXPECT_EQ(Get().SetData(h, static_cast<int32_t>(i), 0, slots[i].first.c_str(), slots[i].second.c_str()),
                      kOk);
        return Call(Get().Construct, h);
    }
    static std::vector<WireSlot> Wire(const std::vector<std::pair<std::string, std::string>>& slots)
    {
        std::vector<WireSlot> out;
        for (const auto& [n, v] : slots)
            out.push_back({Utf8ToText(n), Utf8ToText(v)});
        return out;
    }
    // Fills the reply's slots as a tool does (kind 0, values as received) and validates.
    TesselHResult Reply(const std::string& method, const ReplyToken& reply, const std::string& resultName = "result")
    {
        EXPECT_EQ(Get().SetData(h, 0, 0, method.c_str(), ""), kOk);
        EXPECT_EQ(Get().SetData(h, 1, 0, resultName.c_str(), TextToUtf8(reply.wireValues.at(1).value_or(u"")).c_str()),
                  kOk);
        return Get().Validate(h, TextToUtf8(reply.token).c_str());
    }
    std::string Slot(int index, int32_t* kind = nullptr, int cap = 1 << 20)
    {
        OutText out(cap);
        EXPECT_EQ(Get().GetData(h, index, kind, &out.length, out.buf()), kOk);
        return out.text();
    }
};

std::vector<ReplySlot> ResultSlots(const std::string& method, const std::string& result, std::uint32_t kind)
{
    return {{Utf8ToText(method), Text(), TOKEN_DATA_PLAIN}, {u"result", Utf8ToText(result), kind}};
}

// The session key, which the client hands out wrapped for its own key-exchange pair.
CryptKey SessionKeyOf(TesselTokenHandle h)
{
    OutText blob(4096);
    EXPECT_EQ(Lib::Get().GetItem(h, "SessionKey", &blob.length, blob.buf()), kOk);
    const CryptProvider prov =
        CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, 0);
    return prov.ImportKey(Base64Decode(Utf8ToText(blob.text())), 0, nullptr);
}

// Reads a request token's inner text with the session key.
std::string InnerText(TesselTokenHandle h, const std::string& token)
{
    CryptKey key = SessionKeyOf(h);
    const ByteBuffer plain = key.Decrypt(Base64Decode(Utf8ToText(token.substr(0, token.find(':')))));
    return TextToUtf8(FromSingleByte(plain.data(), plain.size()));
}

// A request token made by hand with the session key: a fresh nonce, the
// current time, the right hash over the slots as sent, and records as given,
// followed by `tail` (the NUL that ends the inner text as the client sends it).
std::string ForgedRequest(Login& login, const std::vector<WireSlot>& slots, const std::string& records,
                          const std::string& tail = std::string(1, '\0'))
{
    static int serial = 0;
    CryptKey session = SessionKeyOf(login.h);
    const CryptProvider prov =
        CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, 0);
    CryptHash h = prov.CreateHash(CALG_SHA1);
    h.HashSessionKey(session);
    for (const WireSlot& slot : slots) {
        HashTextBytes(h, slot.name);
        HashTextBytes(h, slot.value);
    }
    char nonce[17];
    std::snprintf(nonce, sizeof nonce, "%016X", ++serial);
    const std::string inner = std::string(nonce) + ":" + TextToUtf8(MakeTimestamp()) + ":" +
                              TextToUtf8(HexEncode(h.HashValue())) + ":" + records;
    return TextToUtf8(Base64Encode(session.Encrypt(ByteBuffer::FromString(inner + tail)))) + ":OPAQUE-42";
}

// A zlib stream of n zero bytes stored without compression: as long as its
// plain text, so that a record may claim about 1032 times that much.
Text StoredZeros(std::size_t n)
{
    const std::vector<Bytef> zeros(n);
    std::vector<Bytef> packed(compressBound(n));
    uLongf packedLength = packed.size();
    EXPECT_EQ(compress2(packed.data(), &packedLength, zeros.data(), n, 0), Z_OK);
    return Base64Encode(packed.data(), static_cast<std::uint32_t>(packedLength));
}

// One record: kind and plain length, little-endian, as 16 hexadecimal digits.
std::string Record(std::uint32_t kind, std::uint32_t plainLength)
{
    std::uint8_t bytes[8];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(kind >> (8 * i));
        bytes[4 + i] = static_cast<std::uint8_t>(plainLength >> (8 * i));
    }
    return TextToUtf8(HexEncode(bytes, 8));
}

// The process's peak resident memory so far, in MiB.
long PeakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A reply made by hand from the session and seed keys, with records as given
// (slot 0 is the method with an empty value, slot 1 "result").
std::string ForgedToken(Login& login, const std::string& request, const std::string& method, const Text& wire,
                        const std::string& resultRecord, bool rightProof = true)
{
    OutText blob(4096);
    EXPECT_EQ(Lib::Get().GetItem(login.h, "SessionKey", &blob.length, blob.buf()), kOk);
    const CryptProvider prov =
        CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, 0);
    CryptKey session = prov.ImportKey(Base64Decode(Utf8ToText(blob.text())), 0, nullptr);
    CryptHash seedHash = prov.CreateHash(CALG_SHA1);
    seedHash.HashData(Base64Decode(Utf8ToText(login.seed.substr(0, login.seed.find(':')))));
    CryptKey seedKey = prov.DeriveKey(CALG_RC2, seedHash, 0);

    const std::string inner = InnerText(login.h, request);
    const std::string nonce = inner.substr(0, inner.find(':'));
    const std::string stamp = inner.substr(nonce.size() + 1, 17);
    CryptHash h = prov.CreateHash(CALG_SHA1);
    h.HashSessionKey(session);
    h.HashData(Utf16Bytes(Utf8ToText(method), false));
    h.HashData(Utf16Bytes(u"result", false));
    h.HashData(Utf16Bytes(wire, false));
    const std::string proof = TextToUtf8(HexEncode(seedKey.Encrypt(ByteBuffer::FromString(rightProof ? nonce : "x"))));
    const std::string reply =
        proof + ":" + stamp + ":" + TextToUtf8(HexEncode(h.HashValue())) + ":0000000000000000" + resultRecord;
    return TextToUtf8(Base64Encode(session.Encrypt(SingleByteBytes(Utf8ToText(reply), true))));
}

TesselHResult ForgedReply(Login& login, const std::string& request, const std::string& method, const Text& wire,
                          const std::string& resultRecord)
{
    const std::string token = ForgedToken(login, request, method, wire, resultRecord);
    EXPECT_EQ(Lib::Get().SetData(login.h, 0, 0, method.c_str(), ""), kOk);
    EXPECT_EQ(Lib::Get().SetData(login.h, 1, 0, "result", TextToUtf8(wire).c_str()), kOk);
    return Lib::Get().Validate(login.h, token.c_str());
}

// 4,300,000 stored bytes: enough for a claim of 0xFFFFFFFF to pass a check
// of the ratio alone (4 GiB / 1032 is about 4,161,790).
constexpr std::size_t kBigStream = 4'300'000;

class Library : public ::testing::Test {
protected:
    TempHome home;
};

}  // namespace

TEST_F(Library, ExportsNothingButTheElevenFunctions)
{
    Lib& lib = Lib::Get();
    EXPECT_EQ(dlsym(lib.so, "CreateTokenHandler"), nullptr);
    EXPECT_EQ(dlsym(lib.so, "_ZN6tessel18CreateTokenHandlerERKSt8optionalINSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEEE"),
              nullptr);
}

TEST_F(Library, AClientsWholeCallingOrder)
{
    Login login;
    Lib& lib = Lib::Get();
    const std::vector<std::pair<std::string, std::string>> request = {
        {"GetLogs", ""}, {"user", "tester"}, {"logID", "17"}, {"reskey", ""}};
    const std::string token = login.Request(request);
    EXPECT_NE(token.find(":OPAQUE-42"), std::string::npos);

    std::vector<OptText> values;
    const RequestStamp stamp = login.server->ValidateRequest(Utf8ToText(token), Login::Wire(request), &values);
    EXPECT_EQ(values.at(2), Text(u"17"));

    for (const std::uint32_t kind : {TOKEN_DATA_PLAIN, TOKEN_DATA_COMPRESSED, TOKEN_DATA_ENCRYPTED}) {
        const std::string result = "<logs><log id=\"1\">Gr\xC3\xBC\xC3\x9F" "e</log></logs>";
        const ReplyToken reply = login.server->BuildReply(stamp, ResultSlots("GetLogs", result, kind));
        EXPECT_EQ(login.Reply("GetLogs", reply), kOk) << kind;
        int32_t got = -1;
        EXPECT_EQ(login.Slot(1, &got), result);
        EXPECT_EQ(got, static_cast<int32_t>(kind));
        // Reading does not change the slot.
        EXPECT_EQ(login.Slot(1), result);
    }
    EXPECT_EQ(lib.Release(login.h), kOk);
    EXPECT_EQ(lib.Release(login.h), E_HANDLE_);
    login.h = 0;
}

TEST_F(Library, DefaultSchemeAndHandleRules)
{
    Lib& lib = Lib::Get();
    EXPECT_EQ(lib.Acquire("", nullptr), E_POINTER_);
    for (const char* scheme : {static_cast<const char*>(nullptr), ""}) {
        TesselTokenHandle h = 0;
        ASSERT_EQ(lib.Acquire(scheme, &h), kOk);
        EXPECT_NE(h, 0u);
        EXPECT_EQ(Call(lib.GetScheme, h, 255),
                  "Microsoft Base Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_RC2,CALG_SHA1");
        lib.Release(h);
    }
    // A scheme's parts are completed by their defaults.
    TesselTokenHandle h = 0;
    ASSERT_EQ(lib.Acquire("Microsoft Enhanced Cryptographic Provider v1.0,,CALG_3DES", &h), kOk);
    EXPECT_EQ(Call(lib.GetScheme, h, 255),
              "Microsoft Enhanced Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_3DES,CALG_SHA1");
    lib.Release(h);
    // A failed acquisition leaves the caller's variable alone.
    TesselTokenHandle keep = 12345;
    EXPECT_EQ(lib.Acquire("No Such Provider", &keep), static_cast<TesselHResult>(0x80090019u));
    EXPECT_EQ(keep, 12345u);
    EXPECT_EQ(lib.Release(0), kOk);

    // Released handles are dead for every export and never come back.
    TesselTokenHandle a = 0, b = 0;
    lib.Acquire("", &a);
    lib.Release(a);
    lib.Acquire("", &b);
    EXPECT_NE(a, b);
    OutText out(16);
    EXPECT_EQ(lib.GetScheme(a, &out.length, out.buf()), E_HANDLE_);
    EXPECT_TRUE(out.untouched());
    EXPECT_EQ(out.length, 16);
    EXPECT_EQ(lib.SetSeed(a, "x"), E_HANDLE_);
    EXPECT_EQ(lib.SetData(a, 0, 0, "n", "v"), E_HANDLE_);
    EXPECT_EQ(lib.Validate(0xDEADBEEF, "x"), E_HANDLE_);
    EXPECT_EQ(lib.Construct(a, &out.length, out.buf()), E_HANDLE_);
    // Missing out places.
    EXPECT_EQ(lib.GetScheme(b, nullptr, out.buf()), E_POINTER_);
    EXPECT_EQ(lib.GetScheme(b, &out.length, nullptr), E_POINTER_);
    char* none = nullptr;
    EXPECT_EQ(lib.GetSeed(b, &out.length, &none), E_POINTER_);
    lib.Release(b);
}

TEST_F(Library, CountedBufferCutsWithoutErrorAndLeavesAbsentValuesAlone)
{
    Login login;
    Lib& lib = Lib::Get();
    const std::string big(300, 'v');
    login.Request({{"PutVOContent", ""}, {"content", big}});

    OutText out(256);
    ASSERT_EQ(lib.GetData(login.h, 1, nullptr, &out.length, out.buf()), kOk);
    EXPECT_EQ(out.length, 256);
    EXPECT_EQ(std::string(out.bytes.data(), 256), std::string(256, 'v'));
    EXPECT_EQ(out.bytes[256], '\0');
    EXPECT_EQ(out.bytes[257], '#');

    // A slot filled but not yet used holds no converted value.
    ASSERT_EQ(lib.SetData(login.h, 0, 0, "GetLogs", ""), kOk);
    OutText before(64);
    int32_t kind = -1;
    EXPECT_EQ(lib.GetData(login.h, 0, &kind, &before.length, before.buf()), kOk);
    EXPECT_EQ(before.length, 0);
    EXPECT_TRUE(before.untouched());
    EXPECT_EQ(kind, 0);
    OutText beyond(64);
    EXPECT_EQ(lib.GetData(login.h, 1, nullptr, &beyond.length, beyond.buf()), E_INVALIDARG_);
    EXPECT_EQ(lib.GetData(login.h, -1, nullptr, &beyond.length, beyond.buf()), E_INVALIDARG_);
    EXPECT_TRUE(beyond.untouched());
    EXPECT_EQ(beyond.length, 64);

    // Items: other names are refused; an absent opaque value reads as length 0.
    OutText item(64);
    EXPECT_EQ(lib.GetItem(login.h, "Other", &item.length, item.buf()), E_UNEXPECTED_);
    EXPECT_TRUE(item.untouched());
    EXPECT_EQ(lib.SetItem(login.h, "sessionkey", "x"), E_UNEXPECTED_);
    EXPECT_EQ(lib.SetItem(login.h, nullptr, "x"), E_UNEXPECTED_);
    EXPECT_EQ(lib.SetItem(login.h, "Opaque", nullptr), kOk);
    EXPECT_EQ(lib.GetItem(login.h, "Opaque", &item.length, item.buf()), kOk);
    EXPECT_EQ(item.length, 0);
    EXPECT_TRUE(item.untouched());
    // ... and the token then ends in ":".
    const std::string token = login.Request({{"GetLogs", ""}});
    EXPECT_EQ(token.back(), ':');
}

TEST_F(Library, SlotsAreFilledStrictlyInOrder)
{
    Login login;
    Lib& lib = Lib::Get();
    ASSERT_EQ(lib.SetData(login.h, 0, 0, "a", "1"), kOk);
    EXPECT_EQ(lib.SetData(login.h, 2, 0, "c", "3"), E_INVALIDARG_);
    OutText out(16);
    EXPECT_EQ(lib.GetData(login.h, 1, nullptr, &out.length, out.buf()), E_INVALIDARG_);
    ASSERT_EQ(lib.SetData(login.h, 1, 0, "b", "2"), kOk);
    ASSERT_EQ(lib.SetData(login.h, 2, 0, "c", "3"), kOk);
    // Index 0 starts a new list of one.
    ASSERT_EQ(lib.SetData(login.h, 0, 0, "z", "9"), kOk);
    EXPECT_EQ(lib.GetData(login.h, 1, nullptr, &out.length, out.buf()), E_INVALIDARG_);
}

TEST_F(Library, RecordsDescribeEachSlotsKindAndPlainLength)
{
    Login login;
    Lib& lib = Lib::Get();
    // Two kind-0 slots give 32 zeros.
    const std::string plain = login.Request({{"GetLogs", ""}, {"logID", "1"}});
    const std::string inner = InnerText(login.h, plain);
    EXPECT_EQ(inner.substr(inner.rfind(':') + 1), std::string(32, '0'));
    // A kind-1 slot of 3 characters: kind 1, plain length 8.
    ASSERT_EQ(lib.SetData(login.h, 0, 1, "note", "abc"), kOk);
    const std::string packed = Call(lib.Construct, login.h);
    const std::string inner1 = InnerText(login.h, packed);
    EXPECT_EQ(inner1.substr(inner1.rfind(':') + 1), "0100000008000000");
    // The slot now reads as the Base64 text that went into the token.
    const std::string wire = login.Slot(0);
    EXPECT_EQ(wire, TextToUtf8(Base64Encode(CompressBytes(Utf16Bytes(u"abc", true)))));
    // With no slots the inner text ends in ":".
    TesselTokenHandle fresh = 0;
    ASSERT_EQ(lib.Acquire("", &fresh), kOk);
    const std::string seed = Call(lib.GetSeed, fresh, 255);
    lib.SetSeed(fresh, seed.c_str());
    ServerSession server(std::nullopt, Utf8ToText(seed), u"");
    lib.SetItem(fresh, "SessionKey", TextToUtf8(server.WrappedSessionKey()).c_str());
    const std::string empty = Call(lib.Construct, fresh);
    EXPECT_EQ(InnerText(fresh, empty).back(), ':');
    // A reply with an empty record list validates against no slots.
    const RequestStamp stamp = server.ValidateRequest(Utf8ToText(empty), {});
    EXPECT_EQ(lib.Validate(fresh, TextToUtf8(server.BuildReply(stamp, {}).token).c_str()), kOk);
    lib.Release(fresh);
}

TEST_F(Library, RepliesAreTiedToTheLastRequest)
{
    Login login;
    Lib& lib = Lib::Get();
    const std::vector<std::pair<std::string, std::string>> req = {{"GetLogs", ""}};
    const std::string first = login.Request(req);
    const RequestStamp s1 = login.server->ValidateRequest(Utf8ToText(first), Login::Wire(req));
    const ReplyToken r1 = login.server->BuildReply(s1, ResultSlots("GetLogs", "one", TOKEN_DATA_PLAIN));
    EXPECT_EQ(login.Reply("GetLogs", r1), kOk);
    EXPECT_EQ(login.Reply("GetLogs", r1), kOk);  // validating again changes nothing

    // A second request: different nonce and time stamp; the first reply no longer fits.
    const std::string second = login.Request(req);
    EXPECT_NE(InnerText(login.h, first).substr(0, 40), InnerText(login.h, second).substr(0, 40));
    EXPECT_EQ(login.Reply("GetLogs", r1), E_FAIL_);
    const RequestStamp s2 = login.server->ValidateRequest(Utf8ToText(second), Login::Wire(req));
    EXPECT_EQ(login.Reply("GetLogs", login.server->BuildReply(s2, ResultSlots("GetLogs", "two", 0))), kOk);
    EXPECT_EQ(login.Slot(1), "two");

    // A reply whose data differs from what was hashed.
    const ReplyToken r2 = login.server->BuildReply(s2, ResultSlots("GetLogs", "two", 0));
    EXPECT_EQ(lib.SetData(login.h, 0, 0, "GetLogs", ""), kOk);
    EXPECT_EQ(lib.SetData(login.h, 1, 0, "result", "tw0"), kOk);
    EXPECT_EQ(lib.Validate(login.h, TextToUtf8(r2.token).c_str()), E_FAIL_);
    // One slot too many for the records.
    EXPECT_EQ(lib.SetData(login.h, 0, 0, "GetLogs", ""), kOk);
    EXPECT_EQ(lib.SetData(login.h, 1, 0, "result", "two"), kOk);
    EXPECT_EQ(lib.SetData(login.h, 2, 0, "reskey", ""), kOk);
    EXPECT_EQ(lib.Validate(login.h, TextToUtf8(r2.token).c_str()), E_FAIL_);
    // A reply refused part-way through its slots leaves nothing behind for the next one.
    const ReplyToken r3 = login.server->BuildReply(s2, ResultSlots("GetLogs", "three", TOKEN_DATA_ENCRYPTED));
    EXPECT_EQ(lib.SetData(login.h, 0, 0, "GetLogs", ""), kOk);
    EXPECT_EQ(lib.SetData(login.h, 1, 0, "result", "not the cipher text of a result"), kOk);
    EXPECT_NE(lib.Validate(login.h, TextToUtf8(r3.token).c_str()), kOk);
    EXPECT_EQ(login.Reply("GetLogs", r3), kOk);
    EXPECT_EQ(login.Slot(1), "three");
    // The server refuses the replayed request.
    EXPECT_THROW(login.server->ValidateRequest(Utf8ToText(second), Login::Wire(req)), TokenRejected);
}

// Sessions sharing the kept compressed results send a long result exactly as
// a session that compresses it anew; a result changed in one character, or
// one pushed out of the kept ones, is compressed anew.
TEST_F(Library, KeptCompressedResultsGoOnTheWireAsFreshOnes)
{
    auto kept = std::make_shared<CompressedResults>(30000, 1000);  // room for two results of 6,000 characters
    ServerOptions sharing;
    sharing.compressedResults = kept;
    Login alone, first("", sharing), second("", sharing);
    // The reply to one GetVOContent request, checked by the client and read back.
    const auto replyOf = [](Login& login, const std::string& content, std::uint32_t kind) {
        const std::vector<std::pair<std::string, std::string>> req = {{"GetVOContent", ""}};
        const RequestStamp stamp = login.server->ValidateRequest(Utf8ToText(login.Request(req)), Login::Wire(req));
        const ReplyToken reply = login.server->BuildReply(stamp, ResultSlots("GetVOContent", content, kind));
        EXPECT_EQ(login.Reply("GetVOContent", reply), kOk) << "kind " << kind << ", " << content.size() << " bytes";
        EXPECT_TRUE(login.Slot(1) == content) << "kind " << kind << ", " << content.size() << " bytes";
        return reply.wireValues.at(1).value_or(u"");
    };
    std::string content = std::string(6000, 'k') + "\xC3\xBC";
    const Text anew = Base64Encode(CompressBytes(Utf16Bytes(Utf8ToText(content), true)));
    EXPECT_EQ(replyOf(alone, content, TOKEN_DATA_COMPRESSED), anew);
    EXPECT_EQ(replyOf(first, content, TOKEN_DATA_COMPRESSED), anew);
    EXPECT_EQ(replyOf(second, content, TOKEN_DATA_COMPRESSED), anew);
    EXPECT_EQ(kept->Kept(), 1u);

    content[3000] = 'x';  // the same length, one character apart
    EXPECT_EQ(replyOf(first, content, TOKEN_DATA_COMPRESSED),
              Base64Encode(CompressBytes(Utf16Bytes(Utf8ToText(content), true))));
    EXPECT_EQ(kept->Kept(), 2u);
    replyOf(first, "short enough to compress each time", TOKEN_DATA_COMPRESSED);
    EXPECT_EQ(kept->Kept(), 2u);
    // A third long result pushes out the one used longest ago.
    replyOf(first, std::string(6000, 'z'), TOKEN_DATA_COMPRESSED);
    EXPECT_EQ(kept->Kept(), 2u);
    content[3000] = 'k';
    EXPECT_EQ(replyOf(second, content, TOKEN_DATA_COMPRESSED), anew);
}

TEST_F(Library, FailureCodes)
{
    Login login;
    Lib& lib = Lib::Get();
    EXPECT_EQ(lib.SetSeed(login.h, "abc"), E_INVALIDARG_);
    EXPECT_EQ(lib.SetSeed(login.h, ""), E_INVALIDARG_);
    EXPECT_EQ(lib.SetSeed(login.h, nullptr), E_INVALIDARG_);
    EXPECT_EQ(lib.SetSeed(login.h, ":x;y"), E_INVALIDARG_);
    EXPECT_EQ(lib.Validate(login.h, ""), E_INVALIDARG_);
    EXPECT_EQ(lib.Validate(login.h, nullptr), E_INVALIDARG_);
    // A token that is no cipher text: the provider's code.
    EXPECT_EQ(lib.Validate(login.h, "AAAA"), static_cast<TesselHResult>(0x80090005u));

    const std::vector<std::pair<std::string, std::string>> req = {{"GetVOContent", ""}};
    const std::string token = login.Request(req);
    const RequestStamp stamp = login.server->ValidateRequest(Utf8ToText(token), Login::Wire(req));
    // A kind-3 reply is not supported.
    const ReplyToken k3 = login.server->BuildReply(stamp, ResultSlots("GetVOContent", "x", 3));
    EXPECT_EQ(login.Reply("GetVOContent", k3), E_NOTIMPL_);

    // A compressed result whose record claims a plain length too short for it
    // (zlib's buffer error), and one that is not zlib data at all.
    const Text packed = Base64Encode(CompressBytes(Utf16Bytes(u"hello hello hello", true)));
    EXPECT_EQ(ForgedReply(login, token, "GetVOContent", packed, "0100000008000000"), E_OUTOFMEMORY_);
    EXPECT_EQ(ForgedReply(login, token, "GetVOContent", u"bm90IHpsaWI=", "0100000024000000"), E_INVALIDARG_);
    // A record that claims more than any stream of that size can hold.
    EXPECT_EQ(ForgedReply(login, token, "GetVOContent", packed, "01000000FFFFFF7F"), E_INVALIDARG_);
    // The forger itself is right: the true length validates.
    EXPECT_EQ(ForgedReply(login, token, "GetVOContent", packed, "0100000024000000"), kOk);
    EXPECT_EQ(login.Slot(1), "hello hello hello");

    // Without a session key nothing can be built.
    TesselTokenHandle bare = 0;
    ASSERT_EQ(lib.Acquire("", &bare), kOk);
    OutText out(64);
    EXPECT_EQ(lib.Construct(bare, &out.length, out.buf()), E_INVALIDARG_);
    EXPECT_TRUE(out.untouched());
    EXPECT_EQ(lib.SetItem(bare, "SessionKey", "bm90IGEga2V5IGJsb2I="), static_cast<TesselHResult>(0x80090005u));
    lib.Release(bare);
}

TEST_F(Library, HandlersOnSeveralThreads)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            Login login;
            for (int i = 0; i < 25; ++i) {
                const std::vector<std::pair<std::string, std::string>> req = {{"GetLogs", ""},
                                                                              {"logID", std::to_string(t * 100 + i)}};
                const std::string token = login.Request(req);
                try {
                    const RequestStamp s = login.server->ValidateRequest(Utf8ToText(token), Login::Wire(req));
                    const std::string result = "r" + std::to_string(t) + "-" + std::to_string(i);
                    if (login.Reply("GetLogs", login.server->BuildReply(s, ResultSlots("GetLogs", result, i % 3))) !=
                            kOk ||
                        login.Slot(1) != result)
                        ++failures;
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    }
    // Meanwhile, handles appear and vanish on another thread.
    threads.emplace_back([] {
        for (int i = 0; i < 50; ++i) {
            TesselTokenHandle h = 0;
            Lib::Get().Acquire("", &h);
            Lib::Get().Release(h);
        }
    });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(Library, TheInspectorExplainsEachForgedReplyByTheCheckItFails)
{
    Login login;
    const std::string request = login.Request({{"GetVOContent", ""}});
    const inspect::Session session{login.scheme, login.seed, TextToUtf8(login.server->WrappedSessionKey()),
                                   "OPAQUE-42"};
    const auto inspectReply = [&](const Text& wire, const std::string& record, bool rightProof = true) {
        const std::string reply = ForgedToken(login, request, "GetVOContent", wire, record, rightProof);
        return inspect::Inspect(session, request, {{"GetVOContent", ""}}, reply,
                                {{"GetVOContent", ""}, {"result", TextToUtf8(wire)}});
    };
    const Text packed = Base64Encode(CompressBytes(Utf16Bytes(u"hello hello hello", true)));

    inspect::Inspection in = inspectReply(packed, "0100000024000000");
    EXPECT_EQ(in.request.reached, inspect::Check::Done) << in.request.problem;
    ASSERT_EQ(in.reply.reached, inspect::Check::Done) << in.reply.problem;
    ASSERT_EQ(in.reply.records.size(), 2u);
    EXPECT_EQ(in.reply.records[1].kind, 1u);
    EXPECT_EQ(in.reply.records[1].plainLength, 36u);
    EXPECT_EQ(in.reply.records[1].converted, "hello hello hello");

    in = inspectReply(packed, "0100000008000000");  // a claimed length too small for the data
    EXPECT_EQ(in.reply.failedCheck, "a record cannot be decoded");
    EXPECT_EQ(in.reply.problem, "record 1 (\"result\", compressed, " + std::to_string(packed.size()) +
                                    " characters) cannot be decoded: its claimed plain length of 8 bytes is not what "
                                    "the data holds (0x8007000E)");
    in = inspectReply(packed, "01000000FFFFFF7F");  // a claim no stream of that size holds
    EXPECT_NE(in.reply.problem.find("its claimed plain length of 2147483647 bytes"), std::string::npos)
        << in.reply.problem;
    in = inspectReply(u"eA==", "0300000000000000");
    EXPECT_NE(in.reply.problem.find("the library does not take compressed and encrypted in a reply (0x80004001)"),
              std::string::npos)
        << in.reply.problem;
    in = inspectReply(packed, "0100000024000000", false);
    EXPECT_EQ(in.reply.failedCheck, "nonce proof differs");
    EXPECT_EQ(in.reply.problem, "the nonce proof " + in.reply.nonceProof +
                                    " is not the proof of the request's nonce: " + in.reply.expectedProof);
    in = inspectReply(packed, "01000000240000000000000000000000");
    EXPECT_EQ(in.reply.failedCheck, "record count differs");
    EXPECT_EQ(in.reply.problem, "the reply token carries 3 records (48 hexadecimal digits) for 2 slots");
}

TEST_F(Library, RepliesClaimingHugePlainLengthsAreRefusedBeforeAnythingIsAllocated)
{
    Login login;
    const std::string token = login.Request({{"GetVOContent", ""}});
    const Text wire = StoredZeros(kBigStream);
    const long peakBefore = PeakRssMiB();
    // 0xFFFFFFFF once wrapped the text's size to 0; 0xFFFFFFFE made a 4 GiB block.
    for (const std::uint32_t claim : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x10000001u})
        EXPECT_EQ(ForgedReply(login, token, "GetVOContent", wire, Record(1, claim)), E_INVALIDARG_) << claim;
    EXPECT_LT(PeakRssMiB() - peakBefore, 512);
    // The same stream with its true length is taken: the refusal is the claim's.
    EXPECT_EQ(ForgedReply(login, token, "GetVOContent", wire, Record(1, kBigStream)), kOk);
    EXPECT_EQ(login.Slot(1), "");  // zeros: the text ends at once
}

TEST_F(Library, RequestsClaimingHugePlainLengthsAreRefusedByTheServer)
{
    Login login;
    const ByteBuffer stored = Base64Decode(StoredZeros(kBigStream));
    CryptKey session = SessionKeyOf(login.h);
    // Kind 1 carries the stream as it is, kind 3 encrypted with the session key.
    const Text wire[2] = {Base64Encode(stored), Base64Encode(session.Encrypt(stored))};
    const long peakBefore = PeakRssMiB();
    for (const std::uint32_t kind : {1u, 3u}) {
        const std::vector<WireSlot> slots = {{u"PutVOContent", Text()}, {u"content", wire[kind / 2]}};
        for (const std::uint32_t claim : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x10000001u}) {
            const std::string records = Record(0, 0) + Record(kind, claim);
            try {
                login.server->ValidateRequest(Utf8ToText(ForgedRequest(login, slots, records)), slots);
                ADD_FAILURE() << "a claim of " << claim << " in kind " << kind << " was taken";
            } catch (const TokenRejected& e) {
                // Refused by the claim itself: the request's cap on what its
                // items inflate to, or the library's ceiling on one item.
                const std::string why = e.what();
                EXPECT_TRUE(why.find("claims a plain length of " + std::to_string(claim)) != std::string::npos ||
                            why.find("would inflate to " + std::to_string(claim) + " bytes") != std::string::npos)
                    << why;
            }
        }
        // The forger is right: the true length is taken.
        std::vector<OptText> values;
        login.server->ValidateRequest(Utf8ToText(ForgedRequest(login, slots, Record(0, 0) + Record(kind, kBigStream))),
                                      slots, &values);
        EXPECT_EQ(values.at(1), Text());
    }
    EXPECT_LT(PeakRssMiB() - peakBefore, 512);
}

TEST_F(Library, TheServerRefusesATokenWithAnythingAfterItsInnerText)
{
    Login login;
    const std::vector<WireSlot> slots = {{u"GetLog", Text()}, {u"logID", u"1"}};
    const std::string records = Record(0, 0) + Record(0, 0);
    const auto refusal = [&](const std::string& records, const std::string& tail) -> std::string {
        try {
            login.server->ValidateRequest(Utf8ToText(ForgedRequest(login, slots, records, tail)), slots);
            return "(accepted)";
        } catch (const TokenRejected& e) {
            return e.what();
        }
    };
    // The client's own token, and the inner text without its NUL.
    const std::string token = login.Request({{"GetLog", ""}, {"logID", "1"}});
    EXPECT_NO_THROW(login.server->ValidateRequest(Utf8ToText(token), slots));
    EXPECT_EQ(refusal(records, ""), "(accepted)");
    // Anything after the NUL: the token doubled, another NUL, a byte.
    const std::string inner = InnerText(login.h, token);
    for (const std::string& after : {inner, std::string(1, '\0'), std::string("x"), std::string(40, '\0')})
        EXPECT_NE(refusal(records, std::string(1, '\0') + after).find("after its inner text"), std::string::npos);
    // Anything after the records: a digit, a letter, another field.
    EXPECT_NE(refusal(records + "0", std::string(1, '\0')).find("describes 2 data items and 1 more digits"),
              std::string::npos);
    EXPECT_NE(refusal(records.substr(1) + "x", std::string(1, '\0')).find("not hexadecimal"), std::string::npos);
    EXPECT_NE(refusal(records + ":" + records, std::string(1, '\0')).find("is not nonce:time:hash:records"),
              std::string::npos);
}

TEST_F(Library, ADamagedKeyFileDoesNotStopTheNextLogin)
{
    {
        Login first;
        ASSERT_FALSE(first.seed.empty());
    }
    int damaged = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.keys()))
        if (e.path().extension() == ".key" && ++damaged)
            std::ofstream(e.path(), std::ios::trunc) << "a half-written key file";
    ASSERT_EQ(damaged, 1);

    Login login;
    const std::vector<std::pair<std::string, std::string>> req = {{"GetLogs", ""}};
    const std::string token = login.Request(req);
    const RequestStamp stamp = login.server->ValidateRequest(Utf8ToText(token), Login::Wire(req));
    EXPECT_EQ(login.Reply("GetLogs", login.server->BuildReply(stamp, ResultSlots("GetLogs", "after", 0))), kOk);
    EXPECT_EQ(login.Slot(1), "after");
}

TEST_F(Library, ASeedWhosePublicKeyCannotWrapTheSessionKeyIsRefused)
{
    Login login;
    const std::string stampPart = login.seed.substr(0, login.seed.find(';') + 1);
    // Public key blobs that import but cannot encrypt (a 512-bit key whose
    // modulus is short and ends in other data), as a fuzzer sent them, and one
    // that claims more modulus than it carries.
    const std::vector<std::string> keys = {
        "BgIAAACkAABSU0ExAAIAAAEAqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqACkAABSU0ExAAIAAAEAqqqqqqqqqqqq"
        "qqqqqqqqqqqqqqqqqqqqqqqqqqAQA=",
        "BgIAAACkAABSU0ExAAIAAAEAAQA=",
    };
    for (const std::string& key : keys) {
        try {
            ServerSession session(Utf8ToText(login.scheme), Utf8ToText(stampPart + key), u"OPAQUE");
            ADD_FAILURE() << "a session was opened with the key " << key;
        } catch (const TokenRejected& e) {
            const std::string why = e.what();
            EXPECT_TRUE(why.find("public key") != std::string::npos) << why;
        }
    }
}
