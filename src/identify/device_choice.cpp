#include "identify/device_choice.h"

namespace {

// One candidate: ask. Otherwise (none or several): the selection dialog.
// On a choice, the family of that display name is selected with its device
// code; a name that is no family's changes nothing but still counts as a
// choice.
bool Choose(UpdateRunState& state, DeviceChoiceUi& ui, const std::vector<std::string>& candidates,
            UserText questionLine) {
  std::string chosen;
  if (candidates.size() == 1) {
    const std::string question = std::string(UserTextOf(UserText::RetrievalFailedLine)) +
                                 UserTextWith(questionLine, candidates.front());
    if (!ui.AskYesNo(question)) return false;
    chosen = candidates.front();
  } else {
    std::optional<std::string> selection = ui.SelectDevice(candidates);
    if (!selection) return false;
    chosen = std::move(*selection);
  }
  if (std::optional<DeviceFamily> family = FamilyFromDisplayName(chosen)) {
    SetFlag(state.selected[FamilyIndex(*family)]);
    state.deviceCode.store(Family(*family).deviceCode);
  }
  return true;
}

void AddCandidate(std::vector<std::string>& candidates, std::string_view displayName) {
  if (!displayName.empty()) candidates.emplace_back(displayName);
}

}  // namespace

bool ChooseAmongAvailable(UpdateRunState& state, DeviceChoiceUi& ui) {
  std::vector<std::string> candidates;
  for (DeviceFamily family : kExaminationOrder)
    if (state.IsAvailable(family)) AddCandidate(candidates, Family(family).displayName);
  return Choose(state, ui, candidates, UserText::AvailableQuestion);
}

bool ChooseAmongBootIdFamilies(UpdateRunState& state, DeviceChoiceUi& ui,
                               std::string_view bootIdFound) {
  std::vector<std::string> candidates;
  for (DeviceFamily family : FamiliesWithBootId(bootIdFound))
    if (state.IsAvailable(family)) AddCandidate(candidates, Family(family).displayName);
  return Choose(state, ui, candidates, UserText::BootIdQuestion);
}
