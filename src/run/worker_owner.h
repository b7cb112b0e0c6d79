#pragma once
// What a worker's jobs need from the window that started them. The main
// window implements it; the run library stays free of the window classes.

#include <cstdint>
#include <memory>

class CThread;
class DeviceLibrary;

class WorkerOwner {
 public:
  virtual ~WorkerOwner() = default;

  // The device code of the run state, read when a job starts.
  virtual std::int32_t GetDeviceCode() const = 0;
  // The saved port setting, read now (any thread).
  virtual std::int32_t ReadSavedPort() = 0;
  // The device library; null when it cannot be loaded.
  virtual std::shared_ptr<DeviceLibrary> JobLibrary() = 0;
  // The download job proper, on the worker's thread.
  virtual void DownloadFirmware() = 0;
  // A new suspended worker; null when no thread could be created.
  virtual std::shared_ptr<CThread> BeginWorker() = 0;
};
