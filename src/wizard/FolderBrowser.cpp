#include "wizard/FolderBrowser.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <utility>
#include <vector>

#include "core/Exceptions.h"
#include "core/PathDelimiters.h"
#include "core/ScopeExit.h"
#include "core/TypeInfoBuilder.h"
#include "shell/Application.h"
#include "win32/Callbacks.h"
#include "win32/Guard.h"
#include "win32/TaskWindows.h"
#include "win32/ComSupport.h"
#include "win32/Handles.h"
#include "win32/FileSystem.h"
#include "win32/WindowsFileLayer.h"

namespace qv {

namespace {

constexpr const char* kSelfProperty = "QvBrowseFolderDlg";

}  // namespace

const TEnumInfo& BrowseKindEnum() {
  static const TEnumInfo info{"TBrowseKind", {"bfFolders", "bfComputers"}};
  return info;
}

const TEnumInfo& DialogPositionEnum() {
  static const TEnumInfo info{"TDialogPosition", {"dpDefault", "dpScreenCenter"}};
  return info;
}

const TClassInfo& TBrowseFolderDlg::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TBrowseFolderDlg>("TBrowseFolderDlg", &TComponent::StaticClassInfo())
          .Creatable()
          .Enumeration("BrowseKind", BrowseKindEnum(), &TBrowseFolderDlg::BrowseKind,
                       &TBrowseFolderDlg::SetBrowseKind)
          .Default(bfFolders)
          .Boolean("DesktopRoot", &TBrowseFolderDlg::DesktopRoot, &TBrowseFolderDlg::SetDesktopRoot)
          .Default(1)
          .String("DialogText", &TBrowseFolderDlg::DialogText, &TBrowseFolderDlg::SetDialogText)
          .String("FolderName", &TBrowseFolderDlg::FolderName, &TBrowseFolderDlg::SetFolderName)
          .Integer("HelpContext", &TBrowseFolderDlg::HelpContext, &TBrowseFolderDlg::SetHelpContext)
          .Default(0)
          .Enumeration("Position", DialogPositionEnum(), &TBrowseFolderDlg::Position,
                       &TBrowseFolderDlg::SetPosition)
          .Default(dpScreenCenter)
          .EventField("OnInitialized", &TBrowseFolderDlg::OnInitialized)
          .EventField("OnSelChanged", &TBrowseFolderDlg::OnSelChanged)
          .Build();
  return info;
}

TBrowseFolderDlg::TBrowseFolderDlg(TComponent* owner) : TComponent(owner) {}

bool TBrowseFolderDlg::Execute() {
  HWND owner = Application != nullptr ? Application->Handle() : nullptr;
  UniqueCoTaskMemory<LPITEMIDLIST> root;
  if (!(desktopRoot_ && browseKind_ == bfFolders)) {
    LPITEMIDLIST pidl = nullptr;
    const int folder = browseKind_ == bfComputers ? CSIDL_NETWORK : CSIDL_DRIVES;
    const HRESULT hr = ::SHGetSpecialFolderLocation(owner, folder, &pidl);
    root.reset(pidl);
    if (FAILED(hr))
      throw EOleSysError(SystemErrorText(static_cast<DWORD>(hr)));
  }

  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pidlRoot = root.get();
  info.pszDisplayName = displayName_.data();
  info.lpszTitle = dialogText_.empty() ? nullptr : dialogText_.c_str();
  info.ulFlags = browseKind_ == bfFolders ? (BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS)
                                          : BIF_BROWSEFORCOMPUTER;
  info.lpfn = SystemCallback(&TBrowseFolderDlg::BrowseCallback);
  info.lParam = reinterpret_cast<LPARAM>(this);
  info.iImage = 0;

  UniqueCoTaskMemory<LPITEMIDLIST> chosen;
  {
    HWND active = ::GetActiveWindow();
    const std::vector<HWND> disabled = DisableTaskWindows(nullptr);
    ScopeExit restore([&]() noexcept {
      ForgetDialog();
      EnableTaskWindows(disabled);
      if (active != nullptr && ::IsWindow(active))
        ::SetActiveWindow(active);
    });
    chosen.reset(::SHBrowseForFolderA(&info));
  }
  if (!chosen)
    return false;

  if (browseKind_ == bfFolders) {
    char path[MAX_PATH] = {};
    ::SetLastError(ERROR_SUCCESS);
    if (::SHGetPathFromIDListA(chosen.get(), path)) {
      folderName_ = DropTrailingDelimiter(path);
    } else {
      // A chosen item without a file-system path (the shell may allow one
      // of the path's ancestors) gives an empty folder; only a failure the
      // platform names is an error.
      const DWORD error = ::GetLastError();
      if (error != ERROR_SUCCESS)
        throw EOSError(SystemErrorText(error));
      folderName_.clear();
    }
  } else {
    folderName_ = displayName_.data();
  }
  selectedName_ = folderName_;
  imageIndex_ = info.iImage;
  return true;
}

int CALLBACK TBrowseFolderDlg::BrowseCallback(HWND window, UINT message, LPARAM lParam,
                                              LPARAM data) noexcept {
  auto* self = reinterpret_cast<TBrowseFolderDlg*>(data);
  Guarded([&] {
    if (message == BFFM_INITIALIZED)
      self->DialogInitialized(window);
    else if (message == BFFM_SELCHANGED)
      self->SelectionChanged(reinterpret_cast<LPCITEMIDLIST>(lParam));
  });
  return 0;
}

void TBrowseFolderDlg::DialogInitialized(HWND window) {
  handle_ = window;
  if (position_ == dpScreenCenter)
    PlaceOnScreenCenter();
  Subclass(window);
  if (browseKind_ == bfComputers || IsExistingDirectory(folderName_)) {
    ::SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folderName_.c_str()));
  }
  if (helpContext_ != 0)
    AddHelpButton();
  if (OnInitialized)
    OnInitialized(this);
}

void TBrowseFolderDlg::PlaceOnScreenCenter() const {
  RECT rect{};
  ::GetWindowRect(handle_, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  int left = (screenWidth - width) / 2;
  int top = (screenHeight - height) / 2;
  if (left + width > screenWidth)
    left -= left + width - screenWidth;
  if (left < 0)
    left = 0;
  if (top + height > screenHeight)
    top -= top + height - screenHeight;
  if (top < 0)
    top = 0;
  ::SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
}

void TBrowseFolderDlg::AddHelpButton() const {
  HWND first = ::FindWindowExA(handle_, nullptr, "Button", nullptr);
  if (first == nullptr)
    return;
  RECT rect{};
  ::GetWindowRect(first, &rect);
  ::MapWindowPoints(nullptr, handle_, reinterpret_cast<POINT*>(&rect), 2);
  // A child of the dialog: the dialog destroys it with itself.
  HWND help =
      ::CreateWindowExA(0, "Button", "&Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                        12, rect.top, rect.right - rect.left, rect.bottom - rect.top, handle_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHelpButtonId)),
                        ::GetModuleHandleA(nullptr), nullptr);
  if (help != nullptr)
    ::SendMessageA(help, WM_SETFONT, ::SendMessageA(handle_, WM_GETFONT, 0, 0), FALSE);
}

void TBrowseFolderDlg::SelectionChanged(LPCITEMIDLIST item) {
  if (browseKind_ == bfComputers) {
    SHFILEINFOA file{};
    if (item != nullptr && ::SHGetFileInfoA(reinterpret_cast<LPCSTR>(item), 0, &file, sizeof file,
                                            SHGFI_PIDL | SHGFI_DISPLAYNAME) != 0) {
      selectedName_ = file.szDisplayName;
    } else {
      selectedName_.clear();
    }
  } else {
    char path[MAX_PATH] = {};
    if (item != nullptr && ::SHGetPathFromIDListA(item, path)) {
      selectedName_ = path;
      ::SendMessageA(handle_, BFFM_ENABLEOK, 0, IsExistingDirectory(selectedName_) ? TRUE : FALSE);
    } else {
      selectedName_.clear();
      ::SendMessageA(handle_, BFFM_ENABLEOK, 0, FALSE);
    }
  }
  if (OnSelChanged)
    OnSelChanged(this);
}

void TBrowseFolderDlg::Subclass(HWND window) {
  if (previousProc_ != nullptr)
    return;
  ::SetPropA(window, kSelfProperty, this);
  previousProc_ = ReplaceWindowProcedure(window, &TBrowseFolderDlg::DialogProc);
}

void TBrowseFolderDlg::ForgetDialog() noexcept {
  if (handle_ != nullptr && previousProc_ != nullptr && ::IsWindow(handle_)) {
    ::SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
    ::RemovePropA(handle_, kSelfProperty);
  }
  handle_ = nullptr;
  previousProc_ = nullptr;
}

LRESULT CALLBACK TBrowseFolderDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
  LRESULT result = 0;
  Guarded([&] {
    auto* self = static_cast<TBrowseFolderDlg*>(::GetPropA(window, kSelfProperty));
    result = self == nullptr || self->previousProc_ == nullptr
                 ? ::DefDlgProcA(window, message, wParam, lParam)
                 : self->DialogMessage(message, wParam, lParam);
  });
  return result;
}

LRESULT TBrowseFolderDlg::DialogMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_COMMAND && LOWORD(wParam) == kHelpButtonId && HIWORD(wParam) == BN_CLICKED) {
    Guarded([this] {
      if (ApplicationHelp)
        ApplicationHelp(helpContext_);
      else if (Application != nullptr)
        Application->ShowHelp(helpContext_);
    });
    return 0;
  }
  HWND window = handle_;
  const WNDPROC previous = previousProc_;
  const LRESULT result = ::CallWindowProcA(previous, window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::RemovePropA(window, kSelfProperty);
    handle_ = nullptr;
    previousProc_ = nullptr;
  }
  return result;
}

bool ChooseFolder(std::string& folder, const std::string& dialogText, int helpContext) {
  // Owned by the application while it lives, freed here in every case.
  auto dialog = std::make_unique<TBrowseFolderDlg>(Application);
  dialog->SetDialogText(dialogText);
  dialog->SetFolderName(folder);
  dialog->SetHelpContext(helpContext);
  const bool chosen = dialog->Execute();
  if (chosen)
    folder = dialog->FolderName();
  return chosen;
}

void BrowseForDestination(TEdit& editDir) {
  std::string folder;
  if (!ChooseFolder(folder, "Select the installation path", 0) || folder.empty())
    return;
  // Only a drive root still ends in a backslash here.
  editDir.SetText(EndsWithChar(folder, '\\') ? folder + "QuolvexAntivirus"
                                             : folder + "\\QuolvexAntivirus");
}

}  // namespace qv
