#pragma once
// The user's choice of the device family where identification does not
// decide it. The dialogs themselves are behind DeviceChoiceUi, so the logic
// knows nothing of a toolkit.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/update_run_state.h"

// First line of the question shown when only one family is a candidate.
inline constexpr std::string_view kRetrievalFailedLine =
    "It was not possible to retrieve information from the connected device.\n";
// Second line; %s is the candidate's display name.
inline constexpr std::string_view kAvailableQuestion =
    "Are you sure the device connected to the PC is a %s";
inline constexpr std::string_view kBootIdQuestion =
    "Are you sure the device connected to the PC is a %s?";

class DeviceChoiceUi {
 public:
  virtual ~DeviceChoiceUi() = default;
  // A Yes/No question; true on Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // Lets the user pick one of the candidates (display names, in this order,
  // the first preselected). The chosen name, or nothing when cancelled.
  virtual std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) = 0;
};

// Every available family is a candidate (no boot information matched).
bool ChooseAmongAvailable(UpdateRunState& state, DeviceChoiceUi& ui);

// The available families with the boot ID found are the candidates.
bool ChooseAmongBootIdFamilies(UpdateRunState& state, DeviceChoiceUi& ui,
                               std::string_view bootIdFound);

// Replaces the %s of a question line with the display name.
std::string ComposeQuestion(std::string_view questionLine, std::string_view displayName);
