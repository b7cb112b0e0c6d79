/* A stand-in Kestra2G.dll as another maker would build it: plain C, its own
 * declarations (none of ours), every function __cdecl, compiled by itself.
 * It plays an HLX700 in its boot loader. The information texts echo mode and
 * port, so a call with its arguments mixed up shows. Every result carries
 * junk above its low byte, the one byte the program reads.
 *
 * Qarnel_DownloadMOTCF reads the whole firmware file, moves its progress
 * from 0 to 100 in ten steps 100 ms apart and, when the environment names
 * REFLINT_STANDIN_COPY, writes the bytes it read to that file. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define EXPORT __declspec(dllexport)
#define JUNK 0x5A5A5A00u
#define INFO_SIZE 255

static volatile LONG progress;
static volatile LONG writing;

static unsigned int Text(char* info, const char* what, int mode, int port) {
  _snprintf(info, INFO_SIZE - 1, "%s mode %d COM%d", what, mode, port);
  return JUNK | 1u;
}

static unsigned int NoAnswer(void) { return JUNK; }

EXPORT unsigned int __cdecl HLX700_GetBootInformation(int mode, char* info, int port) {
  return Text(info, "Boot OEM 35243 stand-in", mode, port);
}
EXPORT unsigned int __cdecl HLX700_GetProductInformation(int mode, char* info, int port) {
  return Text(info, "Vantrel HLX700 stand-in", mode, port);
}
EXPORT unsigned int __cdecl HLX700_GetApplicationInformation(int mode, char* info, int port) {
  (void)mode;
  (void)port;
  strcpy(info, "App: 2.0.3");
  return JUNK | 1u;
}

/* The other families never answer. */
#define SILENT_FAMILY(prefix)                                                                     \
  EXPORT unsigned int __cdecl prefix##GetBootInformation(int mode, char* info, int port) {        \
    (void)mode, (void)info, (void)port;                                                           \
    return NoAnswer();                                                                            \
  }                                                                                               \
  EXPORT unsigned int __cdecl prefix##GetProductInformation(int mode, char* info, int port) {     \
    (void)mode, (void)info, (void)port;                                                           \
    return NoAnswer();                                                                            \
  }                                                                                               \
  EXPORT unsigned int __cdecl prefix##GetApplicationInformation(int mode, char* info, int port) { \
    (void)mode, (void)info, (void)port;                                                           \
    return NoAnswer();                                                                            \
  }                                                                                               \
  EXPORT unsigned int __cdecl prefix##GetJobName(char* jobName) {                                 \
    strcpy(jobName, #prefix);                                                                     \
    return JUNK;                                                                                  \
  }                                                                                               \
  EXPORT int __cdecl prefix##GetProgress(void) { return 0; }

SILENT_FAMILY(MV5100_)
SILENT_FAMILY(TQ640_)
SILENT_FAMILY(KII_)

EXPORT unsigned int __cdecl HLX700_GetJobName(char* jobName) {
  strcpy(jobName, InterlockedCompareExchange(&writing, 0, 0) ? "Writing the firmware" : "Idle");
  return JUNK;
}
EXPORT int __cdecl HLX700_GetProgress(void) { return InterlockedCompareExchange(&progress, 0, 0); }

/* Both answer 16 * port + code: non-zero for every real port. */
EXPORT unsigned int __cdecl Qarnel_InitCom(int port, int code) {
  return JUNK | (unsigned int)((16 * port + code) & 0xFF);
}
EXPORT unsigned int __cdecl Qarnel_CatchBoot(int port, int code) {
  return JUNK | (unsigned int)((16 * port + code) & 0xFF);
}

static int CopyTo(const char* path, const char* bytes, long size) {
  FILE* out = fopen(path, "wb");
  int ok;
  if (out == NULL) return 0;
  ok = fwrite(bytes, 1, (size_t)size, out) == (size_t)size;
  return fclose(out) == 0 && ok;
}

EXPORT unsigned int __cdecl Qarnel_DownloadMOTCF(const char* firmwarePath, int port, int code) {
  FILE* in = fopen(firmwarePath, "rb");
  char* bytes = NULL;
  long size = -1;
  int ok = 0, step;
  const char* copy = getenv("REFLINT_STANDIN_COPY");
  (void)port;
  (void)code;
  if (in == NULL) return JUNK;
  if (fseek(in, 0, SEEK_END) == 0) size = ftell(in);
  if (size >= 0 && fseek(in, 0, SEEK_SET) == 0 && (bytes = malloc((size_t)size + 1)) != NULL)
    ok = fread(bytes, 1, (size_t)size, in) == (size_t)size;
  fclose(in);

  InterlockedExchange(&progress, 0);
  InterlockedExchange(&writing, 1);
  for (step = 1; ok && step <= 10; ++step) {
    Sleep(100);
    InterlockedExchange(&progress, 10 * step);
  }
  if (ok && copy != NULL) ok = CopyTo(copy, bytes, size);
  InterlockedExchange(&writing, 0);
  free(bytes);
  return JUNK | (ok ? 1u : 0u);
}
