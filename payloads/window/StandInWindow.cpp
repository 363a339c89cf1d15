// The window stand-ins (qvmanager.exe, qvscanner.exe): a plain window that
// says which program it stands in for, and closes like any other. The
// generated WindowIdentity.h decides which one is built.
#include <windows.h>

#include <exception>
#include <stdexcept>

#include "WindowIdentity.h"

namespace qv::payload {
namespace {

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 170;
constexpr int kMargin = 14;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
// Esc (IDCANCEL) and Enter (IDOK) close the window as the button does.
constexpr int kCloseId = IDCANCEL;

// Window procedures are called from Windows frames, through which a C++
// exception cannot unwind on this target; what escapes a handler ends here,
// is shown, and ends the program with a failure code.
void ReportFailure(HWND window, const char* what) noexcept {
  ::MessageBoxA(window, what, "Quolvex Antivirus", MB_OK | MB_ICONERROR);
  ::PostQuitMessage(1);
}

void CreateChildren(HWND window) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
  HWND text = ::CreateWindowExW(0, L"STATIC", kWindowText, WS_CHILD | WS_VISIBLE | SS_LEFT, kMargin,
                                kMargin, kClientWidth - 2 * kMargin,
                                kClientHeight - 3 * kMargin - kButtonHeight, window, nullptr,
                                instance, nullptr);
  HWND close = ::CreateWindowExW(
      0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
      kClientWidth - kMargin - kButtonWidth, kClientHeight - kMargin - kButtonHeight, kButtonWidth,
      kButtonHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseId)), instance,
      nullptr);
  if (text == nullptr || close == nullptr)
    throw std::runtime_error("Cannot create the window.");
  ::SendMessageW(text, WM_SETFONT, font, FALSE);
  ::SendMessageW(close, WM_SETFONT, font, FALSE);
  ::SetFocus(close);
}

LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateChildren(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        ::SendMessageW(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    return Handle(window, message, wParam, lParam);
  } catch (const std::exception& e) {
    ReportFailure(window, e.what());
  } catch (...) {
    ReportFailure(window, "Unexpected failure.");
  }
  // A failed WM_CREATE must fail the window's creation.
  return message == WM_CREATE ? -1 : 0;
}

// A window refused by its own WM_CREATE leaves no system error behind; the
// program must still not end with 0.
int FailureCode() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? static_cast<int>(error) : 1;
}

int Run(HINSTANCE instance, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (::RegisterClassExW(&windowClass) == 0)
    return FailureCode();

  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  // The window owns itself from here: WM_CLOSE destroys it and WM_DESTROY
  // ends the loop below.
  HWND window = ::CreateWindowExW(0, kWindowClass, kWindowTitle, kStyle, x, y, width, height,
                                  nullptr, nullptr, instance, nullptr);
  if (window == nullptr)
    return FailureCode();
  ::ShowWindow(window, show);
  ::UpdateWindow(window);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab, Enter and Esc as in a dialog.
    if (::IsDialogMessageW(window, &message))
      continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace qv::payload

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  try {
    return qv::payload::Run(instance, show);
  } catch (...) {
    return 1;
  }
}
