#pragma once
// Manual-reset events known system-wide by name: every process that opens
// the same name shares one event, and opening an existing event keeps its
// state. An event with an empty name belongs to this process alone.

#include <memory>
#include <string>

#include "platform/error.h"

namespace platform {

enum class WaitResult { Signalled, TimedOut, Failed };

class NamedEvent {
 public:
  // Creates the event, non-signalled, or opens the existing one of that
  // name.
  static Result<std::shared_ptr<NamedEvent>> Open(const std::string& name);

  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  bool Set();
  bool Reset();
  // Waits until the event is signalled or timeoutMs have passed.
  WaitResult Wait(unsigned timeoutMs);

  struct Impl;
  explicit NamedEvent(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
