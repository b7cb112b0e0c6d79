// Opens one of the program's dialogs from its template in the GTK backend,
// filled with sample texts, for screenshots and for looking at the layout:
//   reflint_dialog_preview <template id> | transfer | question
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/dialog_templates.h"
#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/select_device_dlg.h"
#include "window/dialog.h"
#include "window/gtk/gtk_backend.h"
#include "window/ui_thread.h"

namespace {

// A dialog of any template with sample texts in its placeholders.
class PreviewDlg : public CDialog {
 public:
  explicit PreviewDlg(int templateId, bool transfer = false)
      : CDialog(DialogTemplateById(templateId)), transfer_(transfer) {}

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    WindowPeer* peer = Peer();
    switch (Template().id) {
      case IDD_CONFIRM:
        peer->SetText(IDC_DEVICE_VERSION,
                      "Application:\t\tVersion 1.4.2\nConfiguration file:\tVersion 1.4.2");
        peer->SetText(IDC_NEW_VERSION, "Application:\t\tVersion 2.0.7");
        break;
      case IDD_UPGRADE_DIALOG:
        if (transfer_) ShowTransferLayout(*peer);
        break;
      case IDD_ABOUTBOX:
        peer->SetText(IDC_TOOLNAME, "Reflint");
        peer->SetText(IDC_VERSION, "Version 2, 1, 3, 0");
        break;
      default:
        break;
    }
    return true;
  }

 private:
  // The main window during a download, as the progress timer leaves it.
  static void ShowTransferLayout(WindowPeer& peer) {
    for (int id : {IDC_INFO, IDC_WARNING_TEXT, IDC_WARNING_ICON}) peer.Show(id, false);
    for (int id : {IDC_START_UPDATE, IDCANCEL, IDC_PORT_LIST}) peer.Enable(id, false);
    peer.SetText(IDC_JOBNAME, "Downloading firmware");
    peer.SetText(IDC_PERCENT, "42 %");
    peer.SetProgressPos(IDC_PROGRESS, 42);
    peer.AnimationOpen(IDC_ANIMATION, IDR_TRANSFER_AVI);
    peer.AnimationPlay(IDC_ANIMATION, 0, -1, -1);
    for (int id : {IDC_PROGRESS, IDC_PERCENT, IDC_JOBNAME, IDC_ANIMATION}) peer.Show(id, true);
  }

  bool transfer_;
};

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<Backend> backend = CreateGtkBackend(&argc, &argv);
  if (!backend) {
    std::fprintf(stderr, "reflint_dialog_preview: cannot open the display\n");
    return 1;
  }
  InstallBackend(std::move(backend));
  InstallProgramResources();
  const std::string what = argc > 1 ? argv[1] : "134";
  if (what == "transfer") {
    PreviewDlg dialog(IDD_UPGRADE_DIALOG, true);
    std::printf("result %d\n", dialog.DoModal());
    return 0;
  }
  if (what == "question") {
    std::printf("answer %d\n",
                AfxMessageBox("It was not possible to retrieve information from the connected "
                              "device.\nAre you sure the device connected to the PC is a Kestra II",
                              MB_YESNO | MB_ICONQUESTION));
    return 0;
  }
  const int templateId = std::atoi(what.c_str());
  if (templateId == IDD_SELECT_DEVICE) {
    CSelectDeviceDlg choice;
    choice.AddDevice("HLX700");
    choice.AddDevice("TQ640");
    const int result = choice.DoModal();
    std::printf("result %d selection %s\n", result, choice.GetSelection().c_str());
    return 0;
  }
  PreviewDlg dialog(templateId);
  std::printf("result %d\n", dialog.DoModal());
  return 0;
}
