#include "core/update_run_state.h"

UpdateRunState::UpdateRunState() { ResetRunState(); }

void UpdateRunState::ResetRunState() {
  deviceCode.store(kNoDeviceCode);
  for (RunFlag& flag : bootMatched) ClearFlag(flag);
  for (RunFlag& flag : selected) ClearFlag(flag);
}

std::int32_t UpdateRunState::GetDeviceCode() const { return deviceCode.load(); }

std::optional<DeviceFamily> UpdateRunState::FirstSelectedFamily() const {
  for (DeviceFamily family : kExaminationOrder)
    if (IsSelected(family)) return family;
  return std::nullopt;
}
