#pragma once
// Tells when device nodes appear in or vanish from /dev (a serial cable
// plugged in or pulled out), once things have settled: the system gives a
// new node its permissions a moment after creating it. Runs on the GLib
// main context of the user-interface thread.

#include <gio/gio.h>

#include <functional>

class DeviceWatch {
 public:
  // changed runs on the user-interface thread. Without a watch of the
  // folder (no inotify, say) it never runs.
  explicit DeviceWatch(std::function<void()> changed, const char* folder = "/dev");
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

 private:
  static void OnEvent(GFileMonitor* monitor, GFile* file, GFile* other, GFileMonitorEvent event,
                      gpointer self);
  static gboolean OnSettled(gpointer self);

  std::function<void()> changed_;
  GFileMonitor* monitor_ = nullptr;
  guint settle_ = 0;
};
