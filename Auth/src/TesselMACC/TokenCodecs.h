// The token library's own encodings: they fix the exact text of seeds and
// tokens, so a peer can parse them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ByteBuffer.h"
#include "RaiseHResult.h"

namespace tessel {

// Texts are UTF-16; an absent text is distinct from an empty one.
using Text = std::u16string;
using OptText = std::optional<std::u16string>;

// Raised by CompressBytes/DecompressBytes: the zlib code, a negative integer.
struct ZlibError {
    int code;
};

// The most bytes one block of token data may have: a slot's plain value, a
// decoded Base64 or hexadecimal field, a value's UTF-16 bytes. 256 MiB is four
// times the largest reply the SOAP transport accepts (64 MiB of UTF-8 text is
// at most 128 MiB of UTF-16), and far below where a 32-bit length wraps.
inline constexpr std::uint64_t kMaxDataBytes = std::uint64_t{256} << 20;
// zlib cannot expand a stream by more than 1032 to 1; the slack covers the
// header, the trailer and an empty stream.
inline constexpr std::uint64_t kMaxInflateRatio = 1032;
inline constexpr std::uint64_t kInflateSlack = 64;

// Raised when a length read from outside (a record's plain length, a text to
// decode or encode) is more than its data can hold or more than kMaxDataBytes.
// Nothing has been allocated for it; the library reports it as E_INVALIDARG.
class LengthRefused : public HResultError {
public:
    LengthRefused() noexcept : HResultError(kE_INVALIDARG) {}
};

// Checks, in 64-bit arithmetic, a plain length that `compressedSize` bytes of
// zlib data are said to inflate to; raises LengthRefused.
void CheckInflatedLength(std::uint64_t compressedSize, std::uint64_t plainLength);

Text HexEncode(const std::uint8_t* bytes, std::uint32_t size);
inline Text HexEncode(const ByteBuffer& b) { return HexEncode(b.data(), b.size()); }
// Appends the encoding to a text the caller is building.
void AppendHex(Text& out, const std::uint8_t* bytes, std::uint32_t size);
// Decoders take a view, a text, or an absent text that decodes to nothing.
ByteBuffer HexDecode(std::u16string_view text);
inline ByteBuffer HexDecode(const Text& text) { return HexDecode(std::u16string_view(text)); }
inline ByteBuffer HexDecode(const OptText& text) { return text ? HexDecode(*text) : ByteBuffer(); }

Text Base64Encode(const std::uint8_t* bytes, std::uint32_t size);
inline Text Base64Encode(const ByteBuffer& b) { return Base64Encode(b.data(), b.size()); }
void AppendBase64(Text& out, const std::uint8_t* bytes, std::uint32_t size);
// The encoded length of `size` bytes.
constexpr std::size_t Base64EncodedLength(std::uint32_t size) { return (std::size_t{size} + 2) / 3 * 4; }
ByteBuffer Base64Decode(std::u16string_view text);
inline ByteBuffer Base64Decode(const Text& text) { return Base64Decode(std::u16string_view(text)); }
inline ByteBuffer Base64Decode(const OptText& text) { return text ? Base64Decode(*text) : ByteBuffer(); }
// The number of bytes Base64Decode gives for a text, without decoding it.
std::uint64_t Base64DecodedLength(std::u16string_view text);
inline std::uint64_t Base64DecodedLength(const Text& text) { return Base64DecodedLength(std::u16string_view(text)); }
inline std::uint64_t Base64DecodedLength(const OptText& text) { return text ? Base64DecodedLength(*text) : 0; }

// UTC broken-down time as the time stamp formats it.
struct UtcTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
UtcTime CurrentUtcTime();
// The year, then two digits each for month, day, hour, minute and second and
// three for the milliseconds: each part as a 16-bit unsigned number, at least
// that many digits, more when it has more.
Text FormatTimestamp(const UtcTime& t);
inline Text MakeTimestamp() { return FormatTimestamp(CurrentUtcTime()); }

ByteBuffer CompressBytes(const std::uint8_t* bytes, std::uint32_t size);
inline ByteBuffer CompressBytes(const ByteBuffer& b) { return CompressBytes(b.data(), b.size()); }
// Both decompressors check the expected length with CheckInflatedLength
// before they allocate anything.
ByteBuffer DecompressBytes(const ByteBuffer& compressed, std::uint32_t expectedLength);
// DecompressBytes read as UTF-16LE text up to its terminator, without an
// intermediate block.
Text DecompressText(const ByteBuffer& compressed, std::uint32_t expectedLength);
// The output bound of CompressBytes for n input bytes.
constexpr std::uint32_t CompressBound(std::uint32_t n) { return n + (n + 12) / 1000 + 13; }

// Head and tail at the first separator; tail absent when none is found.
std::pair<OptText, OptText> SplitAtFirst(const OptText& text, char16_t separator);

// UTF-16 little-endian bytes of a value: with the two-byte terminator
// (2n + 2 bytes) or without it (2n bytes). Raises LengthRefused beyond
// kMaxDataBytes, as do SingleByteBytes, HexDecode and Base64Decode.
ByteBuffer Utf16Bytes(const Text& text, bool withTerminator);
// The text of UTF-16LE bytes up to the first terminator (or the end).
Text TextFromUtf16Bytes(const std::uint8_t* bytes, std::uint32_t size);

// Bytes of single-byte text, with or without its NUL byte.
ByteBuffer SingleByteBytes(const Text& text, bool withNul);

// Single-byte text inside the library is ASCII: other characters become '?'.
std::string ToSingleByte(const Text& text);
// Reads single-byte text up to its first NUL byte (or the end).
Text FromSingleByte(const std::uint8_t* bytes, std::uint32_t size);
inline Text FromSingleByte(std::string_view s)
{
    return FromSingleByte(reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<std::uint32_t>(s.size()));
}

// Text at the library boundary is UTF-8; malformed sequences become U+FFFD.
Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(std::u16string_view text);
// Writes the first `capacity` bytes of TextToUtf8(text) at `out` (a character
// at the cut may be split) and returns how many it wrote, without building the
// whole UTF-8 text.
std::size_t TextToUtf8Prefix(std::u16string_view text, char* out, std::size_t capacity);

}  // namespace tessel
