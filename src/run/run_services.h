#pragma once
// What one update run takes from the program around it: the device library,
// the support log, a clock, threads and events. The window's application
// object and the command line each provide it; tests provide their own.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "doctor/report.h"
#include "identify/device_library.h"
#include "platform/error.h"
#include "platform/named_event.h"
#include "platform/support_log.h"
#include "run/cthread.h"

class RunServices {
 public:
  virtual ~RunServices() = default;

  // The device library, loaded on first use; when it cannot be loaded, a
  // text for the user and the reason. Shared: a worker may outlive a run.
  virtual LibraryResult Library() = 0;

  // The support log; any thread. Tests keep theirs quiet.
  virtual platform::SupportLog& Log() { return platform::SupportLog::Discard(); }

  // Pauses the calling thread; tests shorten it.
  virtual void Sleep(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  // A new worker with its thread suspended; null when no thread can be made.
  virtual std::shared_ptr<CThread> BeginWorker() { return CThread::Begin(); }

  // The named event (empty name: a private one), or why it cannot be made.
  virtual platform::Result<std::shared_ptr<platform::NamedEvent>> OpenEvent(
      const std::string& name) {
    return platform::NamedEvent::Open(name);
  }

  // What the port doctor finds on this machine for COMn (0: no port was
  // chosen); any thread. Nothing by default: tests script their own.
  virtual std::optional<doctor::Report> ExaminePorts(std::int32_t /*port*/) { return std::nullopt; }
};
