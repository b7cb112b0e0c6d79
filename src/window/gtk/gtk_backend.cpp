#include "window/gtk/gtk_backend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "window/dialog.h"
#include "window/gtk/gtk_dialog_window.h"
#include "window/gtk/gtk_message_box.h"

namespace {

class GtkBackend final : public Backend {
 public:
  GtkBackend() : uiThread_(std::this_thread::get_id()) {}

  int RunModal(CDialog& dialog) override {
    GtkWindow* owner = windows_.empty() ? nullptr : windows_.back()->Window();
    auto window = std::make_unique<GtkDialogWindow>(dialog, owner);
    windows_.push_back(window.get());
    dialog.AttachPeer(window.get());
    const bool focusFirst = dialog.DispatchInitDialog();
    if (!window->Ended()) window->Present(focusFirst);
    const int result = window->RunUntilEnded();
    dialog.DetachPeer();
    windows_.erase(std::find(windows_.begin(), windows_.end(), window.get()));
    return result;
  }

  int MessageBox(const std::string& text, unsigned type) override {
    GtkWindow* owner = windows_.empty() ? nullptr : windows_.back()->Window();
    // Titled like the program's main window, as a Windows message box is.
    const std::string title =
        windows_.empty() ? std::string(g_get_application_name()) : windows_.front()->Caption();
    return RunMessageBox(owner, title, text, type);
  }

  void Post(std::function<void()> task) override {
    auto boxed = std::make_unique<std::function<void()>>(std::move(task));
    // Ownership passes to the main loop, which hands it back to Destroy.
    g_idle_add_full(G_PRIORITY_DEFAULT, &GtkBackend::RunTask, boxed.release(),
                    &GtkBackend::DestroyTask);
  }

  bool IsUiThread() const override { return std::this_thread::get_id() == uiThread_; }

  void SetWaitCursor(bool busy) override {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return;
    GdkCursor* watch = busy ? gdk_cursor_new_for_display(display, GDK_WATCH) : nullptr;
    for (GtkDialogWindow* window : windows_)
      if (GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window->Window())))
        gdk_window_set_cursor(surface, watch);
    if (watch) g_object_unref(watch);
    // The user-interface thread is about to be busy: send the change now.
    gdk_display_flush(display);
  }

 private:
  static gboolean RunTask(gpointer task) {
    (*static_cast<std::function<void()>*>(task))();
    return G_SOURCE_REMOVE;
  }
  static void DestroyTask(gpointer task) {
    std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(task));
  }

  std::thread::id uiThread_;
  std::vector<GtkDialogWindow*> windows_;  // open windows, bottom to top
};

}  // namespace

std::unique_ptr<Backend> CreateGtkBackend(int* argc, char*** argv) {
  if (!gtk_init_check(argc, argv)) return nullptr;
  return std::make_unique<GtkBackend>();
}
