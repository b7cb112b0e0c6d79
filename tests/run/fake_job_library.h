#pragma once
// A device library for tests of the update run: scripted answers, counted
// calls, and a catch boot that can be held inside the call. Thread-safe.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "identify/device_library.h"

class FakeJobLibrary : public DeviceLibrary {
 public:
  // Identification: every query fails unless a test overrides it.
  unsigned char GetBootInformation(DeviceFamily, std::int32_t, char* info, std::int32_t) override {
    info[0] = '\0';
    return 0;
  }
  unsigned char GetProductInformation(DeviceFamily, std::int32_t, char* info,
                                      std::int32_t) override {
    info[0] = '\0';
    return 0;
  }
  unsigned char GetApplicationInformation(DeviceFamily, std::int32_t, char* info,
                                          std::int32_t) override {
    info[0] = '\0';
    return 0;
  }

  unsigned char GetJobName(DeviceFamily family, char* jobName) override {
    std::lock_guard lock(mutex_);
    polledFamilies_.push_back(family);
    std::strncpy(jobName, jobName_.c_str(), kJobNameBufferSize - 1);
    jobName[kJobNameBufferSize - 1] = '\0';
    return 1;
  }
  std::int32_t GetProgress(DeviceFamily) override { return progress.load(); }

  // Succeeds from the initComSucceedsAt-th call on (0: never).
  unsigned char InitCom(std::int32_t port, std::int32_t code) override {
    lastPort.store(port);
    lastCode.store(code);
    int call = ++initComCalls;
    int from = initComSucceedsAt.load();
    return from > 0 && call >= from ? 1 : 0;
  }

  unsigned char CatchBoot(std::int32_t port, std::int32_t code) override {
    lastPort.store(port);
    lastCode.store(code);
    ++catchBootCalls;
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return !holdCatchBoot_; });
    return catchBootAnswer.load();
  }

  unsigned char DownloadMOTCF(const char* path, std::int32_t port, std::int32_t code) override {
    {
      std::lock_guard lock(mutex_);
      downloadedPaths_.push_back(path);
    }
    lastPort.store(port);
    lastCode.store(code);
    return downloadAnswer.load();
  }

  // Keeps CatchBoot inside the call until ReleaseCatchBoot.
  void HoldCatchBoot() {
    std::lock_guard lock(mutex_);
    holdCatchBoot_ = true;
  }
  void ReleaseCatchBoot() {
    {
      std::lock_guard lock(mutex_);
      holdCatchBoot_ = false;
    }
    released_.notify_all();
  }

  void SetJobName(std::string name) {
    std::lock_guard lock(mutex_);
    jobName_ = std::move(name);
  }
  std::vector<std::string> DownloadedPaths() const {
    std::lock_guard lock(mutex_);
    return downloadedPaths_;
  }
  std::vector<DeviceFamily> PolledFamilies() const {
    std::lock_guard lock(mutex_);
    return polledFamilies_;
  }

  std::atomic<int> initComSucceedsAt{1};
  std::atomic<int> initComCalls{0};
  std::atomic<unsigned char> catchBootAnswer{1};
  std::atomic<int> catchBootCalls{0};
  std::atomic<unsigned char> downloadAnswer{1};
  std::atomic<std::int32_t> progress{0};
  std::atomic<std::int32_t> lastPort{0};
  std::atomic<std::int32_t> lastCode{0};

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool holdCatchBoot_ = false;
  std::string jobName_;
  std::vector<std::string> downloadedPaths_;
  std::vector<DeviceFamily> polledFamilies_;
};
