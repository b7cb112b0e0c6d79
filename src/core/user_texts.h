#pragma once
// Every text the program shows its user, in one table. Logic names a text by
// its code; the text itself is written only in user_texts.cpp.

#include <string>
#include <string_view>

enum class UserText {
  // Firmware catalogue
  MissingFirmware,  // stands in place of a version wherever none can be named
  // Identification and the device choice
  NotAcquired,          // installed version when the application query does not answer
  RetrievalFailedLine,  // first line of the one-candidate question
  AvailableQuestion,    // second line; %s is the candidate's display name
  BootIdQuestion,       // the same when the boot ID chose the candidates
  // Loading the device library
  LibraryNotLoaded,      // %s is the library's file name
  LibraryLacksFunction,  // %s is the missing function's name
  ReinstallProgram,
  UnknownFolder,
  // The main dialog and its update run
  SaveConfigWarning,
  NoPorts,
  NothingAcquired,  // installed version before identification ran
  SelectPort,
  NotDetected,
  Updated,
  NotUpdated,
  NoWorkerThread,
  NoCompletionEvent,
  // The confirmation dialog; each %s is a version or file text
  DeviceVersionFormat,
  NewVersionFormat,
  // The About box
  ToolName,
  VersionPrefix,  // followed by the product version
  VersionUnknown,
  // Names of the pictures, for screen readers
  MainframeName,
  WarningIconName,
  TransferClipName,
  // Start-up
  WindowsNotSetUp,
};

std::string_view UserTextOf(UserText code);

// The text with its first "%s" replaced by value.
std::string UserTextWith(UserText code, std::string_view value);
