// The road of one update run with a scripted face: every row of the road
// table ends as it must, asks what it must, and leaves the run clear.
#include "run/update_road.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/user_texts.h"
#include "run/cthread.h"
#include "run/road_cases.h"
#include "support/file_text.h"
#include "support/temp_folder.h"

namespace {

using road_cases::End;
using road_cases::RoadCase;
using std::chrono::milliseconds;

// Answers as the case's person does and notes what the run showed.
class ScriptedFace final : public UpdateFace {
 public:
  ScriptedFace(const RoadCase& c, FakeDeviceLibrary& library) : case_(c), library_(library) {}

  bool AskYesNo(const std::string&) override { return case_.choosesTheFamily; }
  std::optional<std::string> SelectDevice(const std::vector<std::string>&) override {
    if (!case_.choosesTheFamily) return std::nullopt;
    return "HLX700";
  }
  void Tell(const std::string& text) override { told.push_back(text); }
  bool AwaitReset(ResetWaits& waits) override {
    std::shared_ptr<CThread> job = waits.NewWaitForReset();
    if (!job) return false;
    auto found = std::make_shared<std::atomic<bool>>(false);
    job->SetFoundHandler([found] { found->store(true); });
    job->ResumeThread();
    // A remote that never answers: the person gives up after a few polls.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!found->load() && std::chrono::steady_clock::now() < deadline &&
           !(case_.initComSucceedsAt == 0 && library_.initComCalls.load() >= 3))
      std::this_thread::sleep_for(milliseconds(5));
    job->RequestStop();
    return found->load();
  }
  bool Confirm(const std::string& installedVersion,
               const std::optional<std::string>& newVersion) override {
    installed = installedVersion;
    shownNewVersion = newVersion;
    return case_.proceeds;
  }
  void ShowResult(bool ok, const std::string& message) override {
    updated.store(ok);
    told.push_back(message);
  }

  std::vector<std::string> told;
  std::optional<std::string> installed;
  std::optional<std::string> shownNewVersion;
  std::atomic<bool> updated{false};

 private:
  const RoadCase& case_;
  FakeDeviceLibrary& library_;
};

class RoadTest : public testing::TestWithParam<RoadCase> {};

TEST_P(RoadTest, EndsAsTheTableSays) {
  const RoadCase& c = GetParam();
  auto library = std::make_shared<FakeDeviceLibrary>();
  road_cases::Script(c, *library);
  road_cases::LateCatch late(c, *library);
  road_cases::ScriptedServices services(library, late);
  ScriptedFace face(c, *library);
  UpdateRunState state;
  SetFlag(state.available[FamilyIndex(DeviceFamily::HLX700)]);
  UpdateRoad road(state, services, face, [](DeviceFamily) { return "HLX700V_1_2_3.bin"; });

  End end = End::kStopped;
  if (road.Start(3)) {
    while (!road.PollProgress(10).ended) {
    }
    end = face.updated.load() ? End::kUpdated : End::kNotUpdated;
  } else if (!face.told.empty() && face.told.back() == UserTextOf(UserText::NotDetected)) {
    end = End::kNotDetected;
  }
  road.AwaitJobsOutOfLibrary();

  EXPECT_EQ(end, c.end);
  EXPECT_EQ(face.installed, c.installed);
  EXPECT_EQ(static_cast<int>(library->DownloadedPaths().size()), c.downloads);
  // Every end leaves the run clear, and no job outlives it on the port.
  EXPECT_EQ(state.GetDeviceCode(), kNoDeviceCode);
  EXPECT_FALSE(state.FirstSelectedFamily());
  EXPECT_EQ(library->overlappingCalls.load(), 0);
  EXPECT_EQ(library->portCallsInProgress.load(), 0);
  // A download goes to the port of the run with the code it decided.
  if (c.downloads > 0) {
    EXPECT_EQ(library->lastPort.load(), 3);
    EXPECT_EQ(library->lastCode.load(), 0);
    EXPECT_EQ(face.told.back(),
              UserTextOf(c.end == End::kUpdated ? UserText::Updated : UserText::NotUpdated));
  }
}

INSTANTIATE_TEST_SUITE_P(Roads, RoadTest, testing::ValuesIn(road_cases::Cases()), road_cases::Name);

// The port doctor's finding follows "We could not detect a connected
// device" as a message of its own, and its whole report goes into the
// support log of every run that failed; a run the person stopped is not
// examined.
TEST(RoadDoctorTest, FindingFollowsNotDetectedAndEveryFailureLogsTheReport) {
  struct Services final : RunServices {
    Services(std::shared_ptr<FakeDeviceLibrary> l, const std::string& logPath)
        : library(std::move(l)), log(logPath, "road-test") {}
    LibraryResult Library() override { return library; }
    platform::SupportLog& Log() override { return log; }
    std::optional<doctor::Report> ExaminePorts(std::int32_t port) override {
      examined.push_back(port);
      doctor::Report report;
      report.subjects.push_back(
          {port, "/dev/ttyUSB0", "", {{doctor::Cause::kHeld, "held by picocom", "quit picocom"}}});
      return report;
    }
    std::shared_ptr<FakeDeviceLibrary> library;
    platform::SupportLog log;
    std::vector<int> examined;
  };
  struct Row {
    const char* name;
    int catchBoot;  // the remote's answer to the catch; the boot query never answers
    bool proceeds;  // at the confirmation, once the catch succeeded
    std::vector<std::string> told;
    std::vector<int> examined;
  };
  const std::string notDetected(UserTextOf(UserText::NotDetected));
  const Row rows[] = {
      {"CatchRefused", 0, true, {notDetected, "held by picocom\n\nquit picocom"}, {3}},
      {"ConfirmationDeclined", 1, false, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing_support::TempFolder folder;
    auto library = std::make_shared<FakeDeviceLibrary>();
    road_cases::RoadCase c{.name = row.name, .bootAnswers = false, .initComSucceedsAt = 0};
    c.catchBootAnswer = static_cast<unsigned char>(row.catchBoot);
    c.proceeds = row.proceeds;
    road_cases::Script(c, *library);
    Services services(library, (folder.Path() / "road.log").string());
    ScriptedFace face(c, *library);
    UpdateRunState state;
    SetFlag(state.available[FamilyIndex(DeviceFamily::HLX700)]);
    UpdateRoad road(state, services, face, [](DeviceFamily) { return "HLX700V_1_2_3.bin"; });
    EXPECT_FALSE(road.Start(3));
    road.AwaitJobsOutOfLibrary();
    EXPECT_EQ(face.told, row.told);
    EXPECT_EQ(services.examined, row.examined);
    const std::string log = testing_support::FileText((folder.Path() / "road.log").string());
    EXPECT_EQ(
        log.find("port doctor:   held: held by picocom; fix: quit picocom") != std::string::npos,
        !row.examined.empty());
  }
}

}  // namespace
