// What the fuzz targets of the token scheme share: the input read as lines, a
// key container of the process's own, and long zlib streams from short input.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TokenCodecs.h"

namespace tessel::fuzz {

// The input cut at '\n', at most `maxLines` lines; the last one runs to the end.
inline std::vector<std::string_view> Lines(const std::uint8_t* data, std::size_t size, std::size_t maxLines)
{
    std::vector<std::string_view> lines;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (lines.size() + 1 < maxLines) {
        const auto cut = rest.find('\n');
        if (cut == std::string_view::npos)
            break;
        lines.push_back(rest.substr(0, cut));
        rest.remove_prefix(cut + 1);
    }
    lines.push_back(rest);
    return lines;
}

// Points XDG_DATA_HOME at a new folder under the temporary folder, removed
// when the process exits normally.
inline void UseTemporaryKeyHome(const char* prefix)
{
    static std::string dir;
    if (!dir.empty())
        return;
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data()))
        std::abort();
    dir = tmpl;
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
}

// The largest stream "#n" makes: enough for a claim of 4 GiB to pass a check
// of the ratio alone (4 GiB / 1032 is about 4.2 MB).
inline constexpr std::size_t kMaxStoredZeros = 6u << 20;

// A line "#n" asks for n zero bytes in a stored zlib stream: a few bytes of
// input for a stream long enough to claim a huge plain length. Above 64 KiB, n
// is rounded up to a multiple of 64 KiB, so that the few long streams can be
// made once and kept; it is at most kMaxStoredZeros. nullopt for any other line.
inline std::optional<std::uint32_t> StoredZerosCount(std::string_view line)
{
    std::size_t n = 0;
    if (line.size() < 2 || line[0] != '#')
        return std::nullopt;
    const auto [end, ec] = std::from_chars(line.data() + 1, line.data() + line.size(), n);
    if (ec != std::errc() || end != line.data() + line.size())
        return std::nullopt;
    constexpr std::size_t kGrain = 64 * 1024;
    if (n > kGrain)
        n = std::min((n + kGrain - 1) / kGrain * kGrain, kMaxStoredZeros);
    return static_cast<std::uint32_t>(n);
}

// A zlib stream that stores n zero bytes without compressing them.
inline ByteBuffer StoredZeros(std::uint32_t n)
{
    const std::vector<Bytef> zeros(n);
    ByteBuffer packed(static_cast<std::uint32_t>(compressBound(n)));
    uLongf length = packed.size();
    if (compress2(packed.data(), &length, zeros.data(), n, 0) != Z_OK)
        std::abort();
    packed.Truncate(static_cast<std::uint32_t>(length));
    return packed;
}

}  // namespace tessel::fuzz
