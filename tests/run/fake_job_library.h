#pragma once
// A device library for tests of the update run: scripted answers, counted
// calls, calls that can be held inside the library, and a count of calls on
// the port that overlapped another. Thread-safe.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "identify/device_library.h"

class FakeJobLibrary : public DeviceLibrary {
 public:
  enum class Query { Boot, Product, Application };

  // Identification: every query fails unless scripted.
  void Answer(DeviceFamily family, Query query, unsigned char result, std::string text) {
    std::lock_guard lock(mutex_);
    answers_[FamilyIndex(family)][static_cast<int>(query)] = {result, std::move(text)};
  }
  unsigned char GetBootInformation(DeviceFamily f, std::int32_t, char* info,
                                   std::int32_t) override {
    return Reply(f, Query::Boot, info);
  }
  unsigned char GetProductInformation(DeviceFamily f, std::int32_t, char* info,
                                      std::int32_t) override {
    return Reply(f, Query::Product, info);
  }
  unsigned char GetApplicationInformation(DeviceFamily f, std::int32_t, char* info,
                                          std::int32_t) override {
    return Reply(f, Query::Application, info);
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
    PortCall portCall(*this);
    lastPort.store(port);
    lastCode.store(code);
    int call = ++initComCalls;
    {
      std::unique_lock lock(mutex_);
      released_.wait(lock, [&] { return !holdInitCom_; });
    }
    int from = initComSucceedsAt.load();
    return from > 0 && call >= from ? 1 : 0;
  }

  // Keeps InitCom inside the call until ReleaseInitCom.
  void HoldInitCom() {
    std::lock_guard lock(mutex_);
    holdInitCom_ = true;
  }
  void ReleaseInitCom() {
    {
      std::lock_guard lock(mutex_);
      holdInitCom_ = false;
    }
    released_.notify_all();
  }

  unsigned char CatchBoot(std::int32_t port, std::int32_t code) override {
    PortCall portCall(*this);
    lastPort.store(port);
    lastCode.store(code);
    ++catchBootCalls;
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return !holdCatchBoot_; });
    return catchBootAnswer.load();
  }

  unsigned char DownloadMOTCF(const char* path, std::int32_t port, std::int32_t code) override {
    PortCall portCall(*this);
    lastPort.store(port);
    lastCode.store(code);
    std::unique_lock lock(mutex_);
    downloadedPaths_.push_back(path);
    released_.wait(lock, [&] { return !holdDownload_; });
    return downloadAnswer.load();
  }

  // Keeps DownloadMOTCF inside the call until ReleaseDownload.
  void HoldDownload() {
    std::lock_guard lock(mutex_);
    holdDownload_ = true;
  }
  void ReleaseDownload() {
    {
      std::lock_guard lock(mutex_);
      holdDownload_ = false;
    }
    released_.notify_all();
  }
  int QueryCount() const {
    std::lock_guard lock(mutex_);
    return queryCount_;
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
  // Calls on the port now in progress, and those that began while another
  // was: the program must keep the latter at zero.
  std::atomic<int> portCallsInProgress{0};
  std::atomic<int> overlappingCalls{0};

 private:
  struct PortCall {
    explicit PortCall(FakeJobLibrary& library) : library(library) {
      if (++library.portCallsInProgress > 1) ++library.overlappingCalls;
    }
    ~PortCall() { --library.portCallsInProgress; }
    FakeJobLibrary& library;
  };

  mutable std::mutex mutex_;
  std::condition_variable released_;
  unsigned char Reply(DeviceFamily family, Query query, char* info) {
    PortCall portCall(*this);
    std::lock_guard lock(mutex_);
    ++queryCount_;
    const auto& [result, text] = answers_[FamilyIndex(family)][static_cast<int>(query)];
    std::strncpy(info, text.c_str(), kInformationBufferSize - 1);
    info[kInformationBufferSize - 1] = '\0';
    return result;
  }

  std::array<std::array<std::pair<unsigned char, std::string>, 3>, kFamilyCount> answers_{};
  int queryCount_ = 0;
  bool holdCatchBoot_ = false;
  bool holdDownload_ = false;
  bool holdInitCom_ = false;
  std::string jobName_;
  std::vector<std::string> downloadedPaths_;
  std::vector<DeviceFamily> polledFamilies_;
};
