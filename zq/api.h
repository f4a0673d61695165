/* What every header of the primitives' C interface shares: the calling
 * convention (__stdcall on Windows, as the companion libraries export them)
 * and the assertion that pins a record's layout. */
#ifndef NCCORE_ZQ_API_H
#define NCCORE_ZQ_API_H
#ifndef ZQAPI
#ifdef _WIN32
#define ZQAPI __stdcall
#else
#define ZQAPI
#endif
#endif
#ifndef ZQ_STATIC_ASSERT
#ifdef __cplusplus
#define ZQ_STATIC_ASSERT static_assert
#else
#define ZQ_STATIC_ASSERT _Static_assert
#endif
#endif
#endif
