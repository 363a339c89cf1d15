#pragma once
// Top-level windows: TCustomForm with its modal run and close protocol, and
// TForm, the base of every concrete window.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "controls/Controls.h"
#include "controls/ModalResult.h"

namespace qv {

class TButton;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
const TEnumInfo& FormBorderStyleEnum();
const TEnumInfo& BorderIconEnum();
const TEnumInfo& PositionEnum();
const TEnumInfo& WindowStateEnum();
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = uint8_t;
enum class TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// A window icon as stored in a form stream ("Icon.Data": an .ico file).
class TIcon : public TPersistent {
  QV_TYPE_INFO
 public:
  void DefineProperties(TFiler& filer) override;
  // Takes an .ico file; the 32 x 32 image (or the first) becomes the icon.
  void LoadIconFile(std::vector<uint8_t> file);
  HICON Handle() const noexcept { return handle_.get(); }
  const std::vector<uint8_t>& File() const noexcept { return file_; }

  std::function<void()> OnChange;

 private:
  std::vector<uint8_t> file_;
  UniqueIcon handle_;
};

class TCustomForm : public TWinControl, public TFormHost {
  QV_TYPE_INFO
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  // Runs after the object is constructed, inside InstantiateForm: OnCreate,
  // inside a guard.
  virtual void AfterConstruction();

  TModalResult RunModal();
  void RequestClose();
  void ReleaseLater();
  TModalResult ModalResult() const noexcept { return modalResult_; }
  void SetModalResult(TModalResult result) noexcept override { modalResult_ = result; }
  bool InModalRun() const noexcept { return modal_; }

  TFormBorderStyle BorderStyle() const noexcept { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const noexcept { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const noexcept { return position_; }
  void SetPosition(TPosition position) noexcept { position_ = position; }
  TWindowState WindowState() const noexcept { return windowState_; }
  void SetWindowState(TWindowState state);
  bool KeyPreview() const noexcept override { return keyPreview_; }
  void SetKeyPreview(bool value) noexcept { keyPreview_ = value; }
  bool OldCreateOrder() const noexcept { return oldCreateOrder_; }
  void SetOldCreateOrder(bool value) noexcept { oldCreateOrder_ = value; }

  int ClientWidth();
  int ClientHeight();
  void SetClientSize(int width, int height);
  void SetClientWidth(int width) { SetClientSize(width, ClientHeight()); }
  void SetClientHeight(int height) { SetClientSize(ClientWidth(), height); }

  TIcon& Icon() noexcept { return icon_; }
  // The resolution the window was designed at, and the height of its font's
  // text then; controls are rescaled when the screen's resolution differs.
  int PixelsPerInch() const noexcept { return pixelsPerInch_; }
  void SetPixelsPerInch(int value) noexcept { pixelsPerInch_ = value; }
  int TextHeight() const noexcept { return textHeight_; }
  void SetTextHeight(int value) noexcept { textHeight_ = value; }
  bool Scaled() const noexcept { return scaled_; }
  void SetScaled(bool value) noexcept { scaled_ = value; }
  void Loaded() override;

  TWinControl* ActiveControl() const noexcept { return activeControl_; }
  void SetActiveControl(TWinControl* control);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // Keyboard handling reached from the controls' pre-processing; dialog
  // characters go to the controls through DialogChar.
  // KeyPreview: a key goes to the form before the focused control.
  bool PreviewKeyDown(WORD key, TShiftState shift) override;
  bool DialogKey(WORD key, TShiftState shift, TWinControl* focused) override;
  // Moves the focus to the next (or previous) focusable control, wrapping.
  void SelectNext(TWinControl* current, bool forward);

  // A control of this window (or the window itself) received the focus:
  // remembered as the active control, and told to every control.
  void SetFocusedControl(TWinControl* control) override;
  // The control was hidden or left the window: it is no longer the one to
  // give the focus back to.
  void ControlHidden(const TControl* control) override;

  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void VisibleChanged() override;
  void PaintWindow(HDC dc) override;

  bool CloseQuery();
  void DoClose(TCloseAction& action);

 private:
  void ApplyPlacement();
  void ModalCloseStep();
  void ActivateFocus();
  void UpdateButtonLooks(TWinControl* focused);
  TButton* FindButton(const std::function<bool(TButton&)>& predicate);
  RECT OuterRectForClient(int width, int height);

  TModalResult modalResult_ = resNone;
  bool modal_ = false;
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition position_ = TPosition::poDesigned;
  TWindowState windowState_ = TWindowState::wsNormal;
  bool keyPreview_ = false;
  bool oldCreateOrder_ = false;
  TWinControl* activeControl_ = nullptr;
  TIcon icon_;
  int pixelsPerInch_ = 96;
  int textHeight_ = 13;
  bool scaled_ = true;
};

class TForm : public TCustomForm {
  QV_TYPE_INFO
 public:
  using TCustomForm::TCustomForm;
};

}  // namespace qv
