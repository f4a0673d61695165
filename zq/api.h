/* The calling convention of the primitives: __stdcall on Windows, as the
 * companion libraries export them. */
#ifndef NCCORE_ZQ_API_H
#define NCCORE_ZQ_API_H
#ifndef ZQAPI
#ifdef _WIN32
#define ZQAPI __stdcall
#else
#define ZQAPI
#endif
#endif
#endif
