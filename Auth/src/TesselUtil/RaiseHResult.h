// Failures inside the token library travel as exceptions that carry a 32-bit
// HRESULT and nothing else; the export layer turns them back into results.
#pragma once

#include <cstdint>
#include <exception>

namespace tessel {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK_ = 0;
inline constexpr HRESULT kE_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT kE_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT kE_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kE_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT kE_HANDLE = static_cast<HRESULT>(0x80070006u);
inline constexpr HRESULT kE_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT kE_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// Cryptographic provider codes, as the platform defines them.
inline constexpr HRESULT kNTE_BAD_DATA = static_cast<HRESULT>(0x80090005u);
inline constexpr HRESULT kNTE_BAD_HASH = static_cast<HRESULT>(0x80090002u);
inline constexpr HRESULT kNTE_BAD_KEY = static_cast<HRESULT>(0x80090003u);
inline constexpr HRESULT kNTE_BAD_LEN = static_cast<HRESULT>(0x80090004u);
inline constexpr HRESULT kNTE_BAD_ALGID = static_cast<HRESULT>(0x80090008u);
inline constexpr HRESULT kNTE_BAD_FLAGS = static_cast<HRESULT>(0x80090009u);
inline constexpr HRESULT kNTE_BAD_TYPE = static_cast<HRESULT>(0x8009000Au);
inline constexpr HRESULT kNTE_BAD_KEY_STATE = static_cast<HRESULT>(0x8009000Bu);
inline constexpr HRESULT kNTE_BAD_HASH_STATE = static_cast<HRESULT>(0x8009000Cu);
inline constexpr HRESULT kNTE_NO_KEY = static_cast<HRESULT>(0x8009000Du);
inline constexpr HRESULT kNTE_NO_MEMORY = static_cast<HRESULT>(0x8009000Eu);
inline constexpr HRESULT kNTE_EXISTS = static_cast<HRESULT>(0x8009000Fu);
inline constexpr HRESULT kNTE_PERM = static_cast<HRESULT>(0x80090010u);
inline constexpr HRESULT kNTE_BAD_KEYSET = static_cast<HRESULT>(0x80090016u);
inline constexpr HRESULT kNTE_KEYSET_NOT_DEF = static_cast<HRESULT>(0x80090019u);
inline constexpr HRESULT kNTE_KEYSET_ENTRY_BAD = static_cast<HRESULT>(0x8009001Au);
inline constexpr HRESULT kNTE_PROV_TYPE_NO_MATCH = static_cast<HRESULT>(0x8009001Bu);
inline constexpr HRESULT kNTE_FAIL = static_cast<HRESULT>(0x80090020u);

// Plain platform error numbers that the emulated provider reports.
inline constexpr std::uint32_t kERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t kERROR_INVALID_PARAMETER = 87;

class HResultError : public std::exception {
public:
    explicit HResultError(HRESULT code) noexcept : code_(code) {}
    HRESULT code() const noexcept { return code_; }
    const char* what() const noexcept override { return "HRESULT failure"; }

private:
    HRESULT code_;
};

// Maps a platform last-error value to the HRESULT that is raised: a plain
// error number n becomes 0x80070000 | (n & 0xFFFF); an HRESULT passes
// unchanged. A failing call that reports error 0 would otherwise be raised as
// success, so it becomes E_FAIL.
HRESULT HResultFromError(std::uint32_t code) noexcept;

// Raises HResultFromError(code). The operation name is for tracing only.
[[noreturn]] void RaiseHResult(std::uint32_t code, const char* operation);

// The last operation that raised on this thread (for diagnostics in tools).
const char* LastRaisingOperation() noexcept;

}  // namespace tessel
