// The Windows program: the application object on the Win32 window layer.
#include <string>

#include "app/upgrade_app.h"
#include "core/user_texts.h"
#include "ui/program_resources.h"
#include "window/win32/win32_api.h"
#include "window/win32/win32_backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::unique_ptr<Backend> backend = CreateWin32Backend();
  if (!backend) {
    const std::string text(UserTextOf(UserText::WindowsNotSetUp));
    const std::string caption(UserTextOf(UserText::ToolName));
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    return 1;
  }
  InstallBackend(std::move(backend));
  InstallProgramResources();
  CUpgradeApp app;
  app.InitInstance();
  return 0;
}
