#include "cli/port_report.h"

#include <algorithm>
#include <iostream>

#include "catalogue/firmware_catalogue.h"
#include "catalogue/version_naming.h"
#include "cli/exit_codes.h"
#include "identify/identification_steps.h"
#include "identify/information_buffer.h"
#include "identify/library_results.h"
#include "platform/exe_path.h"
#include "platform/port_scan.h"
#include "platform/serial_port.h"
#include "platform/support_log.h"
#include "run/library_loader.h"

// A listing asks whatever is there; the raw texts come with the decision.
Identification Identify(DeviceLibrary& library, int port) {
  Identification id;
  InformationBuffer buffer;
  for (DeviceFamily family : kExaminationOrder) {
    if (!id.bootText && QueryInformation(library, family, InformationKind::kBoot, buffer, port))
      id.bootText = buffer.Text();
  }
  if (!id.bootText) return id;  // nothing answers: ask no more
  UpdateRunState state;
  for (RunFlag& flag : state.available) SetFlag(flag);
  std::string bootIdFound;
  if (QueryBootInformation(state, library, port, bootIdFound)) {
    QueryProductInformation(state, library, port, bootIdFound);
    id.installed = QueryApplicationInformation(state, library, port);
    for (DeviceFamily family : kExaminationOrder) {
      if (state.IsBootMatched(family)) id.bootMatched.emplace_back(Family(family).displayName);
      if (!id.productText &&
          QueryInformation(library, family, InformationKind::kProduct, buffer, port))
        id.productText = buffer.Text();
      if (!id.applicationText &&
          QueryInformation(library, family, InformationKind::kApplication, buffer, port))
        id.applicationText = buffer.Text();
    }
    id.family = FamilyFromDeviceCode(state.GetDeviceCode());
    if (!id.family) id.family = state.FirstSelectedFamily();
  }
  if (id.family) id.bootLoaderAnswers = DeviceReady(library, port, Family(*id.family).deviceCode);
  return id;
}

namespace {

std::string Describe(const Identification& id) {
  if (!id.bootText) return "no answer";
  if (!id.family) return "answers, family unknown (boot text \"" + *id.bootText + "\")";
  std::string text = std::string(Family(*id.family).displayName) +
                     (id.bootLoaderAnswers ? ", boot loader" : ", application");
  if (id.installed && !id.installed->empty()) text += " " + *id.installed;
  return text;
}

std::string WhyNotListed(int port, platform::PortState state, const std::string& held) {
  const std::string device = platform::ComPortDevice(port);
  switch (state) {
    case platform::PortState::kDenied:
      return "no permission to open " + device +
             ": add yourself to the dialout group (sudo usermod -aG dialout $USER), then log in "
             "again";
    case platform::PortState::kHeld:
      return "in use by another program" + (held.empty() ? std::string() : ": " + held);
    default:
      return "cannot be opened (" + device + ")";
  }
}

}  // namespace

std::shared_ptr<DeviceLibrary> ListingLibrary(platform::SupportLog& log, std::string* error) {
  FirmwareCatalogue catalogue;
  catalogue.ScanFirmwareFiles();
  LibraryLoader loader(log);
  LibraryResult loaded = loader.Library(catalogue.GetExeDirectory());
  if (!loaded) {
    *error = loaded.error().userText;
    return nullptr;
  }
  return *loaded;
}

std::optional<std::string> RemoteAnswer(DeviceLibrary& library, int port) {
  const Identification id = Identify(library, port);
  if (!id.bootText) return std::nullopt;
  return Describe(id);
}

int ListPorts(bool noProbe, Output& output) {
  std::vector<int> ports = platform::SystemPortNumbers();
  platform::SupportLog log(platform::SupportLogPath(), platform::ExecutableBaseName());
  std::shared_ptr<DeviceLibrary> library;
  std::string libraryError;
  if (!noProbe) {
    library = ListingLibrary(log, &libraryError);
    if (!library) output.Say("reflint-cli: " + libraryError + " (listing without asking)");
  }
  for (int port : ports) {
    std::string held;
    const platform::PortState state = platform::ProbePortState(port, &held);
    if (state == platform::PortState::kMissing) continue;
    const bool free = state == platform::PortState::kFree;
    nlohmann::json object = EventObject("port");
    object["port"] = port;
    object["device"] = platform::ComPortDevice(port);
    object["listed_by_window"] = free && port >= kFirstProbedPort && port <= kLastProbedPort;
    std::string text = "COM" + std::to_string(port) + "  " + platform::ComPortDevice(port) + "  ";
    if (!free) {
      object["why_not_listed"] = WhyNotListed(port, state, held);
      object["doctor"] = "reflint-cli doctor --port " + std::to_string(port);
      text += "not listed: " + WhyNotListed(port, state, held) + " (reflint-cli doctor --port " +
              std::to_string(port) + " tells more)";
    } else if (library) {
      const Identification id = Identify(*library, port);
      object["answers"] = id.bootText.has_value();
      object["family"] = id.family ? nlohmann::json(Family(*id.family).displayName) : nullptr;
      object["boot_loader"] = id.bootLoaderAnswers;
      object["installed"] = OrNull(id.installed);
      text += Describe(id);
    } else {
      text += "free";
    }
    if (!object["listed_by_window"].get<bool>() && free) text += " (the window lists COM1-15 only)";
    if (output.json())
      output.Emit(object);
    else
      std::cout << text << '\n';
  }
  // A port that is not there at all is not on this list: the doctor looks
  // at the USB bus for the cable that should have made it.
  output.Say("A port missing? 'reflint-cli doctor' looks at the USB bus and tells why.");
  return kExitUpdated;
}

int ShowPortInfo(int port, Output& output) {
  platform::SupportLog log(platform::SupportLogPath(),
                           platform::ExecutableBaseName() + " COM" + std::to_string(port));
  std::string held;
  const platform::PortState state = platform::ProbePortState(port, &held);
  if (state != platform::PortState::kFree) {
    output.Say("reflint-cli: COM" + std::to_string(port) + ": " +
               (state == platform::PortState::kMissing ? "no such port"
                                                       : WhyNotListed(port, state, held)));
    return kExitNoDevice;
  }
  std::string libraryError;
  std::shared_ptr<DeviceLibrary> library = ListingLibrary(log, &libraryError);
  if (!library) {
    output.Say("reflint-cli: " + libraryError);
    return kExitFailed;
  }
  const Identification id = Identify(*library, port);
  nlohmann::json object = EventObject("info");
  object["port"] = port;
  object["boot_text"] = OrNull(id.bootText);
  object["product_text"] = OrNull(id.productText);
  object["application_text"] = OrNull(id.applicationText);
  object["boot_matched"] = id.bootMatched;
  object["family"] = id.family ? nlohmann::json(Family(*id.family).displayName) : nullptr;
  object["installed"] = OrNull(id.installed);
  object["boot_loader"] = id.bootLoaderAnswers;
  if (output.json()) {
    output.Emit(object);
  } else {
    const auto line = [](const char* label, const std::optional<std::string>& text) {
      // Devices end their texts with blanks and line ends.
      const std::string shown =
          text ? text->substr(0, text->find_last_not_of(" \r\n\t") + 1) : std::string();
      std::cout << label << (text ? "\"" + shown + "\"" : std::string("(no answer)")) << '\n';
    };
    line("Boot information:        ", id.bootText);
    line("Product information:     ", id.productText);
    line("Application information: ", id.applicationText);
    std::cout << "Decided:                 " << Describe(id) << '\n';
  }
  return id.family ? kExitUpdated : kExitNoDevice;
}
