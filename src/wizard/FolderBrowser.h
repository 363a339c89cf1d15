#pragma once
// Choosing the destination with the shell's folder browser.
#include <windows.h>
#include <shtypes.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/Component.h"
#include "controls/Controls.h"
#include "controls/StdCtrls.h"

namespace qv {

enum TBrowseKind : uint8_t { bfFolders, bfComputers };
enum TDialogPosition : uint8_t { dpDefault, dpScreenCenter };
const TEnumInfo& BrowseKindEnum();
const TEnumInfo& DialogPositionEnum();

// The shell's folder browser as a non-visual component.
class TBrowseFolderDlg : public TComponent {
  QV_TYPE_INFO
 public:
  explicit TBrowseFolderDlg(TComponent* owner);

  TBrowseKind BrowseKind() const noexcept { return browseKind_; }
  void SetBrowseKind(TBrowseKind value) noexcept { browseKind_ = value; }
  bool DesktopRoot() const noexcept { return desktopRoot_; }
  void SetDesktopRoot(bool value) noexcept { desktopRoot_ = value; }
  const std::string& DialogText() const noexcept { return dialogText_; }
  void SetDialogText(const std::string& value) { dialogText_ = value; }
  // In: the folder to preselect; out: the chosen one.
  const std::string& FolderName() const noexcept { return folderName_; }
  void SetFolderName(const std::string& value) { folderName_ = value; }
  // Not 0: the dialog gets a Help button that opens this context.
  int HelpContext() const noexcept { return helpContext_; }
  void SetHelpContext(int value) noexcept { helpContext_ = value; }
  TDialogPosition Position() const noexcept { return position_; }
  void SetPosition(TDialogPosition value) noexcept { position_ = value; }

  // After the dialog window exists; after each change of selection.
  TNotifyEvent OnInitialized;
  TNotifyEvent OnSelChanged;

  // Modal; the application's other windows are disabled meanwhile. True
  // when an item was chosen: FolderName holds it (empty when the item has
  // no file-system path). Raises the platform's error when the tree's root
  // or the chosen path cannot be had.
  bool Execute();

  // The open dialog's window, nullptr when none is open.
  HWND Handle() const noexcept { return handle_; }
  // The path (computers: the name) of the item selected in the open
  // dialog, or after Execute of the chosen one; empty for a virtual item.
  const std::string& SelectedName() const noexcept { return selectedName_; }
  std::string DisplayName() const { return displayName_.data(); }
  int ImageIndex() const noexcept { return imageIndex_; }

  // Replaces the application's help for the Help button when set; unset,
  // the button opens the application's help file (nothing when it has none).
  static inline std::function<void(int helpContext)> ApplicationHelp;

  // Command identifier of the Help button.
  static constexpr int kHelpButtonId = 0xFFFF;

 private:
  static int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam,
                                     LPARAM data) noexcept;
  static LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  void DialogInitialized(HWND window);
  void SelectionChanged(LPCITEMIDLIST item);
  LRESULT DialogMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void PlaceOnScreenCenter() const;
  void AddHelpButton() const;
  void Subclass(HWND window);
  // Puts the dialog's own window procedure back (when still subclassed)
  // and forgets the window.
  void ForgetDialog() noexcept;

  TBrowseKind browseKind_ = bfFolders;
  bool desktopRoot_ = true;
  std::string dialogText_;
  std::string folderName_;
  int helpContext_ = 0;
  TDialogPosition position_ = dpScreenCenter;

  std::array<char, MAX_PATH> displayName_{};
  std::string selectedName_;
  int imageIndex_ = 0;
  HWND handle_ = nullptr;
  WNDPROC previousProc_ = nullptr;
};

// Opens the browser with folder preselected; true when a folder was chosen,
// and then folder holds it. On false folder is unchanged.
bool ChooseFolder(std::string& folder, const std::string& dialogText, int helpContext);

// The Browse button of the Destination page: a chosen folder becomes
// folder\QuolvexAntivirus in editDir (a drive root gives D:\QuolvexAntivirus);
// cancelling, or an item without a path, leaves editDir as it was.
void BrowseForDestination(TEdit& editDir);

}  // namespace qv
