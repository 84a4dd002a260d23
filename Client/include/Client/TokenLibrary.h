// The token library as the tools use it: loaded by name at the first token
// call, each export bound by name at its own first call, text passed in
// tool-owned buffers of a given capacity.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

namespace tessel::client {

// The library or one of its exports could not be found.
class TokenLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text an export wrote into a tool buffer: the buffer cut to the length the
// export returned. A failed call leaves nothing to use: empty text.
struct TextOut {
    std::int32_t hr = 0;
    std::string text;
};

// A slot read back: its text as above and the kind the library reported.
struct SlotOut {
    std::int32_t hr = 0;
    std::int32_t kind = 0;
    std::string text;
};

class TokenLibrary {
public:
    // `fileName` is looked up as the loader does (RUNPATH, then ../lib beside
    // the program); the tools use the default.
    explicit TokenLibrary(std::string fileName = "libTesselMACCDLL.so");
    ~TokenLibrary();
    TokenLibrary(const TokenLibrary&) = delete;
    TokenLibrary& operator=(const TokenLibrary&) = delete;

    // Each returns the export's HRESULT. The first call loads the library and
    // each export is bound at its own first call; a missing library or export
    // raises TokenLibraryError and nothing is called.
    std::int32_t AcquireTokenHandler(const std::string& scheme, std::int32_t& handle);
    std::int32_t ReleaseTokenHandler(std::int32_t handle);
    TextOut GetTokenScheme(std::int32_t handle, std::int32_t capacity);
    TextOut GetTokenSeed(std::int32_t handle, std::int32_t capacity);
    std::int32_t SetTokenSeed(std::int32_t handle, const std::string& seed);
    std::int32_t SetTokenItem(std::int32_t handle, const std::string& name, const std::string& value);
    std::int32_t SetTokenData(std::int32_t handle, std::int32_t index, std::int32_t kind, const std::string& name,
                              const std::string& value);
    TextOut ConstructToken(std::int32_t handle, std::int32_t capacity);
    std::int32_t ValidateToken(std::int32_t handle, const std::string& token);
    SlotOut GetTokenData(std::int32_t handle, std::int32_t index, std::int32_t capacity);

    bool loaded() const noexcept { return so_ != nullptr; }

private:
    void* Symbol(const char* name);
    template <typename F>
    F Bind(const char* name)
    {
        return reinterpret_cast<F>(Symbol(name));
    }
    TextOut OutText(const char* exportName, std::int32_t handle, std::int32_t capacity);

    std::string fileName_;
    void* so_ = nullptr;
    std::map<std::string, void*> symbols_;
};

}  // namespace tessel::client
