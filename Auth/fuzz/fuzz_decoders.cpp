// libFuzzer target: every decoder of the token library on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Crypt.h"
#include "FuzzSupport.h"
#include "TesselMAC.h"
#include "TokenCodecs.h"

using namespace tessel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool home = (fuzz::UseTemporaryKeyHome("tessel-fuzz-decoders"), true);
    (void)home;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Text text = Utf8ToText(bytes);
    (void)TextToUtf8(text);
    (void)HexDecode(text);
    const ByteBuffer decoded = Base64Decode(text);
    // The first four bytes claim a plain length, as a record does.
    const std::uint32_t claim = size >= 4 ? data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24)
                                          : static_cast<std::uint32_t>(size * 4);
    for (const std::uint32_t expected : {static_cast<std::uint32_t>(size * 4), claim}) {
        try {
            (void)DecompressBytes(decoded, expected);
            (void)DecompressText(decoded, expected);
        } catch (const ZlibError&) {
        } catch (const LengthRefused&) {
        }
    }
    (void)SplitAtFirst(text, u':');
    (void)FromSingleByte(data, static_cast<std::uint32_t>(size));
    (void)ParseScheme(text);

    // Key blobs and tokens through a handler.
    static const CryptProvider provider = CryptProvider::AcquireProviderContext(
        std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    try {
        (void)provider.ImportKey(data, static_cast<std::uint32_t>(size), 0, nullptr);
    } catch (const HResultError&) {
    }
    static const auto handler = CreateTokenHandler(std::nullopt);
    try {
        handler->SetTokenSeed(text);
    } catch (const HResultError&) {
    }
    try {
        handler->ValidateToken(text);
    } catch (const HResultError&) {
    }
    return 0;
}
