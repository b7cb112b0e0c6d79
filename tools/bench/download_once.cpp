// kestra2g-download-once: one download through the device library, timed.
// Built for Linux and Windows alike, so that the Windows library under wine
// and the Linux one can be compared on the same emulated line
// (tools/bench-wine-download).
//
// Usage: kestra2g-download-once FIRMWARE PORT CODE
// Prints "ok|FAILED <wall> s wall, <cpu> s CPU"; exits 0 on success.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Kestra2G.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace {

double ProcessCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](FILETIME t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kestra2g-download-once FIRMWARE PORT CODE\n");
    return 2;
  }
  const int port = std::atoi(argv[2]);
  const int code = std::atoi(argv[3]);
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  const unsigned char ok = Qarnel_DownloadMOTCF(argv[1], port, code);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%s %.3f s wall, %.3f s CPU\n", ok != 0 ? "ok" : "FAILED", wall,
              ProcessCpuSeconds() - cpu0);
  return ok != 0 ? 0 : 1;
}
