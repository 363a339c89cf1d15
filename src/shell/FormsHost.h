#pragma once
// What forms need of the application that holds them: its window as their
// owner, the owner of all windows, its main window, its quit request and one step of its message
// loop. The application object implements it and registers itself while it
// exists, so forms never depend on the application.
#include <windows.h>

namespace qv {

class TComponent;
class TCustomForm;

class TFormsHost {
 public:
  virtual HWND Handle() const noexcept = 0;
  virtual TCustomForm* MainWindow() const noexcept = 0;
  virtual bool QuitReceived() const noexcept = 0;
  virtual void RequestTermination() = 0;
  virtual void HandleOneMessage() = 0;
  // The owner of the application's windows, whose names are global.
  virtual TComponent& WindowOwner() noexcept = 0;

 protected:
  ~TFormsHost() = default;
};

// The registered host; null while there is no application object.
TFormsHost* FormsHost() noexcept;
void SetFormsHost(TFormsHost* host) noexcept;

}  // namespace qv
