// The token library's exports, bound by name as the tools bind them.
#pragma once

#include <stdexcept>
#include <string>

#include "TesselMACCDLL.h"
#include "TesselMACCLoad.h"

// The exports, bound by name.
struct Lib {
    void* so = nullptr;
    PFN_AcquireTokenHandler Acquire;
    PFN_ReleaseTokenHandler Release;
    PFN_GetTokenScheme GetScheme;
    PFN_SetTokenSeed SetSeed;
    PFN_GetTokenSeed GetSeed;
    PFN_SetTokenItem SetItem;
    PFN_GetTokenItem GetItem;
    PFN_SetTokenData SetData;
    PFN_GetTokenData GetData;
    PFN_ConstructToken Construct;
    PFN_ValidateToken Validate;

    Lib()
    {
        std::string error;
        so = TesselOpenTokenLibrary(&error);
        if (!so)
            throw std::runtime_error(error);
        Bind(Acquire, "AcquireTokenHandler");
        Bind(Release, "ReleaseTokenHandler");
        Bind(GetScheme, "GetTokenScheme");
        Bind(SetSeed, "SetTokenSeed");
        Bind(GetSeed, "GetTokenSeed");
        Bind(SetItem, "SetTokenItem");
        Bind(GetItem, "GetTokenItem");
        Bind(SetData, "SetTokenData");
        Bind(GetData, "GetTokenData");
        Bind(Construct, "ConstructToken");
        Bind(Validate, "ValidateToken");
    }
    template <typename F>
    void Bind(F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(so, name));
        if (!f)
            throw std::runtime_error(std::string("missing export ") + name);
    }
    static Lib& Get()
    {
        static Lib lib;
        return lib;
    }
};

