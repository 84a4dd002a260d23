// An owned block of bytes with a 32-bit length: the unit of all binary data
// inside the token library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace tessel {

class ByteBuffer {
public:
    ByteBuffer() = default;
    // One allocation of exactly `size` bytes, zero-filled.
    explicit ByteBuffer(std::uint32_t size)
        : data_(size ? std::make_unique<std::uint8_t[]>(size) : nullptr), size_(size)
    {
    }
    // One allocation of `size` bytes that the caller overwrites at once.
    struct Uninitialized {};
    ByteBuffer(std::uint32_t size, Uninitialized)
        : data_(size ? std::make_unique_for_overwrite<std::uint8_t[]>(size) : nullptr), size_(size)
    {
    }
    ByteBuffer(const void* bytes, std::uint32_t size) : ByteBuffer(size, Uninitialized{})
    {
        if (size)
            std::memcpy(data_.get(), bytes, size);
    }
    static ByteBuffer FromString(std::string_view s)
    {
        return ByteBuffer(s.data(), static_cast<std::uint32_t>(s.size()));
    }

    ByteBuffer(ByteBuffer&& other) noexcept : data_(std::move(other.data_)), size_(other.size_)
    {
        other.size_ = 0;
    }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept
    {
        data_ = std::move(other.data_);
        size_ = other.size_;
        other.size_ = 0;
        return *this;
    }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    ByteBuffer Copy() const { return ByteBuffer(data_.get(), size_); }

    std::uint8_t* data() noexcept { return data_.get(); }
    const std::uint8_t* data() const noexcept { return data_.get(); }
    std::uint32_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::uint8_t& operator[](std::size_t i) noexcept { return data_[i]; }
    std::uint8_t operator[](std::size_t i) const noexcept { return data_[i]; }
    const std::uint8_t* begin() const noexcept { return data_.get(); }
    const std::uint8_t* end() const noexcept { return data_.get() + size_; }

    // Shortens the reported length; the allocation is kept.
    void Truncate(std::uint32_t size) noexcept
    {
        if (size < size_)
            size_ = size;
    }

    bool operator==(const ByteBuffer& other) const noexcept
    {
        return size_ == other.size_ && (size_ == 0 || std::memcmp(data_.get(), other.data_.get(), size_) == 0);
    }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::uint32_t size_ = 0;
};

}  // namespace tessel
