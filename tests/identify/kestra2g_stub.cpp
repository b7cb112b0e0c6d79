// A stand-in device library for the loader tests. Every function answers
// with something that names it, so a mix-up of functions shows. Built a
// second time with STUB_LACKS_ONE_FUNCTION, which exports one function under
// another name, and with STUB_WITHOUT_REVERT, the maker's 23 alone.
#if defined(STUB_LACKS_ONE_FUNCTION)
#define TQ640_GetApplicationInformation TQ640_GetApplicationInformation_renamed
#endif

#include <cstdio>
#include <cstring>

#include "kestra2g/include/Kestra2G.h"
#include "kestra2g/include/Kestra2GRevert.h"

namespace {

unsigned char Describe(const char* function, int32_t mode, char* info, int32_t port) {
  std::snprintf(info, 255, "%s mode=%d port=%d", function, static_cast<int>(mode),
                static_cast<int>(port));
  return 1;
}

}  // namespace

#define STUB_FAMILY(prefix, progress)                                                       \
  unsigned char K2G_CALL prefix##GetBootInformation(int32_t m, char* i, int32_t p) {        \
    return Describe(#prefix "GetBootInformation", m, i, p);                                 \
  }                                                                                         \
  unsigned char K2G_CALL prefix##GetProductInformation(int32_t m, char* i, int32_t p) {     \
    return Describe(#prefix "GetProductInformation", m, i, p);                              \
  }                                                                                         \
  unsigned char K2G_CALL prefix##GetApplicationInformation(int32_t m, char* i, int32_t p) { \
    return Describe(#prefix "GetApplicationInformation", m, i, p);                          \
  }                                                                                         \
  unsigned char K2G_CALL prefix##GetJobName(char* jobName) {                                \
    std::strcpy(jobName, #prefix "GetJobName");                                             \
    return 1;                                                                               \
  }                                                                                         \
  int32_t K2G_CALL prefix##GetProgress(void) { return progress; }

extern "C" {

STUB_FAMILY(HLX700_, 10)
STUB_FAMILY(MV5100_, 20)
STUB_FAMILY(TQ640_, 30)
STUB_FAMILY(KII_, 40)

unsigned char K2G_CALL Qarnel_InitCom(int32_t port, int32_t code) {
  return static_cast<unsigned char>(100 + port * 10 + code);
}
unsigned char K2G_CALL Qarnel_CatchBoot(int32_t port, int32_t code) {
  return static_cast<unsigned char>(200 + port * 10 + code);
}
unsigned char K2G_CALL Qarnel_DownloadMOTCF(const char* firmwarePath, int32_t port, int32_t code) {
  return static_cast<unsigned char>(std::strlen(firmwarePath) + port * 10 + code);
}
#if !defined(STUB_WITHOUT_REVERT)
unsigned char K2G_CALL Kestra2G_Revert(int32_t port, int32_t code, int32_t apply, char* previous) {
  std::snprintf(previous, 255, "Kestra2G_Revert port=%d code=%d apply=%d", static_cast<int>(port),
                static_cast<int>(code), static_cast<int>(apply));
  return 1;
}
#endif
}
