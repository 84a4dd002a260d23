/* The library's header and exports from a C program: acquire, read the
   scheme, release. Exits 0 when all went as documented. */
#include <stdio.h>
#include <string.h>

#include "TesselMACCDLL.h"

int main(void)
{
    TesselTokenHandle handle = 0;
    char text[256];
    char* buffer = text;
    int32_t length = 255;
    if (AcquireTokenHandler(NULL, &handle) != 0 || handle == 0)
        return 1;
    if (GetTokenScheme(handle, &length, &buffer) != 0)
        return 2;
    if (strcmp(text, "Microsoft Base Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_RC2,CALG_SHA1") != 0)
        return 3;
    if (ReleaseTokenHandler(handle) != 0 || ReleaseTokenHandler(0) != 0)
        return 4;
    puts(text);
    return 0;
}
