// fuzz_corpus_auth FOLDER: writes the seeds of the token library's fuzz
// targets, FOLDER/fuzz_decoders/* and FOLDER/fuzz_reply_validation/*. The
// committed corpus is this program's output (a test compares them).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "TokenCodecs.h"

using namespace tessel;

namespace {

std::filesystem::path root;

void Seed(const char* target, const char* name, std::string_view bytes)
{
    std::filesystem::create_directories(root / target);
    std::ofstream(root / target / name, std::ios::binary) << bytes;
}

std::string Str(const ByteBuffer& b)
{
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// UTF-16LE bytes of ASCII text with the terminator, as a value is compressed.
std::string Utf16(std::string_view ascii)
{
    return Str(Utf16Bytes(Utf8ToText(ascii), true));
}

void DecoderSeeds()
{
    const char* t = "fuzz_decoders";
    Seed(t, "base64-zlib", TextToUtf8(Base64Encode(CompressBytes(Utf16Bytes(u"hello hello hello", true)))));
    Seed(t, "hex", "00ABFF0123456789abcdefG1");
    Seed(t, "seed-text", "MDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNkZWY=:AAAAAAAAAAA=;BgIAAACkAABSU0ExAAIAAAEAAQA=");
    Seed(t, "scheme", "Microsoft Enhanced Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_3DES,CALG_MD5");
    // A PUBLICKEYBLOB of 512 bits: header, "RSA1", bit length, exponent, modulus.
    const std::string header("\x06\x02\x00\x00\x00\xA4\x00\x00RSA1\x00\x02\x00\x00\x01\x00\x01\x00", 20);
    Seed(t, "public-key-blob", header + std::string(64, '\xA5'));
    Seed(t, "utf8-mixed", "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80 \xC3 \xFF\xFE :;,");
    Seed(t, "token", "QUJDREVGR0g=:OPAQUE");
    // The first four bytes claim a plain length of 0xFFFFFFFF.
    Seed(t, "huge-claim", "\xFF\xFF\xFF\xFF" + TextToUtf8(Base64Encode(CompressBytes(Utf16Bytes(u"x", true)))));
}

void ReplySeeds()
{
    const char* t = "fuzz_reply_validation";
    Seed(t, "plain", "*:*:*:*\n\nthe result");
    Seed(t, "compressed", "*:*:*:*\n\nz:" + Utf16("a compressed result, a compressed result, a compressed result"));
    Seed(t, "encrypted", "*:*:*:*\n\ne:" + Utf16("an encrypted result"));
    Seed(t, "three-slots", "*:*:*:*\n\nz:" + Utf16("one") + "\ne:" + Utf16("two") + "\nthree");
    Seed(t, "absent-value", "*:*:*:*\n\n~");
    Seed(t, "no-slots", "*:*:*:*");
    // Stored streams of 4.3 MB whose records claim 0xFFFFFFFF and 0xFFFFFFFE
    // plain bytes, and one that claims just over the 256 MiB ceiling.
    Seed(t, "huge-claim-ffffffff", "*:*:*:000000000000000001000000FFFFFFFF\n\n#4300000");
    Seed(t, "huge-claim-fffffffe", "*:*:*:000000000000000001000000FEFFFFFF\n\n#4300000");
    Seed(t, "claim-over-ceiling", "*:*:*:00000000000000000100000001000010\n\n#300000");
    Seed(t, "claim-too-short", "*:*:*:00000000000000000100000008000000\n\nz:" + Utf16("hello hello hello"));
    Seed(t, "not-zlib", "*:*:*:00000000000000000100000024000000\n\nbm90IHpsaWI=");
    Seed(t, "kind-3", "*:*:*:00000000000000000300000000000000\n\nx");
    Seed(t, "kind-7", "*:*:*:00000000000000000700000000000000\n\nx");
    Seed(t, "wrong-stamp", "*:20010628084151008:*:*\n\nx");
    Seed(t, "wrong-proof", "00:*:*:*\n\nx");
    Seed(t, "wrong-record-count", "*:*:*:000000000000000000000000000000000\n\nx\ny");
    Seed(t, "missing-fields", "*:*\n\nx");
    Seed(t, "extra-fields", "*:*:*:*:and:more\n\nx");
    Seed(t, "raw-token", "!bm90IGEgdG9rZW4=:tail");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_corpus_auth FOLDER\n";
        return 2;
    }
    root = argv[1];
    DecoderSeeds();
    ReplySeeds();
    return 0;
}
