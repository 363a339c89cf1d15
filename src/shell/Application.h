#pragma once
// The application object: title, main window, message loop, termination
// request and exception reporting. One per process, on the GUI thread.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "shell/Forms.h"
#include "shell/FormsHost.h"
#include "win32/Handles.h"

namespace qv {

class TApplication : public TComponent, public TFormsHost {
 public:
  // visible false: not even the task bar's button shows (an unattended
  // run shows no window at all).
  explicit TApplication(bool visible = true);
  ~TApplication() override;
  const char* ClassName() const noexcept override { return "TApplication"; }

  // Initialises COM for this thread as a single-threaded apartment; the
  // apartment is released at shutdown when this succeeded.
  void Startup();

  std::string AppTitle() const;
  void SetAppTitle(const std::string& title);

  TCustomForm* MainWindow() const noexcept override { return mainWindow_; }
  bool QuitReceived() const noexcept override { return quitReceived_; }
  bool Running() const noexcept { return running_; }
  HWND Handle() const noexcept override { return window_.get(); }
  TComponent& WindowOwner() noexcept override { return *this; }

  // Creates a window object owned by the application and stores it in
  // reference before its creation handler runs.
  template <class TFormClass>
  void InstantiateForm(TFormClass*& reference);

  void RunLoop();
  // Posts the quit request; nothing else happens in the call.
  void RequestTermination() override;
  bool TerminationRequested() const noexcept { return terminationRequested_; }
  // What the program ends with for whoever started it: the first reason
  // given wins, since later ones follow from it.
  void SetResultCode(int code) noexcept {
    if (resultCode_ == 0)
      resultCode_ = code;
  }
  int ResultCode() const noexcept { return resultCode_; }
  // Handles every waiting message; never waits.
  void PumpMessages();
  // Handles one message, or does idle work and waits for one.
  void HandleOneMessage() override;

  // Reports the exception being handled (call inside a catch block).
  void ReportException(TObject* sender);
  // The application-wide exception handler: when set, reported exceptions
  // (other than EAbort) go to it instead of the error box.
  std::function<void(TObject* sender, const Exception& error)> OnException;
  void ShowErrorBox(const Exception& error);

  // The application's compiled help file; empty: the program has no help.
  std::string HelpFile;
  // Opens help at `context`, from `file` when given, else from HelpFile.
  // False (and nothing shown) when there is no help file or no viewer.
  bool ShowHelp(int context, const std::string& file = {});
  // The last-resort box for what escapes every guard or is no Exception.
  static void ShowLastResortBox(std::exception_ptr error);

  // Hides the owned windows, destroys the components last created first and
  // releases COM. Run once, after RunLoop.
  void Shutdown();

 private:
  static LRESULT CALLBACK AppWndProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  static LRESULT AppMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool ProcessMessage();
  bool PreProcessKey(const MSG& message);
  void FormInstantiated(TComponent* instance);

  UniqueWindow window_;
  TCustomForm* mainWindow_ = nullptr;
  bool quitReceived_ = false;
  bool terminationRequested_ = false;
  int resultCode_ = 0;
  bool running_ = false;
  bool comInitialized_ = false;
  bool shutDown_ = false;
};

// The process's application object.
extern TApplication* Application;

template <class TFormClass>
void TApplication::InstantiateForm(TFormClass*& reference) {
  static_assert(std::is_base_of_v<TComponent, TFormClass>);
  // Owned by the application from here on; the reference is set before the
  // window's own handlers run, so they can reach it.
  auto* instance = new TFormClass(this);
  reference = instance;
  try {
    if constexpr (std::is_base_of_v<TCustomForm, TFormClass>)
      instance->AfterConstruction();
  } catch (...) {
    reference = nullptr;
    delete instance;
    throw;
  }
  FormInstantiated(instance);
}

}  // namespace qv
