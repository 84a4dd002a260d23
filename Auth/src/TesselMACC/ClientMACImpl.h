// The engine behind every token handler: the client side of the message
// authentication scheme shared with the server.
#pragma once

#include <memory>
#include <vector>

#include "Crypt.h"
#include "EngineEnvironment.h"
#include "TesselMAC.h"
#include "TokenReport.h"

namespace tessel {

struct TokenDataSlot {
    std::uint32_t flags = 0;  // bits 0-15: kind
    OptText name;
    OptText value;
    OptText converted;
    std::uint32_t Kind() const { return flags & 0xFFFFu; }
};

class ClientMACImpl final : public TokenHandler {
public:
    explicit ClientMACImpl(std::shared_ptr<EngineEnvironment> env);
    ~ClientMACImpl() override;

    HRESULT Initialize(const OptText& scheme) override;
    HRESULT GetTokenScheme(OptText& scheme) override;
    HRESULT SetTokenSeed(const OptText& seed) override;
    HRESULT GetTokenSeed(OptText& seed) override;
    HRESULT SetTokenItem(const OptText& name, const OptText& value) override;
    HRESULT GetTokenItem(const OptText& name, OptText& value) override;
    HRESULT SetTokenData(std::uint32_t index, std::uint32_t flags, const OptText& name,
                         const OptText& value) override;
    HRESULT GetTokenData(std::uint32_t index, std::uint32_t* kind, OptText* value, OptText* converted) override;
    const OptText& ConvertedData(std::uint32_t index, std::uint32_t* kind) override;
    HRESULT ConstructToken(OptText& token) override;
    HRESULT ValidateToken(const OptText& token) override { return Validate(token, nullptr); }

    // ValidateToken, telling `report` (when given) what it checked.
    HRESULT Validate(const OptText& token, TokenReport* report);
    // A request token this session built, decoded into `report`, and checked
    // against the slots as they were sent (set beforehand; their kinds are
    // taken from the token's records). Raises as the engine does.
    void DecodeRequest(const OptText& token, TokenReport& report);
    // The request a reply is validated against: its nonce and time stamp.
    void ExpectReplyTo(const OptText& nonce, const OptText& timestamp);

private:
    Text Timestamp();
    std::uint32_t RandomLength(std::uint32_t mask, std::uint32_t base);
    // The hash of a token's session key and slots, begun afresh: one object
    // made at the first token and restarted for each one after it.
    CryptHash& SessionHash();
    // The session key, then each slot's name and value converted by its kind,
    // into `hash`; returns the records (kind, plain length) of the slots.
    ByteBuffer ConvertSlots(CryptHash& hash);

    std::shared_ptr<EngineEnvironment> env_;
    // Fields in the engine's order; keys are declared after the provider so
    // that they are destroyed before it.
    Text schemeText_;
    CryptProvider provider_;
    CryptKey sessionKey_;
    ALG_ID sessionHashAlg_ = 0;
    CryptHash sessionHash_;
    ALG_ID seedCipherAlg_ = 0;
    CryptKey seedKey_;
    ALG_ID seedHashAlg_ = 0;
    CryptKey peerKey_;
    OptText lastTimestamp_;
    OptText lastNonce_;
    OptText opaque_;
    std::vector<TokenDataSlot> slots_;
};

}  // namespace tessel
