// Opens one of the program's dialogs from its template in the GTK backend,
// filled with sample texts, for screenshots and for looking at the layout:
//   reflint_dialog_preview <template id>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/dialog_templates.h"
#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/select_device_dlg.h"
#include "window/dialog.h"
#include "window/gtk/gtk_backend.h"

namespace {

// A dialog of any template with sample texts in its placeholders.
class PreviewDlg : public CDialog {
 public:
  explicit PreviewDlg(int templateId) : CDialog(DialogTemplateById(templateId)) {}

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    WindowPeer* peer = Peer();
    switch (Template().id) {
      case IDD_CONFIRM:
        peer->SetText(IDC_DEVICE_VERSION,
                      "Application:\t\tVersion 1.4.2\nConfiguration file:\tVersion 1.4.2");
        peer->SetText(IDC_NEW_VERSION, "Application:\t\tVersion 2.0.7");
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
  const int templateId = argc > 1 ? std::atoi(argv[1]) : IDD_SELECT_DEVICE;
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
