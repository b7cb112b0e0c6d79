#include "run/update_sequence.h"

#include "core/user_texts.h"
#include "identify/identification_steps.h"
#include "identify/library_results.h"
#include "run/cthread.h"
#include "run/worker_owner.h"

ReachedDevice ReachDevice(UpdateRunState& state, DeviceLibrary& library, std::int32_t port,
                          UpdateFace& face) {
  ReachedDevice result;
  result.installedVersion = std::string(UserTextOf(UserText::NothingAcquired));
  std::string bootIdFound;
  if (QueryBootInformation(state, library, port, bootIdFound)) {
    if (!QueryProductInformation(state, library, port, bootIdFound) &&
        !ChooseAmongBootIdFamilies(state, face, bootIdFound))
      return result;
    result.installedVersion = QueryApplicationInformation(state, library, port)
                                  .value_or(std::string(UserTextOf(UserText::NotAcquired)));
    if (DeviceReady(library, port, state.GetDeviceCode())) {
      result.reached = true;
      return result;
    }
    result.reached = face.AwaitReset();
    face.AwaitJobsOutOfLibrary();  // a given-up poll may still be under way
    return result;
  }
  if (!ChooseAmongAvailable(state, face)) return result;
  if (DeviceReady(library, port, state.GetDeviceCode()) || face.CatchBootLoader()) {
    result.reached = true;
    return result;
  }
  face.ReportNotDetected();
  face.AwaitJobsOutOfLibrary();
  return result;
}

bool CatchBootWithin(WorkerOwner& owner, std::shared_ptr<CThread>& current,
                     std::shared_ptr<CThread>& givenUp,
                     const std::function<void(unsigned)>& pause) {
  current = owner.BeginWorker();
  if (current) {
    current->SetOwner(&owner);
    current->SetMode(CThread::kCatchBootMode);
    current->ResumeThread();
  }
  pause(kCatchBootWaitMs);
  // Each job has its own answer, false until the library call returns: an
  // answer left from an earlier run cannot count for this one.
  if (current && current->BootCaught()) return true;
  // A job still inside the library call runs on; its late answer is not
  // read, but the run ends only once it is out.
  givenUp = std::move(current);
  if (givenUp) givenUp->RequestStop();
  return false;
}

bool DownloadSelectedFirmware(const UpdateRunState& state, DeviceLibrary& library,
                              const std::function<std::string(DeviceFamily)>& firmwarePath,
                              std::int32_t port) {
  std::optional<DeviceFamily> family = state.FirstSelectedFamily();
  if (!family) return false;
  return FirmwareDownloaded(library, firmwarePath(*family), port, state.GetDeviceCode());
}
