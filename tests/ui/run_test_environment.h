#pragma once
// The environment of the update run tests: the shell test environment plus
// a scripted device library, a controllable sleep, and worker and event
// creation that can be refused.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "run/cthread.h"
#include "run/fake_job_library.h"
#include "ui/shell_environment.h"

inline constexpr const char* kMissingLibraryText =
    "The device library Kestra2G could not be loaded.";

class RunEnvironment : public ShellEnvironment {
 public:
  std::shared_ptr<DeviceLibrary> Library(std::string* error) override {
    if (libraryMissing.load()) {
      if (error) *error = kMissingLibraryText;
      return nullptr;
    }
    return library;
  }

  // Records the pause and runs the hook instead of sleeping.
  void Sleep(unsigned milliseconds) override {
    {
      std::lock_guard lock(mutex_);
      sleeps_.push_back(milliseconds);
    }
    if (sleepHook) sleepHook();
  }

  std::shared_ptr<CThread> BeginWorker() override {
    if (workersToRefuse.load() > 0) {
      --workersToRefuse;
      return nullptr;
    }
    std::shared_ptr<CThread> worker = CThread::Begin();
    std::lock_guard lock(mutex_);
    workers_.push_back(worker);
    return worker;
  }

  std::shared_ptr<platform::NamedEvent> OpenEvent(const std::string& name) override {
    if (eventsToRefuse.load() > 0) {
      --eventsToRefuse;
      return nullptr;
    }
    return platform::NamedEvent::Open(name);
  }

  std::vector<unsigned> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  // The most recent worker still alive, if any.
  std::shared_ptr<CThread> LastWorker() const {
    std::lock_guard lock(mutex_);
    return workers_.empty() ? nullptr : workers_.back().lock();
  }

  std::shared_ptr<FakeJobLibrary> library = std::make_shared<FakeJobLibrary>();
  std::atomic<bool> libraryMissing{false};
  std::atomic<int> workersToRefuse{0};
  std::atomic<int> eventsToRefuse{0};
  std::function<void()> sleepHook;  // set before the window opens

 private:
  mutable std::mutex mutex_;
  std::vector<unsigned> sleeps_;
  std::vector<std::weak_ptr<CThread>> workers_;
};
