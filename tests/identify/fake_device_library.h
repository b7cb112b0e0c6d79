#pragma once
// A scripted device library: per family and query, the result byte and the
// text written into the buffer; job calls that succeed unless told otherwise
// and can be held inside the library; every call recorded, with a count of
// port calls that overlapped another. Thread-safe.

#include <algorithm>
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

enum class Query { kBoot, kProduct, kApplication };
enum class JobCall { kInitCom, kCatchBoot, kDownload };

struct QueryCall {
  DeviceFamily family;
  Query query;
  std::int32_t mode;
  std::int32_t port;
  bool operator==(const QueryCall&) const = default;
};

class FakeDeviceLibrary : public DeviceLibrary {
 public:
  // Every query fails with an empty text unless scripted.
  void Answer(DeviceFamily family, Query query, unsigned char result, std::string text = {}) {
    std::lock_guard lock(mutex_);
    answers_[FamilyIndex(family)][static_cast<int>(query)] = {result, std::move(text), false};
  }
  // Fills all 255 bytes with the pattern repeated, leaving no NUL.
  void FillWholeBuffer(DeviceFamily family, Query query, std::string pattern) {
    std::lock_guard lock(mutex_);
    answers_[FamilyIndex(family)][static_cast<int>(query)] = {1, std::move(pattern), true};
  }
  void SetJobName(std::string name) {
    std::lock_guard lock(mutex_);
    jobName_ = std::move(name);
  }

  // Keeps the job's calls inside the library until Release.
  void Hold(JobCall job) {
    std::lock_guard lock(mutex_);
    held_[static_cast<int>(job)] = true;
  }
  void Release(JobCall job) {
    {
      std::lock_guard lock(mutex_);
      held_[static_cast<int>(job)] = false;
    }
    released_.notify_all();
  }

  std::vector<QueryCall> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> DownloadedPaths() const {
    std::lock_guard lock(mutex_);
    return downloadedPaths_;
  }
  std::vector<DeviceFamily> PolledFamilies() const {
    std::lock_guard lock(mutex_);
    return polledFamilies_;
  }

  unsigned char GetBootInformation(DeviceFamily f, std::int32_t mode, char* info,
                                   std::int32_t port) override {
    return Reply(f, Query::kBoot, mode, info, port);
  }
  unsigned char GetProductInformation(DeviceFamily f, std::int32_t mode, char* info,
                                      std::int32_t port) override {
    return Reply(f, Query::kProduct, mode, info, port);
  }
  unsigned char GetApplicationInformation(DeviceFamily f, std::int32_t mode, char* info,
                                          std::int32_t port) override {
    return Reply(f, Query::kApplication, mode, info, port);
  }
  unsigned char GetJobName(DeviceFamily family, char* jobName) override {
    std::lock_guard lock(mutex_);
    polledFamilies_.push_back(family);
    CopyText(jobName_, jobName, kJobNameBufferSize);
    return 1;
  }
  std::int32_t GetProgress(DeviceFamily) override { return progress.load(); }

  unsigned char InitCom(std::int32_t port, std::int32_t code) override {
    PortCall portCall(*this, port, code);
    const int call = ++initComCalls;
    WhileHeld(JobCall::kInitCom);
    const int from = initComSucceedsAt.load();
    return from > 0 && call >= from ? 1 : 0;
  }
  unsigned char CatchBoot(std::int32_t port, std::int32_t code) override {
    PortCall portCall(*this, port, code);
    ++catchBootCalls;
    WhileHeld(JobCall::kCatchBoot);
    return catchBootAnswer.load();
  }
  unsigned char DownloadMOTCF(const char* path, std::int32_t port, std::int32_t code) override {
    PortCall portCall(*this, port, code);
    {
      std::lock_guard lock(mutex_);
      downloadedPaths_.push_back(path);
    }
    WhileHeld(JobCall::kDownload);
    return downloadAnswer.load();
  }

  // InitCom succeeds from this call on (0: never).
  std::atomic<int> initComSucceedsAt{1};
  std::atomic<int> initComCalls{0};
  std::atomic<unsigned char> catchBootAnswer{1};
  std::atomic<int> catchBootCalls{0};
  std::atomic<unsigned char> downloadAnswer{1};
  std::atomic<std::int32_t> progress{0};
  std::atomic<std::int32_t> lastPort{0};
  std::atomic<std::int32_t> lastCode{0};
  // Set when a query found bytes in its buffer left over from an earlier call.
  std::atomic<bool> sawDirtyBuffer{false};
  // Calls on the port now in progress, and those that began while another
  // was: the program must keep the latter at zero.
  std::atomic<int> portCallsInProgress{0};
  std::atomic<int> overlappingCalls{0};

 private:
  struct ScriptedAnswer {
    unsigned char result = 0;
    std::string text;
    bool fillWholeBuffer = false;
  };
  struct PortCall {
    explicit PortCall(FakeDeviceLibrary& library) : library(library) {
      if (++library.portCallsInProgress > 1) ++library.overlappingCalls;
    }
    PortCall(FakeDeviceLibrary& library, std::int32_t port, std::int32_t code) : PortCall(library) {
      library.lastPort.store(port);
      library.lastCode.store(code);
    }
    ~PortCall() { --library.portCallsInProgress; }
    FakeDeviceLibrary& library;
  };

  // The text and a NUL, cut to fit the buffer; the bytes after it are left as
  // they were.
  static void CopyText(const std::string& text, char* buffer, int size) {
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
  }

  void WhileHeld(JobCall job) {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return !held_[static_cast<int>(job)]; });
  }

  unsigned char Reply(DeviceFamily family, Query query, std::int32_t mode, char* info,
                      std::int32_t port) {
    PortCall portCall(*this);
    std::lock_guard lock(mutex_);
    calls_.push_back({family, query, mode, port});
    if (std::any_of(info, info + kInformationBufferSize, [](char c) { return c != '\0'; }))
      sawDirtyBuffer = true;
    const ScriptedAnswer& answer = answers_[FamilyIndex(family)][static_cast<int>(query)];
    if (answer.fillWholeBuffer) {
      for (std::size_t i = 0; i < kInformationBufferSize; ++i)
        info[i] = answer.text[i % answer.text.size()];
    } else {
      // Answers that did not succeed still write, as a real library may.
      CopyText(answer.text, info, kInformationBufferSize);
    }
    return answer.result;
  }

  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::array<std::array<ScriptedAnswer, 3>, kFamilyCount> answers_{};
  std::array<bool, 3> held_{};
  std::string jobName_;
  std::vector<QueryCall> calls_;
  std::vector<std::string> downloadedPaths_;
  std::vector<DeviceFamily> polledFamilies_;
};
