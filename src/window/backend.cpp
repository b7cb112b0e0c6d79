#include "window/backend.h"

#include <atomic>
#include <mutex>

namespace {

// The installed backend. Readers on any thread see it through the atomic;
// installing happens before threads use it (start-up, test set-up).
std::mutex installMutex;
std::unique_ptr<Backend> installed;
std::atomic<Backend*> current{nullptr};
std::atomic<unsigned> generation{0};

}  // namespace

void InstallBackend(std::unique_ptr<Backend> backend) {
  std::lock_guard lock(installMutex);
  current.store(backend.get());
  installed = std::move(backend);
  ++generation;
}

Backend& CurrentBackend() { return *current.load(); }

bool HasBackend() { return current.load() != nullptr; }

unsigned BackendGeneration() { return generation.load(); }
