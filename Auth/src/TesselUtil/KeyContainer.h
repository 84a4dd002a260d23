// The per-user key container of the emulated provider: one file per provider
// and container under ${XDG_DATA_HOME:-$HOME/.local/share}/tessel/keys/,
// directory 0700, files 0600, written atomically (temporary file, then
// rename) under a file lock so that two processes can create it at once.
//
// The folder must be this user's own and closed to everyone else, and no
// file in it is reached through a link: a folder that is a link, belongs to
// another user or may be written by group or others, and a container, lock
// or temporary file that is a link, are refused with NTE_PERM before anything
// is read or written.
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
    void StoreExchangePair(const ByteBuffer& privateBlob) const;
    // Reads the pair, or makes one with `generate` and stores it, all under
    // the lock, so concurrent first users agree on one pair. A damaged file
    // (not a container, or a blob that `usable` refuses) is renamed to
    // "<file>.damaged-<UTC time>" beside the container, kept for whoever
    // wants to look at it, and replaced by a new pair.
    ByteBuffer LoadOrCreateExchangePair(const std::function<ByteBuffer()>& generate,
                                        const std::function<bool(const ByteBuffer&)>& usable) const;

private:
    std::string dir_;
    std::string name_;  // the file's name inside dir_
    std::string path_;
};

// The folder that holds every container file.
std::string KeyContainerDirectory();

}  // namespace tessel
