#include "Client/TokenLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <vector>

#include "TesselMACCDLL.h"
#include "TesselMACCLoad.h"

namespace tessel::client {

TokenLibrary::TokenLibrary(std::string fileName) : fileName_(std::move(fileName)) {}

TokenLibrary::~TokenLibrary()
{
    // The library stays loaded for the life of the program, as a tool's does:
    // handles acquired from it remain valid until the process ends.
}

void* TokenLibrary::Symbol(const char* name)
{
    if (const auto it = symbols_.find(name); it != symbols_.end())
        return it->second;
    if (!so_) {
        std::string error;
        if (fileName_ == "libTesselMACCDLL.so")
            so_ = TesselOpenTokenLibrary(&error);
        else if (!(so_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL))) {
            const char* why = dlerror();  // reading it clears it
            error = why ? why : fileName_;
        }
        if (!so_)
            throw TokenLibraryError("The token library " + fileName_ + " could not be loaded: " + error);
    }
    dlerror();
    void* sym = dlsym(so_, name);
    if (!sym)
        throw TokenLibraryError("The token library " + fileName_ + " has no function " + name + ".");
    symbols_[name] = sym;
    return sym;
}

// The buffer holds one character more than the capacity, every character NUL
// at the start, as the export writes a NUL after the text it copies.
TextOut TokenLibrary::OutText(const char* exportName, std::int32_t handle, std::int32_t capacity)
{
    using Fn = TesselHResult (*)(TesselTokenHandle, int32_t*, char**);
    const auto fn = Bind<Fn>(exportName);
    capacity = std::max<std::int32_t>(capacity, 0);
    std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1, '\0');
    char* ptr = buffer.data();
    std::int32_t length = capacity;
    TextOut out;
    out.hr = fn(static_cast<TesselTokenHandle>(handle), &length, &ptr);
    if (out.hr == 0)
        out.text.assign(buffer.data(), static_cast<std::size_t>(std::clamp<std::int32_t>(length, 0, capacity)));
    return out;
}

std::int32_t TokenLibrary::AcquireTokenHandler(const std::string& scheme, std::int32_t& handle)
{
    TesselTokenHandle h = static_cast<TesselTokenHandle>(handle);
    const std::int32_t hr = Bind<PFN_AcquireTokenHandler>("AcquireTokenHandler")(scheme.c_str(), &h);
    handle = static_cast<std::int32_t>(h);
    return hr;
}

std::int32_t TokenLibrary::ReleaseTokenHandler(std::int32_t handle)
{
    return Bind<PFN_ReleaseTokenHandler>("ReleaseTokenHandler")(static_cast<TesselTokenHandle>(handle));
}

TextOut TokenLibrary::GetTokenScheme(std::int32_t handle, std::int32_t capacity)
{
    return OutText("GetTokenScheme", handle, capacity);
}

TextOut TokenLibrary::GetTokenSeed(std::int32_t handle, std::int32_t capacity)
{
    return OutText("GetTokenSeed", handle, capacity);
}

std::int32_t TokenLibrary::SetTokenSeed(std::int32_t handle, const std::string& seed)
{
    return Bind<PFN_SetTokenSeed>("SetTokenSeed")(static_cast<TesselTokenHandle>(handle), seed.c_str());
}

std::int32_t TokenLibrary::SetTokenItem(std::int32_t handle, const std::string& name, const std::string& value)
{
    return Bind<PFN_SetTokenItem>("SetTokenItem")(static_cast<TesselTokenHandle>(handle), name.c_str(), value.c_str());
}

std::int32_t TokenLibrary::SetTokenData(std::int32_t handle, std::int32_t index, std::int32_t kind,
                                        const std::string& name, const std::string& value)
{
    return Bind<PFN_SetTokenData>("SetTokenData")(static_cast<TesselTokenHandle>(handle), index, kind, name.c_str(),
                                                  value.c_str());
}

TextOut TokenLibrary::ConstructToken(std::int32_t handle, std::int32_t capacity)
{
    return OutText("ConstructToken", handle, capacity);
}

std::int32_t TokenLibrary::ValidateToken(std::int32_t handle, const std::string& token)
{
    return Bind<PFN_ValidateToken>("ValidateToken")(static_cast<TesselTokenHandle>(handle), token.c_str());
}

SlotOut TokenLibrary::GetTokenData(std::int32_t handle, std::int32_t index, std::int32_t capacity)
{
    const auto fn = Bind<PFN_GetTokenData>("GetTokenData");
    capacity = std::max<std::int32_t>(capacity, 0);
    // The library writes into the text that is returned: a long slot is not copied again.
    SlotOut out;
    out.text.assign(static_cast<std::size_t>(capacity) + 1, '\0');
    char* ptr = out.text.data();
    std::int32_t length = capacity;
    out.hr = fn(static_cast<TesselTokenHandle>(handle), index, &out.kind, &length, &ptr);
    out.text.resize(out.hr == 0 ? static_cast<std::size_t>(std::clamp<std::int32_t>(length, 0, capacity)) : 0);
    return out;
}

}  // namespace tessel::client
