// Prints the firmware catalogue the program would see: for each family the
// file found and the version its name gives. Looks beside this executable,
// or beside a program placed in the folder given as the only argument.

#include <cstdio>
#include <string>

#include "catalogue/firmware_catalogue.h"
#include "catalogue/version_naming.h"
#include "core/user_texts.h"
#include "platform/path_text.h"

namespace {

// Line feeds of the missing-firmware text would break the table.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [folder]\n", argv[0]);
    return 2;
  }
  FirmwareCatalogue catalogue;
  if (argc == 2) {
    catalogue.ScanFirmwareFiles(platform::JoinPath(argv[1], "reflint"));
  } else {
    catalogue.ScanFirmwareFiles();
  }

  UpdateRunState state;
  MarkAvailableFamilies(catalogue, state);
  std::printf("Firmware catalogue of %s\n", catalogue.GetExeDirectory().c_str());
  for (const FamilyInfo& info : kFamilies) {
    const std::string path = catalogue.GetFirmwarePath(info.family);
    std::string fileName = "(no file)";
    std::string version;
    if (!path.empty()) {
      fileName = path.substr(catalogue.GetExeDirectory().size());
      version = OneLine(GetFirmwareVersionText(path, catalogue.GetExeDirectory(), state)
                            .value_or(std::string(UserTextOf(UserText::MissingFirmware))));
    }
    std::printf("  %-10s %-28s %s\n", std::string(info.displayName).c_str(), fileName.c_str(),
                version.c_str());
  }
  std::printf("Start Update would be %s.\n", state.HasValidFirmware() ? "enabled" : "disabled");
  return 0;
}
