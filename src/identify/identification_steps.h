#pragma once
// Automatic identification of the connected device: the boot, product and
// application steps of one Start Update press, in that order. They read and
// write the run state only and show nothing; a library answer other than
// exactly 1 counts as no answer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/update_run_state.h"
#include "identify/device_library.h"

// Asks the boot loader of each available family in examination order. The
// first whose boot text carries its own boot ID after "OEM " is marked
// boot-matched, bootIdFound becomes that family's boot ID, and no later
// family is asked. False (nothing changed) when none matches.
bool QueryBootInformation(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                          std::string& bootIdFound);

// Confirms the boot-matched family by its product key and sets the device
// code on a hit. For the boot ID of the product chain (kProductChain) a miss
// hands on HLX700 -> TQ640 -> KII.
bool QueryProductInformation(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                             std::string_view bootIdFound);

// Reads the installed version from each boot-matched family's application
// and selects each family that answers. The last family asked decides the
// version: none when it did not answer (the window shows
// UserText::NotAcquired there), empty when no family is boot-matched.
std::optional<std::string> QueryApplicationInformation(UpdateRunState& state,
                                                       DeviceLibrary& library, std::int32_t port);
