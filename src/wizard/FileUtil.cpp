#include "wizard/FileUtil.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <utility>
#include <vector>

#include "core/Exceptions.h"
#include "core/PathDelimiters.h"
#include "core/TypeInfoBuilder.h"
#include "platform/Application.h"
#include "platform/Guard.h"
#include "platform/ComSupport.h"
#include "platform/Handles.h"
#include "platform/WindowsFileLayer.h"

namespace qv {

namespace {

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindClose(h); }
};
using UniqueFind = UniqueHandleT<FindHandleTraits>;

// Item identifier lists the shell allocates for the caller.
struct PidlTraits {
  using Handle = LPITEMIDLIST;
  static Handle Empty() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CoTaskMemFree(h); }
};
using UniquePidl = UniqueHandleT<PidlTraits>;

// The portable path helpers know no code page; the product's paths are in
// the system's ANSI code page, whose double-byte characters they must not
// split. Every program with these file services gets it from the start.
bool AnsiCodePageLeadByte(unsigned char byte) {
  return ::IsDBCSLeadByte(byte) != FALSE;
}
[[maybe_unused]] const bool ansiLeadBytesInstalled =
    (SetLeadBytePredicate(&AnsiCodePageLeadByte), true);

// Attribute bits as the enumeration reports them. The volume-label bit has
// no name in the Win32 headers any more but FAT volumes still report it.
constexpr DWORD kReadOnly = 0x01;
constexpr DWORD kVolumeLabel = 0x08;
constexpr DWORD kDirectory = 0x10;
constexpr DWORD kArchive = 0x20;

constexpr const char* kSelfProperty = "QvBrowseFolderDlg";

template <class Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { action_(); }

 private:
  Action action_;
};

}  // namespace

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kDirectory) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kDirectory) == 0;
}

// The full path of a path as typed: a relative one (a single letter "D"
// typed as the destination) must never be taken for something else later,
// such as the root of drive D.
std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return (length == 0 || length > MAX_PATH) ? path : std::string(buffer, length);
}

bool RemoveTree(const std::string& path, bool deleteDirectory) {
  if (!IsExistingDirectory(path))
    return false;
  const std::string prefix = AddTrailingDelimiter(path);
  bool result = true;
  DWORD status = ERROR_SUCCESS;
  {
    WIN32_FIND_DATAA entry{};
    UniqueFind find(::FindFirstFileA((prefix + "*.*").c_str(), &entry));
    if (!find)
      status = ::GetLastError();
    while (status == ERROR_SUCCESS) {
      const std::string name = entry.cFileName;
      const DWORD attributes = entry.dwFileAttributes;
      if (name != "." && name != ".." && attributes != kVolumeLabel) {
        const std::string child = prefix + name;
        if ((attributes & kDirectory) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          // A junction or directory link: the link goes, never what it
          // points to, which lies outside the tree being removed.
          if (deleteDirectory)
            result = ::RemoveDirectoryA(child.c_str()) != FALSE && result;
        } else if ((attributes & kDirectory) != 0) {
          // Recursion first: a failure further up must not spare the rest.
          result = RemoveTree(child, deleteDirectory) && result;
        } else if ((attributes & kVolumeLabel) == 0) {
          if ((attributes & kReadOnly) != 0)
            ::SetFileAttributesA(child.c_str(), kArchive);
          result = ::DeleteFileA(child.c_str()) != FALSE && result;
        }
      }
      // The recursion above reset the last error, so take it here.
      status = ::FindNextFileA(find.get(), &entry) ? ERROR_SUCCESS : ::GetLastError();
    }
  }
  // An enumeration that stopped early may have hidden entries: keep the
  // directory then, as for a survivor below it.
  const bool bareDrive = path.size() == 2 && path[1] == ':';
  if (deleteDirectory && result && status == ERROR_NO_MORE_FILES && !bareDrive)
    result = ::RemoveDirectoryA(path.c_str()) != FALSE && result;
  return result;
}

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
  UniquePidl root;
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
  info.lpfn = &TBrowseFolderDlg::BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  info.iImage = 0;

  UniquePidl chosen;
  {
    HWND active = ::GetActiveWindow();
    const std::vector<HWND> disabled = TApplication::DisableTaskWindows(nullptr);
    ScopeExit restore([&]() noexcept {
      ForgetDialog();
      TApplication::EnableTaskWindows(disabled);
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
                                              LPARAM data) {
  auto* self = reinterpret_cast<TBrowseFolderDlg*>(data);
  try {
    if (message == BFFM_INITIALIZED)
      self->DialogInitialized(window);
    else if (message == BFFM_SELCHANGED)
      self->SelectionChanged(reinterpret_cast<LPCITEMIDLIST>(lParam));
  } catch (...) {
    HandleCurrentException();
  }
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
  previousProc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TBrowseFolderDlg::DialogProc)));
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
                                              LPARAM lParam) {
  auto* self = static_cast<TBrowseFolderDlg*>(::GetPropA(window, kSelfProperty));
  if (self == nullptr || self->previousProc_ == nullptr)
    return ::DefDlgProcA(window, message, wParam, lParam);
  return self->DialogMessage(message, wParam, lParam);
}

LRESULT TBrowseFolderDlg::DialogMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_COMMAND && LOWORD(wParam) == kHelpButtonId && HIWORD(wParam) == BN_CLICKED) {
    Guarded([this] {
      if (ApplicationHelp)
        ApplicationHelp(helpContext_);
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
