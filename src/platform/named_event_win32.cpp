#include <windows.h>

#include "platform/named_event.h"

namespace platform {

struct NamedEvent::Impl {
  HANDLE handle = nullptr;
  ~Impl() {
    if (handle) CloseHandle(handle);
  }
};

NamedEvent::NamedEvent(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NamedEvent::~NamedEvent() = default;

Result<std::shared_ptr<NamedEvent>> NamedEvent::Open(const std::string& name) {
  // Manual reset, initially non-signalled; an existing event keeps its state.
  HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, name.empty() ? nullptr : name.c_str());
  if (!handle) {
    const long code = static_cast<long>(GetLastError());  // before any allocation below
    return Fail(SystemFailure(name.empty() ? "private event" : "event \"" + name + "\"",
                              "CreateEventA", code));
  }
  auto impl = std::make_unique<Impl>();
  impl->handle = handle;
  return std::make_shared<NamedEvent>(std::move(impl));
}

bool NamedEvent::Set() { return SetEvent(impl_->handle) != 0; }
bool NamedEvent::Reset() { return ResetEvent(impl_->handle) != 0; }

WaitResult NamedEvent::Wait(unsigned timeoutMs) {
  switch (WaitForSingleObject(impl_->handle, timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::Signalled;
    case WAIT_TIMEOUT:
      return WaitResult::TimedOut;
    default:
      return WaitResult::Failed;
  }
}

}  // namespace platform
