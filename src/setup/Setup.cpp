// Program entry: start-up, the two windows, the main loop, exit code.
#include <windows.h>

#include <exception>

#include "platform/Application.h"
#include "setup/BackgroundWindow.h"
#include "wizard/WizardDialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace qv;
  std::exception_ptr failure;
  try {
    TApplication application;
    application.Startup();
    application.SetAppTitle("Installing Quolvex Antivirus");
    application.InstantiateForm(frmBackground);
    TfrmDialog::EarlierInstallation = frmBackground;
    application.InstantiateForm(frmDialog);
    application.RunLoop();
    application.Shutdown();
    return 0;
  } catch (...) {
    failure = std::current_exception();
  }
  // Outside every guard: the windows are gone by now; tell the user and end.
  TApplication::ShowLastResortBox(failure);
  return 1;
}
