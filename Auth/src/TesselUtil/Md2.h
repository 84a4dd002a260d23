// MD2 (RFC 1319). No library on this platform provides it any more, so the
// provider has its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessel {

class Md2 {
public:
    static constexpr std::size_t kDigestSize = 16;
    void Update(const std::uint8_t* data, std::size_t size) noexcept;
    std::array<std::uint8_t, kDigestSize> Final() noexcept;

private:
    void Transform(const std::uint8_t* block) noexcept;
    std::array<std::uint8_t, 48> state_{};
    std::array<std::uint8_t, 16> checksum_{};
    std::array<std::uint8_t, 16> buffer_{};
    std::size_t count_ = 0;
};

}  // namespace tessel
