#pragma once
// The roads of one update run as one table: what the remote answers (through
// a scripted library), what the person does, and how the run must end. The
// run's own test, the window's and the command line's each walk every row
// with their face, so the faces cannot drift apart.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "identify/fake_device_library.h"
#include "run/run_services.h"

namespace road_cases {

enum class End {
  kUpdated,      // the download ran and succeeded
  kNotUpdated,   // the download job ran and failed
  kNotDetected,  // "We could not detect a connected device"
  kStopped,      // the person stopped before anything was erased
};

struct RoadCase {
  const char* name;
  // The remote.
  bool bootAnswers = true;         // boot, product and application of a HLX700
  bool applicationAnswers = true;  // (only when the boot answers)
  int initComSucceedsAt = 1;  // 1: at once; N: at the N-th call (RESET during the wait); 0: never
  unsigned char catchBootAnswer = 1;
  bool catchBootLate = false;  // the catch answers only after the run gave up on it
  unsigned char downloadAnswer = 1;
  // The person.
  bool choosesTheFamily = true;  // answers the family question with HLX700
  bool proceeds = true;          // at the confirmation
  // How it must end, and what the confirmation shows as installed (none:
  // no confirmation).
  End end = End::kUpdated;
  std::optional<std::string> installed = "4.0.2";
  int downloads = 1;
};

inline const std::vector<RoadCase>& Cases() {
  static const std::vector<RoadCase> cases = {
      {.name = "BootLoaderAnswers"},
      {.name = "ResetDuringTheWait", .initComSucceedsAt = 3},
      {.name = "ResetNeverComes",
       .initComSucceedsAt = 0,
       .end = End::kStopped,
       .installed = std::nullopt,
       .downloads = 0},
      {.name = "ApplicationSilentIsConfirmedAndFails",
       .applicationAnswers = false,
       .end = End::kNotUpdated,
       .installed = "Not acquired.",
       .downloads = 0},
      {.name = "DownloadRefused", .downloadAnswer = 0, .end = End::kNotUpdated},
      {.name = "ConfirmationDeclined", .proceeds = false, .end = End::kStopped, .downloads = 0},
      {.name = "ChosenFamilyAnswers", .bootAnswers = false, .installed = "Not acquired"},
      {.name = "BootLoaderCaught",
       .bootAnswers = false,
       .initComSucceedsAt = 0,
       .installed = "Not acquired"},
      {.name = "CatchRefused",
       .bootAnswers = false,
       .initComSucceedsAt = 0,
       .catchBootAnswer = 0,
       .end = End::kNotDetected,
       .installed = std::nullopt,
       .downloads = 0},
      {.name = "CatchAnswersTooLate",
       .bootAnswers = false,
       .initComSucceedsAt = 0,
       .catchBootLate = true,
       .end = End::kNotDetected,
       .installed = std::nullopt,
       .downloads = 0},
      {.name = "FamilyNotChosen",
       .bootAnswers = false,
       .choosesTheFamily = false,
       .end = End::kStopped,
       .installed = std::nullopt,
       .downloads = 0},
  };
  return cases;
}

// The remote of a case, as the library answers it.
inline void Script(const RoadCase& c, FakeDeviceLibrary& library) {
  if (c.bootAnswers) {
    library.Answer(DeviceFamily::HLX700, Query::kBoot, 1, "Boot OEM 35243 v1");
    library.Answer(DeviceFamily::HLX700, Query::kProduct, 1, "Vantrel HLX700 remote");
    library.Answer(DeviceFamily::HLX700, Query::kApplication, c.applicationAnswers ? 1 : 0,
                   "App: 4.0.2");
  }
  library.initComSucceedsAt.store(c.initComSucceedsAt);
  library.catchBootAnswer.store(c.catchBootAnswer);
  if (c.catchBootLate) library.Hold(JobCall::kCatchBoot);
  library.downloadAnswer.store(c.downloadAnswer);
}

// A late catch answers a moment after the run stopped waiting for it (and
// before the run awaits the job's end): AfterTheWait at the end of the run's
// 1000 ms, from the face's clock.
class LateCatch {
 public:
  LateCatch(const RoadCase& c, FakeDeviceLibrary& library)
      : late_(c.catchBootLate), library_(library) {}
  ~LateCatch() {
    if (answer_.joinable()) answer_.join();
    library_.Release(JobCall::kCatchBoot);
  }
  void AfterTheWait() {
    if (!late_ || answer_.joinable()) return;
    answer_ = std::thread([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      library_.Release(JobCall::kCatchBoot);
    });
  }

 private:
  bool late_;
  FakeDeviceLibrary& library_;
  std::thread answer_;
};

// A run's services over the scripted library, with the real clock: the
// catch-boot wait lasts its 1000 ms, and a late catch answers after it.
class ScriptedServices final : public RunServices {
 public:
  ScriptedServices(std::shared_ptr<FakeDeviceLibrary> library, LateCatch& late)
      : library_(std::move(library)), late_(late) {}
  LibraryResult Library() override { return library_; }
  void Sleep(unsigned ms) override {
    RunServices::Sleep(ms);
    late_.AfterTheWait();
  }

 private:
  std::shared_ptr<FakeDeviceLibrary> library_;
  LateCatch& late_;
};

inline std::string Name(const testing::TestParamInfo<RoadCase>& info) { return info.param.name; }
inline void PrintTo(const RoadCase& c, std::ostream* os) { *os << c.name; }

}  // namespace road_cases
