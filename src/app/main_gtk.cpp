// The Linux program: the application object on the GTK 3 window layer.
#include <cstdio>

#include "app/upgrade_app.h"
#include "ui/program_resources.h"
#include "window/gtk/gtk_backend.h"

int main(int argc, char** argv) {
  std::unique_ptr<Backend> backend = CreateGtkBackend(&argc, &argv);
  if (!backend) {
    std::fprintf(stderr, "reflint: cannot open the display (is DISPLAY set?)\n");
    return 1;
  }
  InstallBackend(std::move(backend));
  InstallProgramResources();
  CUpgradeApp app;
  app.InitInstance();
  return 0;
}
