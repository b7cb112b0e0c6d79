/* Kestra2G device library: the C interface the program imports by name.
 * Every function is cdecl (the caller removes the arguments) and exported
 * under its plain name (no _ before it, no @N after it, also in a 32-bit
 * DLL). Information buffers are 255 bytes, zero-filled by the caller;
 * job-name buffers are 256 bytes. Identification queries succeed only on 1;
 * the three common functions succeed on any non-zero byte.
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

/* The five kinds of function as types. Every declaration below uses them,
 * and the program keeps its pointers to the functions in exactly these
 * types: on 32-bit x86, where cdecl differs from the other conventions, a
 * wrong convention or argument type cannot compile. The result is one byte. */
typedef unsigned char K2G_CALL K2G_InformationFunction(int32_t mode, char* info, int32_t port);
typedef unsigned char K2G_CALL K2G_JobNameFunction(char* jobName);
typedef int32_t K2G_CALL K2G_ProgressFunction(void);
typedef unsigned char K2G_CALL K2G_PortCodeFunction(int32_t port, int32_t code);
typedef unsigned char K2G_CALL K2G_DownloadFunction(const char* firmwarePath, int32_t port,
                                                    int32_t code);

#define K2G_FAMILY_FUNCTIONS(prefix)                                 \
  K2G_API K2G_InformationFunction prefix##GetBootInformation;        \
  K2G_API K2G_InformationFunction prefix##GetProductInformation;     \
  K2G_API K2G_InformationFunction prefix##GetApplicationInformation; \
  K2G_API K2G_JobNameFunction prefix##GetJobName;                    \
  K2G_API K2G_ProgressFunction prefix##GetProgress;

K2G_FAMILY_FUNCTIONS(HLX700_)
K2G_FAMILY_FUNCTIONS(MV5100_)
K2G_FAMILY_FUNCTIONS(TQ640_)
K2G_FAMILY_FUNCTIONS(KII_)

#undef K2G_FAMILY_FUNCTIONS

K2G_API K2G_PortCodeFunction Qarnel_InitCom;
K2G_API K2G_PortCodeFunction Qarnel_CatchBoot;
K2G_API K2G_DownloadFunction Qarnel_DownloadMOTCF;

#ifdef __cplusplus
}
#endif

#endif /* KESTRA2G_H */
