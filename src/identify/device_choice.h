#pragma once
// The user's choice of the device family where identification does not
// decide it. The dialogs themselves are behind DeviceChoiceUi, so the logic
// knows nothing of a toolkit.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/update_run_state.h"
#include "core/user_texts.h"

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
