/*
 * TesselMACCDLL: message-authentication tokens for TesselService clients.
 *
 * Every function returns a 32-bit HRESULT: 0 on success, a negative code on
 * failure. Text going in is NUL-terminated UTF-8 (a null pointer is an absent
 * value, distinct from an empty text). Text coming out is copied into a
 * buffer the caller owns: on entry *length is the capacity in bytes; at most
 * that many bytes are copied, a NUL is written after them, and *length is set
 * to the number copied. The buffer must hold capacity + 1 bytes. A longer
 * result is cut without error. An absent result sets *length to 0 and leaves
 * the buffer untouched. On failure neither is touched.
 */
#ifndef TESSEL_MACC_DLL_H
#define TESSEL_MACC_DLL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TESSEL_MACC_BUILDING)
#define TESSEL_MACC_API __attribute__((visibility("default")))
#else
#define TESSEL_MACC_API
#endif

typedef int32_t TesselHResult;
typedef uint32_t TesselTokenHandle; /* 0 never names a handler */

/* Slot kinds for SetTokenData. */
#define TESSEL_TOKEN_DATA_PLAIN 0
#define TESSEL_TOKEN_DATA_COMPRESSED 1
#define TESSEL_TOKEN_DATA_ENCRYPTED 2
#define TESSEL_TOKEN_DATA_COMPRESSED_ENCRYPTED 3

TESSEL_MACC_API TesselHResult AcquireTokenHandler(const char* scheme, TesselTokenHandle* handle);
TESSEL_MACC_API TesselHResult ReleaseTokenHandler(TesselTokenHandle handle);
TESSEL_MACC_API TesselHResult GetTokenScheme(TesselTokenHandle handle, int32_t* length, char** buffer);
TESSEL_MACC_API TesselHResult SetTokenSeed(TesselTokenHandle handle, const char* seed);
TESSEL_MACC_API TesselHResult GetTokenSeed(TesselTokenHandle handle, int32_t* length, char** buffer);
TESSEL_MACC_API TesselHResult SetTokenItem(TesselTokenHandle handle, const char* name, const char* value);
TESSEL_MACC_API TesselHResult GetTokenItem(TesselTokenHandle handle, const char* name, int32_t* length,
                                           char** buffer);
TESSEL_MACC_API TesselHResult SetTokenData(TesselTokenHandle handle, int32_t index, int32_t kind, const char* name,
                                           const char* value);
TESSEL_MACC_API TesselHResult GetTokenData(TesselTokenHandle handle, int32_t index, int32_t* kind, int32_t* length,
                                           char** buffer);
TESSEL_MACC_API TesselHResult ConstructToken(TesselTokenHandle handle, int32_t* length, char** buffer);
TESSEL_MACC_API TesselHResult ValidateToken(TesselTokenHandle handle, const char* token);

/* Function pointer types, for binding the exports by name with dlsym. */
typedef TesselHResult (*PFN_AcquireTokenHandler)(const char*, TesselTokenHandle*);
typedef TesselHResult (*PFN_ReleaseTokenHandler)(TesselTokenHandle);
typedef TesselHResult (*PFN_GetTokenScheme)(TesselTokenHandle, int32_t*, char**);
typedef TesselHResult (*PFN_SetTokenSeed)(TesselTokenHandle, const char*);
typedef TesselHResult (*PFN_GetTokenSeed)(TesselTokenHandle, int32_t*, char**);
typedef TesselHResult (*PFN_SetTokenItem)(TesselTokenHandle, const char*, const char*);
typedef TesselHResult (*PFN_GetTokenItem)(TesselTokenHandle, const char*, int32_t*, char**);
typedef TesselHResult (*PFN_SetTokenData)(TesselTokenHandle, int32_t, int32_t, const char*, const char*);
typedef TesselHResult (*PFN_GetTokenData)(TesselTokenHandle, int32_t, int32_t*, int32_t*, char**);
typedef TesselHResult (*PFN_ConstructToken)(TesselTokenHandle, int32_t*, char**);
typedef TesselHResult (*PFN_ValidateToken)(TesselTokenHandle, const char*);

#ifdef __cplusplus
}
#endif

#endif
