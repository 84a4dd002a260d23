/*
 * Loads libTesselMACCDLL.so by name, as the tools do: through the program's
 * RUNPATH first, then from ../lib beside the program's own folder (which is
 * where the build and an installation put it; it also covers loaders, such as
 * a sanitizer's, that do not honour the program's RUNPATH for dlopen).
 */
#ifndef TESSEL_MACC_LOAD_H
#define TESSEL_MACC_LOAD_H

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

inline void* TesselOpenTokenLibrary(std::string* error)
{
    static const char kName[] = "libTesselMACCDLL.so";
    if (void* so = dlopen(kName, RTLD_NOW | RTLD_LOCAL))
        return so;
    const char* first = dlerror();
    std::string message = first ? first : kName;
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, static_cast<std::size_t>(n));
        path = path.substr(0, path.rfind('/')) + "/../lib/" + kName;
        if (void* so = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return so;
    }
    if (error)
        *error = message;
    return nullptr;
}

#endif
