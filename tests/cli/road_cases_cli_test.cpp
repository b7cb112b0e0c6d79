// The road table walked by reflint-cli's update with a scripted library: the
// person's answers are the options (--family, --yes, a short --reset-timeout),
// and each row ends with the exit code and the confirmation the window's
// run of the same row shows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/update_run.h"
#include "run/road_cases.h"
#include "run/run_services.h"
#include "support/temp_folder.h"

namespace {

using road_cases::End;
using road_cases::RoadCase;

class CliRoadTest : public testing::TestWithParam<RoadCase> {};

TEST_P(CliRoadTest, EndsAsTheTableSays) {
  const RoadCase& c = GetParam();
  testing_support::TempFolder home;  // the support log goes here
  setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
  auto library = std::make_shared<FakeDeviceLibrary>();
  road_cases::Script(c, *library);
  road_cases::LateCatch late(c, *library);
  road_cases::ScriptedServices services(library, late);

  UpdateOptions options;
  if (c.choosesTheFamily) options.family = DeviceFamily::HLX700;
  options.yes = c.proceeds;
  options.json = true;
  options.quiet = true;
  options.resetTimeoutSeconds = 1;  // the person gives up on RESET
  // The table's remote runs 4.0.2, above the samples: the roads, not the
  // step back (cli_update_test's), are what it walks.
  options.allowOlder = true;
  Output output(true, true);
  testing::internal::CaptureStdout();
  const int exitCode = RunSingleUpdate(options, 3, output, &services);
  std::istringstream lines(testing::internal::GetCapturedStdout());

  // Where the window's person stops, nothing is erased here either: RESET
  // that never comes leaves no remote detected; without a terminal, a choice
  // or confirmation not given by an option is an answer missing.
  const bool resetNeverCame = c.bootAnswers && c.initComSucceedsAt == 0;
  const int expected[] = {kExitUpdated, kExitFailed, kExitNoDevice,
                          resetNeverCame ? kExitNoDevice : kExitUsage};
  EXPECT_EQ(exitCode, expected[static_cast<int>(c.end)]);
  std::optional<nlohmann::json> identified;
  for (std::string line; std::getline(lines, line);) {
    nlohmann::json object = nlohmann::json::parse(line);
    if (object["event"] == "identified") identified = object;
  }
  // The confirmation was asked exactly when the window asks it, and shows a
  // version only when the remote's application gave one.
  EXPECT_EQ(identified.has_value(), c.installed.has_value());
  if (identified && c.installed) {
    if (c.installed->starts_with("Not acquired"))
      EXPECT_TRUE((*identified)["installed"].is_null());
    else
      EXPECT_EQ((*identified)["installed"], *c.installed);
  }
  EXPECT_EQ(static_cast<int>(library->DownloadedPaths().size()), c.downloads);
  EXPECT_EQ(library->overlappingCalls.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Roads, CliRoadTest, testing::ValuesIn(road_cases::Cases()),
                         road_cases::Name);

}  // namespace
