// Owning wrappers of a cryptographic provider context, a key and a hash
// object, with the operations the token engine needs. The provider is
// emulated on OpenSSL and reproduces the observable behaviour of a CryptoAPI
// RSA_FULL provider: key derivation, default key lengths, salt, cipher modes
// and padding, key blobs and error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ByteBuffer.h"
#include "RaiseHResult.h"

namespace tessel {

using ALG_ID = std::uint32_t;

inline constexpr ALG_ID CALG_MD2 = 0x8001;
inline constexpr ALG_ID CALG_MD4 = 0x8002;
inline constexpr ALG_ID CALG_MD5 = 0x8003;
inline constexpr ALG_ID CALG_SHA1 = 0x8004;
inline constexpr ALG_ID CALG_DES = 0x6601;
inline constexpr ALG_ID CALG_RC2 = 0x6602;
inline constexpr ALG_ID CALG_3DES = 0x6603;
inline constexpr ALG_ID CALG_3DES_112 = 0x6609;
inline constexpr ALG_ID CALG_RC4 = 0x6801;
inline constexpr ALG_ID CALG_RSA_SIGN = 0x2400;
inline constexpr ALG_ID CALG_RSA_KEYX = 0xA400;

inline constexpr std::uint32_t PROV_RSA_FULL = 1;
inline constexpr std::uint32_t AT_KEYEXCHANGE = 1;
inline constexpr std::uint32_t AT_SIGNATURE = 2;

inline constexpr std::uint32_t CRYPT_EXPORTABLE = 0x1;
inline constexpr std::uint32_t CRYPT_NEWKEYSET = 0x8;
inline constexpr std::uint32_t CRYPT_DELETEKEYSET = 0x10;
inline constexpr std::uint32_t CRYPT_VERIFYCONTEXT = 0xF0000000u;

inline constexpr std::uint32_t SIMPLEBLOB = 0x1;
inline constexpr std::uint32_t PUBLICKEYBLOB = 0x6;
inline constexpr std::uint32_t PRIVATEKEYBLOB = 0x7;

inline constexpr char16_t kBaseProviderName[] = u"Microsoft Base Cryptographic Provider v1.0";
inline constexpr char16_t kEnhancedProviderName[] = u"Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr char16_t kStrongProviderName[] = u"Microsoft Strong Cryptographic Provider";

// Name tables of a scheme; both compare case-insensitively and give 0 for a
// name that is not in the table.
std::uint32_t ProviderTypeFromName(std::u16string_view name);
ALG_ID AlgorithmIdFromName(std::u16string_view name);

struct ProviderState;
struct KeyState;
struct HashState;
class CryptHash;

class CryptKey {
public:
    CryptKey() noexcept;
    explicit CryptKey(std::unique_ptr<KeyState> state) noexcept;
    CryptKey(CryptKey&&) noexcept;
    CryptKey& operator=(CryptKey&&) noexcept;
    CryptKey(const CryptKey&) = delete;
    CryptKey& operator=(const CryptKey&) = delete;
    ~CryptKey();

    bool empty() const noexcept { return !state_; }
    explicit operator bool() const noexcept { return !empty(); }

    ALG_ID Algorithm() const;
    // KP_BLOCKLEN: block length in bits, 0 for a stream cipher.
    std::uint32_t BlockLength() const;
    // KP_KEYLEN: key length in bits.
    std::uint32_t KeyLength() const;
    // KP_EFFECTIVE_KEYLEN: RC2 only; raises NTE_BAD_TYPE for other keys.
    std::uint32_t EffectiveKeyLength() const;
    // KP_SALT: the salt bytes of an RC2 or RC4 key; absent for other keys.
    std::optional<ByteBuffer> Salt() const;

    ByteBuffer Export(std::uint32_t blobType, const CryptKey* exportingKey) const;
    ByteBuffer Encrypt(const std::uint8_t* data, std::uint32_t size, bool final, CryptHash* hash);
    ByteBuffer Decrypt(const std::uint8_t* data, std::uint32_t size, bool final, CryptHash* hash);
    ByteBuffer Encrypt(const ByteBuffer& b, bool final = true) { return Encrypt(b.data(), b.size(), final, nullptr); }
    ByteBuffer Decrypt(const ByteBuffer& b, bool final = true) { return Decrypt(b.data(), b.size(), final, nullptr); }

    const KeyState* state() const noexcept { return state_.get(); }

private:
    std::unique_ptr<KeyState> state_;
};

class CryptHash {
public:
    CryptHash() noexcept;
    explicit CryptHash(std::unique_ptr<HashState> state) noexcept;
    CryptHash(CryptHash&&) noexcept;
    CryptHash& operator=(CryptHash&&) noexcept;
    CryptHash(const CryptHash&) = delete;
    CryptHash& operator=(const CryptHash&) = delete;
    ~CryptHash();

    bool empty() const noexcept { return !state_; }

    void HashData(const std::uint8_t* data, std::uint32_t size);
    void HashData(const ByteBuffer& b) { HashData(b.data(), b.size()); }
    // Hashes a session key's bytes in reverse order.
    void HashSessionKey(const CryptKey& key);
    // HP_HASHVAL; finishes the hash, after which only the value can be read.
    ByteBuffer HashValue();
    // Begins again as a hash just created with the same algorithm, so that one
    // object serves message after message without a new digest context.
    void Restart();

    HashState* state() noexcept { return state_.get(); }

private:
    std::unique_ptr<HashState> state_;
};

class CryptProvider {
public:
    CryptProvider() noexcept;
    CryptProvider(CryptProvider&&) noexcept;
    CryptProvider& operator=(CryptProvider&&) noexcept;
    CryptProvider(const CryptProvider&) = delete;
    CryptProvider& operator=(const CryptProvider&) = delete;
    ~CryptProvider();

    // Opens a context on a key container (absent: the user's default
    // container). A missing container is created with CRYPT_NEWKEYSET.
    static CryptProvider AcquireProviderContext(const std::optional<std::u16string>& container,
                                                const std::optional<std::u16string>& providerName,
                                                std::uint32_t providerType, std::uint32_t flags);

    bool empty() const noexcept { return !state_; }
    const std::u16string& Name() const;

    ByteBuffer GenerateRandom(std::uint32_t length) const;
    CryptKey GenerateKey(ALG_ID algorithm, std::uint32_t flags) const;
    CryptKey DeriveKey(ALG_ID algorithm, CryptHash& hash, std::uint32_t flags) const;
    // The container's key-exchange pair, generated when it has none.
    CryptKey GetExchangeKey() const;
    CryptKey ImportKey(const std::uint8_t* blob, std::uint32_t size, std::uint32_t flags,
                       const CryptKey* unwrappingKey) const;
    CryptKey ImportKey(const ByteBuffer& blob, std::uint32_t flags, const CryptKey* unwrappingKey) const
    {
        return ImportKey(blob.data(), blob.size(), flags, unwrappingKey);
    }
    CryptHash CreateHash(ALG_ID algorithm) const;

private:
    explicit CryptProvider(std::shared_ptr<const ProviderState> state) noexcept;
    std::shared_ptr<const ProviderState> state_;
};

}  // namespace tessel
