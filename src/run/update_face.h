#pragma once
// A face of the update run: the window with its dialogs, or the command line
// on the terminal or from its options. It answers the run's questions and
// shows its states; the run itself (update_road.h) decides every step.

#include <memory>
#include <optional>
#include <string>

#include "identify/device_choice.h"

class CThread;

// Starts the wait-for-reset job of one showing of the reset prompt.
class ResetWaits {
 public:
  virtual ~ResetWaits() = default;
  // A suspended worker in wait-for-reset mode with the run's port, device
  // code and library; the caller sets its found handler and resumes it.
  // Null when no thread can be made.
  virtual std::shared_ptr<CThread> NewWaitForReset() = 0;
};

class UpdateFace : public DeviceChoiceUi {
 public:
  // A message the user acknowledges (OK only).
  virtual void Tell(const std::string& text) = 0;
  // After a message, what the port doctor names as the cause and its fix.
  virtual void TellCause(const std::string& text) { Tell(text); }

  // Identified, but the boot loader does not answer: asks the user to press
  // RESET while jobs from `waits` poll the port. True once one found the
  // device; false when the user gave up.
  virtual bool AwaitReset(ResetWaits& waits) = 0;

  // Installed and new version (none when no family is selected): proceed?
  virtual bool Confirm(const std::string& installedVersion,
                       const std::optional<std::string>& newVersion) = 0;

  // After a dialog, while the run goes on: show the wait cursor again.
  virtual void RestoreWaitCursor() {}

  // The progress polling starts (before the transfer state) and stops.
  virtual void StartProgressTimer() {}
  virtual void StopProgressTimer() {}
  // The download runs: the transfer state.
  virtual void EnterTransfer() {}
  // The download has ended: the idle state's controls come back (before its
  // worker goes), then the idle state's timers (after the polling stopped).
  virtual void RestoreIdleControls() {}
  virtual void IdleAgain() {}

  // On the download's worker thread: the result, returning once the user
  // has taken note of it.
  virtual void ShowResult(bool updated, const std::string& message) = 0;
};
