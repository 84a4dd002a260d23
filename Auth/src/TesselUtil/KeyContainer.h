// The per-user key container of the emulated provider: one file per provider
// and container under ${XDG_DATA_HOME:-$HOME/.local/share}/tessel/keys/,
// directory 0700, files 0600, written atomically (temporary file, then
// rename) under a file lock so that two processes can create it at once.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ByteBuffer.h"

namespace tessel {

class KeyContainer {
public:
    KeyContainer(const std::u16string& providerName, const std::optional<std::u16string>& containerName);

    const std::string& path() const noexcept { return path_; }

    // Each operation raises the provider's error code on failure.
    bool Exists() const;
    // CRYPT_NEWKEYSET: NTE_EXISTS when the container is already there.
    void Create() const;
    void Delete() const;
    // The stored key-exchange pair as a PRIVATEKEYBLOB; absent when the
    // container holds none. A damaged file raises NTE_KEYSET_ENTRY_BAD.
    std::optional<ByteBuffer> LoadExchangePair() const;
    void StoreExchangePair(const ByteBuffer& privateBlob) const;
    // Reads the pair, or makes one with `generate` and stores it, all under
    // the lock, so concurrent first users agree on one pair.
    ByteBuffer LoadOrCreateExchangePair(const std::function<ByteBuffer()>& generate) const;

private:
    std::string dir_;
    std::string path_;
};

// The folder that holds every container file.
std::string KeyContainerDirectory();

}  // namespace tessel
