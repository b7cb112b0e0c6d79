#pragma once
// What one press of Start Update learns and decides, together with the
// window-wide flags beside it (which families have firmware, whether any
// firmware file name yields a version).
//
// The user-interface thread fills the record before a job runs; the jobs read
// it on their own threads and the download job clears it at its end. Every
// field is therefore atomic. Flags hold 0 or 1 and count as set only when they
// hold exactly 1.
//
// The completion event and the current worker are not here: they belong to
// the main window, which owns them next to this record.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "core/device_family.h"

using RunFlag = std::atomic<std::uint8_t>;
// One flag per family, indexed by FamilyIndex (examination order).
using FamilyFlags = std::array<RunFlag, kFamilyCount>;

inline bool IsSet(const RunFlag& flag) { return flag.load() == 1; }
inline void SetFlag(RunFlag& flag) { flag.store(1); }
inline void ClearFlag(RunFlag& flag) { flag.store(0); }

class UpdateRunState {
 public:
  // Every field starts clear and the device code at kNoDeviceCode.
  UpdateRunState();
  UpdateRunState(const UpdateRunState&) = delete;
  UpdateRunState& operator=(const UpdateRunState&) = delete;

  // Ends a run: device code back to kNoDeviceCode, boot-matched and selected
  // flags cleared. Available flags and the valid-firmware flag stay.
  void ResetRunState();

  std::int32_t GetDeviceCode() const;

  // The family whose firmware will be written: the first selected flag in
  // examination order; none when no flag is set.
  std::optional<DeviceFamily> FirstSelectedFamily() const;

  // Convenience views by family.
  bool IsAvailable(DeviceFamily f) const { return IsSet(available[FamilyIndex(f)]); }
  bool IsBootMatched(DeviceFamily f) const { return IsSet(bootMatched[FamilyIndex(f)]); }
  bool IsSelected(DeviceFamily f) const { return IsSet(selected[FamilyIndex(f)]); }
  bool HasValidFirmware() const { return IsSet(validFirmware); }

  // Fields, read and written directly by the run's steps.

  // A firmware file name yielded a version; never cleared.
  RunFlag validFirmware{0};
  // A firmware file of the family was found; set once, never cleared.
  FamilyFlags available{};
  // The device's boot or product information pointed to the family.
  FamilyFlags bootMatched{};
  // The device library's code of the family to update.
  std::atomic<std::int32_t> deviceCode{kNoDeviceCode};
  // The family whose firmware will be written.
  FamilyFlags selected{};
};
