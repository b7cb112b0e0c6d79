#include "core/user_texts.h"

std::string_view UserTextOf(UserText code) {
  // A switch without default: the compiler names a code left without a text.
  switch (code) {
    case UserText::MissingFirmware:
      return "\nCould not find a correct software file.\n";
    case UserText::NotAcquired:
      return "Not acquired.";
    case UserText::RetrievalFailedLine:
      return "It was not possible to retrieve information from the connected device.\n";
    case UserText::AvailableQuestion:
      return "Are you sure the device connected to the PC is a %s";
    case UserText::BootIdQuestion:
      return "Are you sure the device connected to the PC is a %s?";
    case UserText::LibraryNotLoaded:
      return "The device library %s could not be loaded.\n";
    case UserText::LibraryLacksFunction:
      return "It lacks the function %s.\n";
    case UserText::ReinstallProgram:
      return "Please reinstall the program.";
    case UserText::UnknownFolder:
      return "The program's own folder could not be found.";
    case UserText::SaveConfigWarning:
      return "First save your customized configuration in your editor.\n"
             "It will be lost after the update.";
    case UserText::NoPorts:
      return "No ports found";
    case UserText::NothingAcquired:
      return "Not acquired";
    case UserText::SelectPort:
      return "Please Select a COM port!!!";
    case UserText::NotDetected:
      return "We could not detect a connected device";
    case UserText::Updated:
      return "The firmware has been updated successfully!\n";
    case UserText::NotUpdated:
      return "We were unable to repair or update the firmware!\n";
    case UserText::NoWorkerThread:
      return "We could not start the update: the system could not create a worker thread.";
    case UserText::NoCompletionEvent:
      return "We could not start the update: the system could not create the event that marks "
             "the end of the download.";
    case UserText::DeviceVersionFormat:
      return "Application:\t\tVersion %s\nConfiguration file:\t%s";
    case UserText::NewVersionFormat:
      return "Application:\t\tVersion %s";
    case UserText::ToolName:
      return "Reflint";
    case UserText::VersionPrefix:
      return "Version ";
    case UserText::VersionUnknown:
      return "Version unknown";
    case UserText::MainframeName:
      return "Reflint";
    case UserText::WarningIconName:
      return "Warning";
    case UserText::TransferClipName:
      return "Transfer in progress";
    case UserText::WindowsNotSetUp:
      return "Reflint cannot set up its windows.";
  }
  return {};
}

std::string UserTextWith(UserText code, std::string_view value) {
  std::string text(UserTextOf(code));
  const std::size_t slot = text.find("%s");
  if (slot != std::string::npos) text.replace(slot, 2, value);
  return text;
}
