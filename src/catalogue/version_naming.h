#pragma once
// Naming a firmware version from a firmware file's name alone, and the
// available flags that decide which families' names are accepted.

#include <compare>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/firmware_catalogue.h"
#include "core/update_run_state.h"

// The version follows the first occurrence of this marker.
inline constexpr std::string_view kVersionMarker = "V_";

// The version a firmware file's name gives: the part between the first "V_"
// and the last four characters, each '_' shown as '.'. None without "V_".
std::optional<std::string> VersionFromFileName(std::string_view fileName);

// Two versions in order, part by part between the dots: parts of digits as
// numbers ("10" after "9", "05" as "5"), others as text, a missing part as
// "0" ("2.1" equals "2.1.0").
std::strong_ordering CompareVersions(std::string_view a, std::string_view b);

// The name under which a file of this family and version is found and shown
// with that version again: "HLX700_V_2_1_0.bin".
std::string FirmwareFileName(std::string_view familyPrefix, std::string_view version);

// Sets the available flag of every family whose firmware file was found.
// Flags of families without a file are left as they are.
void MarkAvailableFamilies(const FirmwareCatalogue& catalogue, UpdateRunState& state);

// True when the file name begins, exactly and with case, with an accepted
// prefix of any available family (not only the family it was found for).
bool HasAcceptedPrefix(std::string_view name, const UpdateRunState& state);

// The version named by the file at `path`: the part of its name between the
// first "V_" and the last four characters, each '_' shown as '.'. The file
// name is the last (path length - directory length) characters of the path.
// None when the file cannot be opened for reading, its name fails the prefix
// test or has no "V_" (the window shows UserText::MissingFirmware there).
// Sets the valid-firmware flag when a version (even an empty one) is named;
// never clears it.
// The folder part of a path, with its separator, as the catalogue gives it
// ("" for a bare name).
std::string FolderOf(std::string_view path);

std::optional<std::string> GetFirmwareVersionText(std::string_view path,
                                                  std::string_view exeDirectory,
                                                  UpdateRunState& state);
