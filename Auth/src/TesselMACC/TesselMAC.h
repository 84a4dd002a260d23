// The token handler interface, and how a handler is made.
#pragma once

#include <cstdint>
#include <memory>

#include "RaiseHResult.h"
#include "TokenCodecs.h"

namespace tessel {

// Slot kinds of a token data slot.
inline constexpr std::uint32_t TOKEN_DATA_PLAIN = 0;
inline constexpr std::uint32_t TOKEN_DATA_COMPRESSED = 1;
inline constexpr std::uint32_t TOKEN_DATA_ENCRYPTED = 2;
inline constexpr std::uint32_t TOKEN_DATA_COMPRESSED_ENCRYPTED = 3;
// Flag of the slot flags word: the slot holds its own copies of name and value.
inline constexpr std::uint32_t TOKEN_DATA_OWN_COPIES = 0x40000000u;

inline constexpr char16_t kItemSessionKey[] = u"SessionKey";
inline constexpr char16_t kItemOpaque[] = u"Opaque";
inline constexpr char16_t kDefaultScheme[] = u"Microsoft Base Cryptographic Provider v1.0";

// Every operation returns 0 or raises its failure as an HResultError.
class TokenHandler {
public:
    virtual ~TokenHandler() = default;
    virtual HRESULT Initialize(const OptText& scheme) = 0;
    // Destroys the handler. The caller hands over its ownership: the object
    // must have been made by CreateTokenHandler and released from its owner.
    virtual HRESULT Release();
    virtual HRESULT GetTokenScheme(OptText& scheme) = 0;
    virtual HRESULT SetTokenSeed(const OptText& seed) = 0;
    virtual HRESULT GetTokenSeed(OptText& seed) = 0;
    virtual HRESULT SetTokenItem(const OptText& name, const OptText& value) = 0;
    virtual HRESULT GetTokenItem(const OptText& name, OptText& value) = 0;
    virtual HRESULT SetTokenData(std::uint32_t index, std::uint32_t flags, const OptText& name,
                                 const OptText& value) = 0;
    // kind and value may be null; a null converted place is E_POINTER.
    virtual HRESULT GetTokenData(std::uint32_t index, std::uint32_t* kind, OptText* value, OptText* converted) = 0;
    // The converted value of slot `index`, as GetTokenData gives it but
    // without a copy: valid until the handler's slots next change. kind may be
    // null; an index beyond the slots raises E_INVALIDARG.
    virtual const OptText& ConvertedData(std::uint32_t index, std::uint32_t* kind) = 0;
    virtual HRESULT ConstructToken(OptText& token) = 0;
    virtual HRESULT ValidateToken(const OptText& token) = 0;

protected:
    TokenHandler() = default;
    TokenHandler(const TokenHandler&) = delete;
    TokenHandler& operator=(const TokenHandler&) = delete;
};

class EngineEnvironment;

// The scheme's four parts with their defaults: provider, type, cipher, hash.
struct SchemeParts {
    Text provider, type, cipher, hash;
    Text Joined() const { return provider + u"," + type + u"," + cipher + u"," + hash; }
};
SchemeParts ParseScheme(const OptText& scheme);

class CryptHash;
// Feeds a text's UTF-16 bytes, without terminator, to a hash (nothing for an
// absent or empty text).
void HashTextBytes(CryptHash& hash, const OptText& text);

// Maps a raised zlib code: lack of memory or of buffer space is
// E_OUTOFMEMORY, anything else E_INVALIDARG.
HRESULT HResultFromZlib(int code) noexcept;

// Makes a ClientMACImpl and initialises it with the scheme (absent or empty:
// the base provider with every default). Raises Initialize's failure.
std::unique_ptr<TokenHandler> CreateTokenHandler(const OptText& scheme);
// The same with a given source of randomness and time (for tests).
std::unique_ptr<TokenHandler> CreateTokenHandler(const OptText& scheme, std::shared_ptr<EngineEnvironment> env);

}  // namespace tessel
