// The 23 functions the program imports by name, and our own beyond them. Nothing thrown inside may
// leave through the C interface: every entry catches all and fails. A failed
// call writes its reason to the support log, the one place it can go.

#include <cstring>

#include "Kestra2G.h"
#include "Kestra2GRevert.h"
#include "kestra2g/failure.h"
#include "kestra2g/job_state.h"
#include "kestra2g/library_log.h"
#include "kestra2g/operations.h"

namespace {

using kestra2g::QueryText;
using wire::QueryKind;

template <typename F>
unsigned char Guard(const char* call, std::int32_t port, F&& f) {
  // Named before the call: a port that vanishes during it names no device after.
  const std::string where = kestra2g::PortText(port);
  kestra2g::Result<> done;
  try {
    done = f();
  } catch (...) {
    done = kestra2g::Fail(kestra2g::Cause::Internal, "exception");
  }
  if (!done) {
    // A poll that fails alike many times in a row leaves one line and a count.
    const kestra2g::Failure& failure = done.error();
    const std::string text = std::string(call) + " on " + where + " failed" +
                             (failure.stage == kestra2g::Job::Idle ? ": " : " ") +
                             kestra2g::Describe(failure);
    kestra2g::LibraryLog().Write(text, text);
  }
  return done ? 1 : 0;
}

// Information buffers hold 255 bytes: 254 of text and the NUL.
void CopyInformation(char* info, const std::string& text) {
  std::strncpy(info, text.c_str(), 254);
  info[254] = '\0';
}

// Job-name buffers hold 256 bytes; our names are far shorter.
unsigned char CopyJobName(char* jobName) {
  if (jobName == nullptr) return 0;
  const char* name = kestra2g::JobName(kestra2g::CurrentJob());
  std::strncpy(jobName, name, 255);
  jobName[255] = '\0';
  return 1;
}

}  // namespace

// Every family asks the same questions: the boot loaders share one protocol,
// which is what lets a TQ640 answer the HLX700 boot query (same boot ID) and
// the program decide from the product text.
#define K2G_DEFINE_FAMILY(prefix)                                                                \
  extern "C" K2G_API unsigned char K2G_CALL prefix##GetBootInformation(int32_t mode, char* info, \
                                                                       int32_t port) {           \
    return Guard(#prefix "GetBootInformation", port,                                             \
                 [&] { return QueryText(QueryKind::Boot, mode, info, port); });                  \
  }                                                                                              \
  extern "C" K2G_API unsigned char K2G_CALL prefix##GetProductInformation(                       \
      int32_t mode, char* info, int32_t port) {                                                  \
    return Guard(#prefix "GetProductInformation", port,                                          \
                 [&] { return QueryText(QueryKind::Product, mode, info, port); });               \
  }                                                                                              \
  extern "C" K2G_API unsigned char K2G_CALL prefix##GetApplicationInformation(                   \
      int32_t mode, char* info, int32_t port) {                                                  \
    return Guard(#prefix "GetApplicationInformation", port,                                      \
                 [&] { return QueryText(QueryKind::Application, mode, info, port); });           \
  }                                                                                              \
  extern "C" K2G_API unsigned char K2G_CALL prefix##GetJobName(char* jobName) {                  \
    return CopyJobName(jobName);                                                                 \
  }                                                                                              \
  extern "C" K2G_API int32_t K2G_CALL prefix##GetProgress(void) {                                \
    return kestra2g::CurrentProgress();                                                          \
  }

K2G_DEFINE_FAMILY(HLX700_)
K2G_DEFINE_FAMILY(MV5100_)
K2G_DEFINE_FAMILY(TQ640_)
K2G_DEFINE_FAMILY(KII_)

extern "C" K2G_API unsigned char K2G_CALL Qarnel_InitCom(int32_t port, int32_t code) {
  return Guard("Qarnel_InitCom", port, [&] { return kestra2g::InitCom(port, code); });
}

extern "C" K2G_API unsigned char K2G_CALL Qarnel_CatchBoot(int32_t port, int32_t code) {
  return Guard("Qarnel_CatchBoot", port, [&] { return kestra2g::CatchBoot(port, code); });
}

extern "C" K2G_API unsigned char K2G_CALL Qarnel_DownloadMOTCF(const char* firmwarePath,
                                                               int32_t port, int32_t code) {
  kestra2g::LibraryLog().Write("Qarnel_DownloadMOTCF: " + kestra2g::FileNameOnly(firmwarePath) +
                               " to " + kestra2g::PortText(port) + ", device code " +
                               std::to_string(code));
  const unsigned char ok = Guard("Qarnel_DownloadMOTCF", port,
                                 [&] { return kestra2g::Download(firmwarePath, port, code); });
  if (ok) kestra2g::LibraryLog().Write("Qarnel_DownloadMOTCF: the firmware is written and started");
  return ok;
}

extern "C" K2G_API unsigned char K2G_CALL Kestra2G_Revert(int32_t port, int32_t code, int32_t apply,
                                                          char* previous) {
  return Guard("Kestra2G_Revert", port, [&]() -> kestra2g::Result<> {
    if (previous == nullptr) return kestra2g::Fail(kestra2g::Cause::BadArgument, "no buffer");
    const auto version = kestra2g::Revert(port, code, apply);
    // The caller tells the person why; the log has it too.
    CopyInformation(previous, version ? *version : kestra2g::Describe(version.error()));
    if (!version) return kestra2g::FailureOf(version);
    if (apply == 1) kestra2g::LibraryLog().Write("Kestra2G_Revert: " + *version + " runs again");
    return {};
  });
}
