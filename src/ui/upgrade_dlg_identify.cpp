// The main window's identification of the connected device and the user's
// choice where identification does not decide the family.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/user_texts.h"
#include "identify/device_choice.h"
#include "identify/device_library.h"
#include "identify/identification_steps.h"
#include "ui/select_device_dlg.h"
#include "ui/upgrade_dlg.h"
#include "window/ui_thread.h"

namespace {

// Stands in when the device library cannot be loaded: every query goes
// unanswered, so the steps decide nothing. Start Update reports the missing
// library before it gets here.
class NoAnswerLibrary final : public DeviceLibrary {
 public:
  unsigned char GetBootInformation(DeviceFamily, std::int32_t, char*, std::int32_t) override {
    return 0;
  }
  unsigned char GetProductInformation(DeviceFamily, std::int32_t, char*, std::int32_t) override {
    return 0;
  }
  unsigned char GetApplicationInformation(DeviceFamily, std::int32_t, char*,
                                          std::int32_t) override {
    return 0;
  }
  unsigned char GetJobName(DeviceFamily, char*) override { return 0; }
  std::int32_t GetProgress(DeviceFamily) override { return 0; }
  unsigned char InitCom(std::int32_t, std::int32_t) override { return 0; }
  unsigned char CatchBoot(std::int32_t, std::int32_t) override { return 0; }
  unsigned char DownloadMOTCF(const char*, std::int32_t, std::int32_t) override { return 0; }
};

std::shared_ptr<DeviceLibrary> LibraryOrNoAnswer(UpgradeEnvironment& environment) {
  // Why it is missing was logged when the run began.
  if (LibraryResult library = environment.Library()) return *library;
  return std::make_shared<NoAnswerLibrary>();
}

// The question as a Yes/No message box, the selection as the device choice
// dialog.
class DialogChoiceUi final : public DeviceChoiceUi {
 public:
  bool AskYesNo(const std::string& question) override {
    return AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

  std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) override {
    CSelectDeviceDlg dialog;
    for (const std::string& candidate : candidates) dialog.AddDevice(candidate);
    if (dialog.DoModal() != IDOK) return std::nullopt;
    return dialog.GetSelection();
  }
};

}  // namespace

bool CUpgradeDlg::QueryBootInformation(std::int32_t port, std::string& bootIdFound) {
  return ::QueryBootInformation(RunState(), *LibraryOrNoAnswer(Environment()), port, bootIdFound);
}

bool CUpgradeDlg::QueryProductInformation(std::int32_t port, const std::string& bootIdFound) {
  return ::QueryProductInformation(RunState(), *LibraryOrNoAnswer(Environment()), port,
                                   bootIdFound);
}

std::string CUpgradeDlg::QueryApplicationInformation(std::int32_t port) {
  return ::QueryApplicationInformation(RunState(), *LibraryOrNoAnswer(Environment()), port)
      .value_or(std::string(UserTextOf(UserText::NotAcquired)));
}

bool CUpgradeDlg::ChooseAmongAvailable() {
  DialogChoiceUi ui;
  return ::ChooseAmongAvailable(RunState(), ui);
}

bool CUpgradeDlg::ChooseAmongBootIdFamilies(const std::string& bootIdFound) {
  DialogChoiceUi ui;
  return ::ChooseAmongBootIdFamilies(RunState(), ui, bootIdFound);
}

bool CUpgradeDlg::AskFamilyQuestion(const std::string& question) {
  return DialogChoiceUi().AskYesNo(question);
}

std::optional<std::string> CUpgradeDlg::AskFamilySelection(
    const std::vector<std::string>& candidates) {
  return DialogChoiceUi().SelectDevice(candidates);
}
