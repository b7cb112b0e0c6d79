#include "window/gtk/device_watch.h"

namespace {
// Long enough for the system to finish a new node, short enough that the
// port is listed by the time the user looks.
constexpr guint kSettleMs = 700;
}  // namespace

DeviceWatch::DeviceWatch(std::function<void()> changed, const char* folder)
    : changed_(std::move(changed)) {
  GFile* dev = g_file_new_for_path(folder);
  monitor_ = g_file_monitor_directory(dev, G_FILE_MONITOR_NONE, nullptr, nullptr);
  g_object_unref(dev);
  if (monitor_) g_signal_connect(monitor_, "changed", G_CALLBACK(&DeviceWatch::OnEvent), this);
}

DeviceWatch::~DeviceWatch() {
  if (settle_ != 0) g_source_remove(settle_);
  if (monitor_) {
    g_signal_handlers_disconnect_by_data(monitor_, this);
    g_file_monitor_cancel(monitor_);
    g_object_unref(monitor_);
  }
}

// Only nodes that come or go count: a write to a terminal touches its node
// too, and must not make the program probe its ports.
void DeviceWatch::OnEvent(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data) {
  if (event != G_FILE_MONITOR_EVENT_CREATED && event != G_FILE_MONITOR_EVENT_DELETED) return;
  auto& self = *static_cast<DeviceWatch*>(data);
  if (self.settle_ != 0) g_source_remove(self.settle_);
  self.settle_ = g_timeout_add(kSettleMs, &DeviceWatch::OnSettled, &self);
}

gboolean DeviceWatch::OnSettled(gpointer data) {
  auto& self = *static_cast<DeviceWatch*>(data);
  self.settle_ = 0;
  self.changed_();
  return G_SOURCE_REMOVE;
}
