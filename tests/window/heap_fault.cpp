// Heap faults planted for the test of scripts/wine-checked, the Windows
// builds' sanitizer: each mode is one kind the checker must report, or
// nothing it may fail on.
//   heap_fault clean | chatter | double-free | use-after-free | thread-local
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Keeps the compiler from seeing through the planted faults.
void* volatile sink;

struct Holder {
  void* owned;
};

// A thread_local with a destructor: mingw-w64's runtime destroys it on
// freed memory when its thread ends (the device library's old fault).
struct Record {
  std::string stage, cause;
};
thread_local Record record;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
void DoubleFree() {
  sink = std::malloc(64);
  std::free(sink);
  std::free(sink);
}

// A pointer read from a freed block and freed in turn.
void UseAfterFree() {
  auto* holder = static_cast<Holder*>(std::malloc(sizeof(Holder)));
  holder->owned = std::malloc(16);
  sink = holder;
  std::free(sink);
  std::free(static_cast<Holder*>(sink)->owned);
}
#pragma GCC diagnostic pop

void ThreadLocalInThreads() {
  for (int i = 0; i < 3; ++i) {
    std::thread([] { record.stage.assign(100, 'x'); }).join();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "clean";
  if (mode == "chatter") {
    // Lines of wine's other channels, and a heap channel's fixme: none is a
    // heap fault. The exit code must come back as it is.
    std::fputs(
        "0024:err:winediag:nodrv_CreateWindow Application tried to create a window\n"
        "0024:fixme:heap:RtlSetHeapInformation handle 0000000000C80000, info_class 0\n"
        "0024:err:systray:initialize_systray Could not create tray window\n"
        "0024:fixme:heap:HeapSetInformation 0000000000000000 1 0000000000000000 0\n",
        stderr);
    std::puts(mode.c_str());
    return 3;
  }
  if (mode == "double-free") DoubleFree();
  if (mode == "use-after-free") UseAfterFree();
  if (mode == "thread-local") ThreadLocalInThreads();
  std::puts(mode.c_str());
  return 0;
}
