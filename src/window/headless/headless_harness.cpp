#include "window/headless/headless_harness.h"

namespace headless {

namespace {
HeadlessBackend* InstallNewBackend() {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend* installed = backend.get();
  InstallBackend(std::move(backend));
  return installed;
}
}  // namespace

HeadlessHarness::HeadlessHarness() : backend_(InstallNewBackend()), driver_(*backend_) {}

HeadlessHarness::~HeadlessHarness() {
  if (ui_.joinable()) {
    if (!Join(milliseconds(0))) backend_->AbortAll();
    backend_->StopDraining();
    ui_.join();
  }
  InstallBackend(nullptr);
}

void HeadlessHarness::Start(std::function<void()> uiMain) {
  ui_ = std::thread([this, uiMain = std::move(uiMain)] {
    backend_->BindUiThread();
    uiMain();
    backend_->MarkUiFinished();
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
      done_.notify_all();
    }
    backend_->DrainUntilStopped();
  });
}

bool HeadlessHarness::Join(milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, timeout, [this] { return finished_; });
}

bool HeadlessHarness::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

}  // namespace headless
