/* NCCORE21: the exported operations, intSTRIStr, the version and the
 * self-test.
 *
 * Every operation: (parent window or null, option string, result buffer,
 * result buffer size in bytes) -> result code (0 = success). The result
 * buffer receives the result text, e.g. "ZQGOSB00: Операция выполнена
 * успешно", cut to the buffer. Texts are UTF-8 on Linux and code page 1251
 * on Windows. On Windows the functions use __stdcall and are exported
 * under their plain names. */
#ifndef NCCORE21_H
#define NCCORE21_H
#include <stdint.h>

#ifdef _WIN32
#define NCAPI __stdcall
#else
#define NCAPI
#endif

#if defined(NCCORE_BUILDING_LIBRARY) && !defined(_WIN32)
#define NCEXPORT __attribute__((visibility("default")))
#else
#define NCEXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

NCEXPORT int32_t NCAPI ZqDESK(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqDESF(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqGOSK(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqGOSB(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqGOSC(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqGOSP(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqGOSF(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqRSAK(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqRSAF(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqDIAP(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqDIK(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqDIF(void* parent, const char* options, char* result, int32_t resultSize);
NCEXPORT int32_t NCAPI ZqPWD(void* parent, const char* options, char* result, int32_t resultSize);

/* First position in `text` where `pattern` occurs, ASCII letters compared
 * without regard to case; null when it does not occur. */
NCEXPORT char* NCAPI intSTRIStr(const char* text, const char* pattern);

/* The library's version, build and platform, e.g.
 * "1.0.0 (build 0123abc, linux-x86_64)". */
NCEXPORT const char* NCAPI nccore21_version(void);

/* Receives one result of the self-test: the test's name, and 1 when it
 * passed, 0 when it failed. */
typedef void(NCAPI* Nccore21SelfTestReport)(void* context, const char* test, int32_t passed);

/* The power-on self-test: known answers of every primitive the library
 * ships (DES in each mode and unit size, GOST 28147-89 in each mode,
 * GOST R 34.11-94, a GOST R 34.10-94 signature check, RSA, the big-number
 * routines) and a health check of the random generator, run through the
 * same entry points the operations use. Calls `report` (unless null) once
 * per test, in order, and returns the number of tests that failed (0: all
 * passed). Takes a fraction of a second. */
NCEXPORT int32_t NCAPI nccore21_self_test(Nccore21SelfTestReport report, void* context);

#ifdef __cplusplus
}
#endif
#endif
