/* Kestra2G device library: the C interface the program imports by name.
 * Every function is cdecl. Information buffers are 255 bytes, zero-filled by
 * the caller; job-name buffers are 256 bytes. Identification queries succeed
 * only on 1; the three common functions succeed on any non-zero byte.
 *
 * The first argument of the information queries (`mode`) sets the timing:
 * negative (the program passes -1) means the default, 250 ms per attempt and
 * three attempts; a positive value is the time-out per attempt in
 * milliseconds (at most 10000). The text written is at most 254 bytes and
 * always NUL-terminated.
 *
 * Each call opens the port COMn itself, exclusively, and closes it before it
 * returns. GetJobName and GetProgress answer at once from any thread, also
 * while Qarnel_DownloadMOTCF runs on another one; the progress only grows
 * during one download. */
#ifndef KESTRA2G_H
#define KESTRA2G_H

#include <stdint.h>

#if defined(_WIN32)
#define K2G_CALL __cdecl
#if defined(KESTRA2G_BUILD)
#define K2G_API __declspec(dllexport)
#else
#define K2G_API __declspec(dllimport)
#endif
#else
#define K2G_CALL
#if defined(KESTRA2G_BUILD)
#define K2G_API __attribute__((visibility("default")))
#else
#define K2G_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define K2G_FAMILY_FUNCTIONS(prefix)                                                         \
  K2G_API unsigned char K2G_CALL prefix##GetBootInformation(int32_t mode, char* info,        \
                                                            int32_t port);                   \
  K2G_API unsigned char K2G_CALL prefix##GetProductInformation(int32_t mode, char* info,     \
                                                               int32_t port);                \
  K2G_API unsigned char K2G_CALL prefix##GetApplicationInformation(int32_t mode, char* info, \
                                                                   int32_t port);            \
  K2G_API unsigned char K2G_CALL prefix##GetJobName(char* jobName);                          \
  K2G_API int32_t K2G_CALL prefix##GetProgress(void);

K2G_FAMILY_FUNCTIONS(HLX700_)
K2G_FAMILY_FUNCTIONS(MV5100_)
K2G_FAMILY_FUNCTIONS(TQ640_)
K2G_FAMILY_FUNCTIONS(KII_)

#undef K2G_FAMILY_FUNCTIONS

K2G_API unsigned char K2G_CALL Qarnel_InitCom(int32_t port, int32_t code);
K2G_API unsigned char K2G_CALL Qarnel_CatchBoot(int32_t port, int32_t code);
K2G_API unsigned char K2G_CALL Qarnel_DownloadMOTCF(const char* firmwarePath, int32_t port,
                                                    int32_t code);

#ifdef __cplusplus
}
#endif

#endif /* KESTRA2G_H */
