#include "shell/Application.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "core/ScopeExit.h"
#include "core/ShellText.h"
#include "shell/FormResources.h"
#include "win32/Callbacks.h"
#include "win32/Guard.h"
#include "win32/HelpViewer.h"
#include "win32/TaskWindows.h"

namespace qv {

TApplication* Application = nullptr;

namespace {
constexpr const char* kAppWindowClass = "TApplication";

std::string ProgramPath() {
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Module file name (without directory) and offset within it of a code
// address; the program module and offset 0 when the address is unknown.
void LocateAddress(void* address, std::string& module, uint32_t& offset) {
  HMODULE handle = nullptr;
  if (address == nullptr || !::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                  static_cast<LPCSTR>(address), &handle)) {
    handle = ::GetModuleHandleA(nullptr);
    address = nullptr;
  }
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(handle, path, MAX_PATH);
  std::string name = path;
  const size_t slash = name.find_last_of("\\/");
  module = slash == std::string::npos ? name : name.substr(slash + 1);
  offset = address == nullptr ? 0
                              : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) -
                                                      reinterpret_cast<uintptr_t>(handle));
}

// The exception barrier's reporter while an application object exists.
void ReportThroughApplication() {
  if (Application == nullptr)
    throw;
  Application->ReportException(nullptr);
}
}  // namespace

TApplication::TApplication(bool visible) : TComponent(nullptr) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  RegisterFrameworkClasses();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = SystemCallback(&TApplication::AppWndProc);
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hIcon = ::LoadIconA(wc.hInstance, "MAINICON");
  wc.lpszClassName = kAppWindowClass;
  if (::RegisterClassExA(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw EOutOfResources("Error creating window class");
  }
  const std::string title = DefaultAppTitle(ProgramPath());
  // Visible but of no size, in the middle of the screen: it is what the task
  // bar lists (one button, captioned with the title) and the owner of every
  // other window, so minimising it from the task bar hides them all.
  window_.reset(
      ::CreateWindowExA(0, kAppWindowClass, title.c_str(),
                        WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                        ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                        0, nullptr, nullptr, wc.hInstance, nullptr));
  if (!window_)
    throw EOutOfResources("Error creating window class");
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (visible)
    ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
  Application = this;
  SetFormsHost(this);
  SetExceptionReporter(&ReportThroughApplication);
}

TApplication::~TApplication() {
  Shutdown();
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
  if (Application == this) {
    Application = nullptr;
    SetFormsHost(nullptr);
    SetExceptionReporter(nullptr);
  }
}

void TApplication::Startup() {
  const HRESULT result = ::CoInitialize(nullptr);
  comInitialized_ = SUCCEEDED(result);
}

std::string TApplication::AppTitle() const {
  char buffer[256] = {};
  ::GetWindowTextA(window_.get(), buffer, sizeof buffer);
  return buffer;
}

void TApplication::SetAppTitle(const std::string& title) {
  ::SetWindowTextA(window_.get(), title.c_str());
}

void TApplication::FormInstantiated(TComponent* instance) {
  if (mainWindow_ != nullptr)
    return;
  if (auto* form = dynamic_cast<TForm*>(instance)) {
    form->HandleNeeded();
    mainWindow_ = form;
  }
}

void TApplication::RequestTermination() {
  terminationRequested_ = true;
  ::PostQuitMessage(0);
}

bool TApplication::PreProcessKey(const MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
    return false;
  TWinControl* control = TWinControl::FindOwningControl(message.hwnd);
  if (control == nullptr)
    return false;
  bool consumed = false;
  // Key handlers are handler code like any window procedure's.
  if (!Guarded([&] { consumed = control->PreProcessKey(message); }))
    return true;
  return consumed;
}

bool TApplication::ProcessMessage() {
  MSG message{};
  if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (message.message == WM_QUIT) {
    quitReceived_ = true;
    return true;
  }
  if (!PreProcessKey(message)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return true;
}

void TApplication::PumpMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleOneMessage() {
  if (!ProcessMessage()) {
    // Idle work: nothing of the installer's runs here.
    ::WaitMessage();
  }
}

void TApplication::RunLoop() {
  running_ = true;
  const ScopeExit reset([this] { running_ = false; });
  if (mainWindow_ == nullptr)
    return;

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoA(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0) {
    if (startup.wShowWindow == SW_SHOWMAXIMIZED) {
      mainWindow_->SetWindowState(TWindowState::wsMaximized);
    } else if (startup.wShowWindow == SW_SHOWMINNOACTIVE) {
      mainWindow_->SetWindowState(TWindowState::wsMinimized);
    }
  }
  Guarded([this] { mainWindow_->Show(); });

  do {
    try {
      HandleOneMessage();
    } catch (...) {
      HandleCurrentException();
    }
  } while (!quitReceived_);
}

void TApplication::ReportException(TObject*) {
  if (HWND capture = ::GetCapture())
    ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
  const std::exception_ptr current = std::current_exception();
  if (!current)
    return;
  try {
    std::rethrow_exception(current);
  } catch (const EAbort&) {
    // Silent by design.
  } catch (const Exception& error) {
    if (OnException) {
      OnException(nullptr, error);
    } else {
      ShowErrorBox(error);
    }
  } catch (...) {
    ShowLastResortBox(current);
  }
}

void TApplication::ShowErrorBox(const Exception& error) {
  const std::string text = ErrorBoxText(error.Message());
  const std::string caption = AppTitle();
  HWND active = ::GetActiveWindow();
  HWND focus = ::GetFocus();
  const std::vector<HWND> disabled = qv::DisableTaskWindows(nullptr);
  ::MessageBoxA(window_.get(), text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
  qv::EnableTaskWindows(disabled);
  if (active != nullptr && ::IsWindow(active))
    ::SetActiveWindow(active);
  if (focus != nullptr && ::IsWindow(focus))
    ::SetFocus(focus);
}

bool TApplication::ShowHelp(int context, const std::string& file) {
  const std::string& chosen = file.empty() ? HelpFile : file;
  if (chosen.empty())
    return false;
  // Owned by the application window, the viewer outlives the dialog that
  // asked for it and closes with the program.
  return OpenHelpContext(window_.get(), chosen, context);
}

void TApplication::ShowLastResortBox(std::exception_ptr error) {
  std::string className = "Exception";
  std::string message;
  void* address = nullptr;
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    className = e.ClassName();
    message = e.Message();
    address = e.ExceptAddress();
  } catch (const std::exception& e) {
    className = ReadableTypeName(typeid(e).name());
    message = e.what();
  } catch (...) {
    className = "unknown";
  }
  std::string module;
  uint32_t offset = 0;
  LocateAddress(address, module, offset);
  const std::string text = LastResortText(className, module, offset, message);
  ::MessageBoxA(nullptr, text.c_str(), "Application Error", MB_TASKMODAL | MB_ICONERROR);
}

void TApplication::Shutdown() {
  if (shutDown_)
    return;
  shutDown_ = true;
  for (int i = 0; i < ComponentCount(); ++i) {
    if (auto* form = dynamic_cast<TCustomForm*>(Components(i))) {
      if (form->HandleAllocated())
        ::ShowWindow(form->Handle(), SW_HIDE);
    }
  }
  mainWindow_ = nullptr;
  CloseHelpWindows();
  DestroyComponents();
  if (comInitialized_) {
    ::CoUninitialize();
    comInitialized_ = false;
  }
}

LRESULT CALLBACK TApplication::AppWndProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept {
  LRESULT result = 0;
  Guarded([&] { result = AppMessage(window, message, wParam, lParam); });
  return result;
}

LRESULT TApplication::AppMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* app = reinterpret_cast<TApplication*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (app != nullptr) {
    switch (message) {
      case WM_CLOSE:
        if (app->mainWindow_ != nullptr)
          app->mainWindow_->RequestClose();
        return 0;
      case WM_SETFOCUS: {
        // Activated from the task bar: the window the user last worked in
        // takes the focus, as the application window shows nothing.
        HWND popup = ::GetLastActivePopup(window);
        if (popup != window && ::IsWindowVisible(popup) && ::IsWindowEnabled(popup))
          ::SetFocus(popup);
        return 0;
      }
      case WM_SIZE:
        // Minimised (from the task bar or the main window), the program's
        // windows go with it and come back when it is restored; not every
        // system does this for owned windows by itself.
        if (wParam == SIZE_MINIMIZED)
          ::ShowOwnedPopups(window, FALSE);
        else if (wParam == SIZE_RESTORED)
          ::ShowOwnedPopups(window, TRUE);
        break;
      case WM_QUERYENDSESSION:
        return TRUE;
      case WM_ENDSESSION:
        if (wParam != 0)
          app->quitReceived_ = true;
        return 0;
      default:
        break;
    }
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace qv
