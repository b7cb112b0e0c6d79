#pragma once
// The main window: firmware information, the blinking warning, the port
// list, Start Update and Exit; during a download the progress instead.
//
// Its members are defined in several files, one per concern:
//   upgrade_dlg.cpp          opening, texts, port list, system menu, painting
//   upgrade_dlg_identify.cpp identification and the user's device choice
//   upgrade_dlg_run.cpp      Start Update, confirmation, download, timers

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/device_family.h"
#include "core/update_run_state.h"
#include "platform/port_scan.h"
#include "run/update_road.h"
#include "ui/resource_ids.h"
#include "ui/upgrade_environment.h"
#include "window/dialog.h"
#include "window/ui_thread.h"

class CUpgradeDlg : public CDialog {
 public:
  explicit CUpgradeDlg(UpgradeEnvironment& environment);
  ~CUpgradeDlg() override;

  UpgradeEnvironment& Environment() { return environment_; }
  UpdateRunState& RunState() { return runState_; }

  // Run state.
  void ResetRunState() { runState_.ResetRunState(); }
  std::int32_t GetDeviceCode() const { return runState_.GetDeviceCode(); }

  // Firmware catalogue and version naming.
  void MarkAvailableFamilies();
  bool HasAcceptedPrefix(const std::string& name) const;
  std::string GetFirmwareVersionText(const std::string& path);

  // Opening.
  bool OnInitDialog() override;
  void ComposeInformationText();
  void FillPortList();
  // Probes the ports again and brings the list up to date, keeping the
  // user's selection while its port exists; never writes the saved port.
  void RefreshPortList();

  // Identification and the user's choice.
  bool QueryBootInformation(std::int32_t port, std::string& bootIdFound);
  bool QueryProductInformation(std::int32_t port, const std::string& bootIdFound);
  std::string QueryApplicationInformation(std::int32_t port);
  bool ChooseAmongAvailable();
  bool ChooseAmongBootIdFamilies(const std::string& bootIdFound);

  // Update run: the confirmation (it makes the completion event), the
  // transfer layout.
  bool ConfirmUpdate(std::string installedVersion);
  void EnterTransferLayout();
  void OnOK() override;
  void OnCancel() override;

  // The saved port setting, read now.
  std::int32_t ReadSavedPort();

  // Handlers.
  void OnSysCommand(unsigned commandId, std::intptr_t lParam);
  void OnPaint();
  std::intptr_t OnQueryDragIcon();
  void OnSelchangePort();
  void SavePort(int port);
  void OnDropdownPort();
  void OnDeviceChange();
  void OnStartUpdate();
  void OnTimer(unsigned timerId);

  // Texts bound to the controls (read by tests through the controls).
  const std::string& InformationText() const { return informationText_; }
  const std::string& WarningText() const { return warningText_; }

 protected:
  void DoDataExchange(CDataExchange* dx) override;

 private:
  UpgradeEnvironment& environment_;

  CAnimateCtrl animation_;
  CStatic jobNameLine_;
  CStatic percentageLine_;
  CStatic informationPanel_;
  CProgressCtrl progressBar_;
  CButton startUpdateButton_;
  CButton exitButton_;
  CComboBox portList_;
  CStatic warningPanel_;
  CStatic warningIcon_;

  std::string informationText_;
  std::string warningText_;
  std::string percentageText_;
  std::string jobNameText_;

  int icon_;  // resource id of the window icon
  bool blinkFlag_ = true;
  // True from entering the transfer layout until the idle layout is back:
  // the window must not close in the middle of a write.
  bool transferring_ = false;
  // True while Start Update runs: its jobs and queries use the port, which
  // a probe must not open meanwhile.
  bool runInProgress_ = false;

  UpdateRunState runState_;

  // Port list.
  CPortScan ScanPorts();
  bool ListPorts(const CPortScan& scan);
  // False while the list holds only "No ports found".
  bool PortsListed();
  void SelectSavedPort(int saved);

  // The run's questions and states as the window shows them.
  bool AskFamilyQuestion(const std::string& question);
  std::optional<std::string> AskFamilySelection(const std::vector<std::string>& candidates);
  void ShowMessage(const std::string& text);
  bool ShowResetPrompt(ResetWaits& waits);
  bool ShowConfirmation(const std::string& installedVersion,
                        const std::optional<std::string>& newVersion);
  void RestoreIdleLayoutControls();
  void ResumeIdleTimers();

  // The face the run talks to: each question or state in the window's own
  // terms above.
  class RunFace final : public UpdateFace {
   public:
    explicit RunFace(CUpgradeDlg& window) : w_(window) {}
    bool AskYesNo(const std::string& question) override { return w_.AskFamilyQuestion(question); }
    std::optional<std::string> SelectDevice(const std::vector<std::string>& candidates) override {
      return w_.AskFamilySelection(candidates);
    }
    void Tell(const std::string& text) override { w_.ShowMessage(text); }
    bool AwaitReset(ResetWaits& waits) override { return w_.ShowResetPrompt(waits); }
    bool Confirm(const std::string& installedVersion,
                 const std::optional<std::string>& newVersion) override {
      return w_.ShowConfirmation(installedVersion, newVersion);
    }
    void RestoreWaitCursor() override { ::RestoreWaitCursor(); }
    void StartProgressTimer() override { w_.SetTimer(kProgressTimer, kTimerPeriodMs); }
    void StopProgressTimer() override { w_.KillTimer(kProgressTimer); }
    void EnterTransfer() override { w_.EnterTransferLayout(); }
    void RestoreIdleControls() override { w_.RestoreIdleLayoutControls(); }
    void IdleAgain() override { w_.ResumeIdleTimers(); }
    // On the download worker's thread: shown by the user-interface thread,
    // and the job waits until it is dismissed.
    void ShowResult(bool, const std::string& message) override { w_.ShowMessage(message); }

   private:
    CUpgradeDlg& w_;
  };

  // Support log: the run's starting point.
  void LogRunBegin(std::int32_t port);

  RunFace face_{*this};
  // The run from the port check to the result: its jobs, the completion
  // event and the current worker. Declared last: it goes first, awaiting a
  // download whose end still reports to this window.
  UpdateRoad road_;

  DECLARE_MESSAGE_MAP()
};
