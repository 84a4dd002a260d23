/*
 * Loads libTesselMACCDLL.so by name, as the tools do: through the program's
 * RUNPATH first, then from the folders where the build and an installation
 * put it, found from the program's own folder: ../lib (the build) and
 * TESSEL_BIN_TO_LIB (an installation's folder of the kit's own, e.g.
 * ../lib/x86_64-linux-gnu/tessel-kit). The second covers loaders, such as a
 * sanitizer's, that do not honour the program's RUNPATH for dlopen.
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
        const std::string program(exe, static_cast<std::size_t>(n));
        const std::string folder = program.substr(0, program.rfind('/'));
        for (const char* way : {"../lib",
#ifdef TESSEL_BIN_TO_LIB
                                TESSEL_BIN_TO_LIB
#endif
             }) {
            const std::string path = folder + "/" + way + "/" + kName;
            if (void* so = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
                return so;
        }
    }
    if (error)
        *error = message;
    return nullptr;
}

#endif
