// The Windows program: the application object on the Win32 window layer.
#include "app/upgrade_app.h"
#include "ui/program_resources.h"
#include "window/win32/win32_api.h"
#include "window/win32/win32_backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::unique_ptr<Backend> backend = CreateWin32Backend();
  if (!backend) {
    MessageBoxA(nullptr, "Reflint cannot set up its windows.", "Reflint", MB_OK | MB_ICONSTOP);
    return 1;
  }
  InstallBackend(std::move(backend));
  InstallProgramResources();
  CUpgradeApp app;
  app.InitInstance();
  return 0;
}
