#pragma once
// Controls: TControl (position, visibility, caption, font, colour; painted
// by its parent when it has no window of its own) and TWinControl (a real
// Win32 window made lazily, when it is first shown or its handle is needed).
// Properties set before the handle exists are kept in fields and applied
// when it is made, so a whole component tree can live without any window.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/Component.h"
#include "win32/Graphics.h"
#include "controls/ModalResult.h"
#include "win32/Handles.h"

namespace qv {

class TControl;
class TWinControl;

using TNotifyEvent = std::function<void(TObject* sender)>;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
const TEnumInfo& AlignEnum();

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = uint8_t;
// The modifier state that belongs to the message being handled.
TShiftState KeyboardShiftState();

// What a control needs of the window it sits on. The shell's forms
// implement it, so that controls never depend on the shell.
class TFormHost {
 public:
  // KeyPreview: a key goes to the window before the focused control.
  virtual bool KeyPreview() const noexcept = 0;
  virtual bool PreviewKeyDown(WORD key, TShiftState shift) = 0;
  virtual bool DialogKey(WORD key, TShiftState shift, TWinControl* focused) = 0;
  // A control of the window received the focus.
  virtual void SetFocusedControl(TWinControl* control) = 0;
  // The control was hidden or left the window.
  virtual void ControlHidden(const TControl* control) = 0;
  virtual void SetModalResult(TModalResult result) noexcept = 0;

 protected:
  ~TFormHost() = default;
};

// Private messages of the framework (WM_APP range is left to applications).
enum : UINT {
  CM_BASE = WM_USER + 0x7000,
  CM_RELEASE = CM_BASE + 1,   // ReleaseLater: destroy the window object
  CM_ACTIVATE = CM_BASE + 2,  // a modal run activated the form
  CM_DEACTIVATE = CM_BASE + 3,
};

class TControl : public TComponent {
  QV_TYPE_INFO
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const noexcept { return parent_; }
  virtual void SetParent(TWinControl* parent);
  void SetParentComponent(TComponent* parent) override;

  int Left() const noexcept { return left_; }
  int Top() const noexcept { return top_; }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  virtual void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  RECT BoundsRect() const noexcept { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  TAlign Align() const noexcept { return align_; }
  void SetAlign(TAlign align);
  // Scales position, size and font from one resolution to another (m / d).
  virtual void ScaleBy(int m, int d);

  bool Visible() const noexcept { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);

  const std::string& Caption() const noexcept { return caption_; }
  void SetCaption(const std::string& caption);
  // The current text: for a windowed control, what its window holds now
  // (the user may have typed); otherwise the stored caption.
  virtual std::string Text() const { return caption_; }
  void SetText(const std::string& text) { SetCaption(text); }

  TFont& Font() noexcept { return font_; }
  bool ParentFont() const noexcept { return parentFont_; }
  void SetParentFont(bool value);
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const noexcept { return parentColor_; }
  void SetParentColor(bool value);

  TNotifyEvent OnClick;
  virtual void Click();

  // The window this control is painted on and shown within.
  TFormHost* ParentForm() const;
  // Whether the control and all its parents are visible.
  bool Showing() const;

  // Graphic controls draw themselves onto their parent's DC, at their own
  // position, after the parent's background.
  virtual void Paint(HDC dc);
  virtual bool IsWindowed() const noexcept { return false; }
  void Invalidate();

  // What the window a control lives in passes on to it. A control without a
  // window of its own sees no keyboard or mouse message itself, so these are
  // its only way to react to the user.
  // A character typed in the window that its focused control did not take
  // (or any with Alt held): true when it was this control's accelerator and
  // has been acted on; it then goes no further.
  virtual bool DialogChar(char character);
  // The keyboard focus moved to focused, a control of the same window.
  virtual void FocusChanged(TWinControl* focused);
  // The cursor came over the control, or left it (also by leaving the
  // parent's window).
  virtual void MouseEnter();
  virtual void MouseLeave();
  // A button went down or up over the control. After a left press, the
  // release comes here wherever it happens, or when the press is cancelled.
  virtual void MouseDown(TMouseButton button);
  virtual void MouseUp(TMouseButton button);

 protected:
  virtual void BoundsChanged();
  virtual void VisibleChanged();
  virtual void EnabledChanged();
  virtual void TextChanged();
  virtual void FontChanged();
  virtual void ColorChanged();
  // The parent's font or colour changed: follow it when ParentFont or
  // ParentColor is set.
  void ParentFontChanged();
  void ParentColorChanged();

  bool visible_ = true;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  bool enabled_ = true;
  std::string caption_;
  TFont font_;
  bool parentFont_ = true;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TAlign align_ = TAlign::alNone;
};

struct TCreateParams {
  std::string className;
  // True for a system control class (BUTTON, EDIT, STATIC ...): the window
  // is subclassed after creation. False: a class of ours, registered on
  // first use under className.
  bool systemClass = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  HWND parent = nullptr;
  UINT classStyle = CS_DBLCLKS;
};

class TWinControl : public TControl {
  QV_TYPE_INFO
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  bool IsWindowed() const noexcept override { return true; }

  HWND Handle();
  bool HandleAllocated() const noexcept { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  void DestroyHandle();

  int ControlCount() const noexcept { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }

  bool TabStop() const noexcept { return tabStop_; }
  void SetTabStop(bool value);
  int TabOrder() const noexcept { return tabOrder_; }
  void SetTabOrder(int order) noexcept { tabOrder_ = order; }

  // The area children are laid out in, in client coordinates.
  virtual RECT ClientRect();
  // Places the aligned children: top ones from the top down, bottom ones
  // from the bottom up, then left and right, and the client one in the rest.
  void AlignControls();
  void ScaleBy(int m, int d) override;
  void Loaded() override;
  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();

  std::string Text() const override;

  // The object behind a window of ours, or nullptr.
  static TWinControl* FromHandle(HWND window);
  // The object behind the window or its nearest ancestor that has one.
  static TWinControl* FindOwningControl(HWND window);

  // Keyboard pre-processing for a key message aimed at this control's
  // window: key preview, dialog keys and accelerators. True when consumed.
  bool PreProcessKey(const MSG& message);

  // The window procedure: handle the message or pass it on to
  // DefaultHandler. Runs inside the guard of the static procedure.
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);

  // The brush of Color, for backgrounds and the WM_CTLCOLOR* answers.
  HBRUSH ColorBrush();

  // Appends the focusable order of this control's descendants.
  void GetTabOrderList(std::vector<TWinControl*>& list);

  // Offered to the children, depth first, until one takes it.
  bool DialogChar(char character) override;
  // Told to every child, so that windowless ones at any depth learn it.
  void FocusChanged(TWinControl* focused) override;
  // The topmost visible windowless child at a point of the client area.
  TControl* ControlAtPos(POINT at) const;

 protected:
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateHandle();
  // After the window is made: apply what was kept in fields.
  virtual void HandleCreated();
  // Notifications reflected from the parent: WM_COMMAND, WM_CTLCOLOR*.
  virtual void CommandNotify(WORD code);
  virtual HBRUSH CtlColor(HDC dc);
  // Our own window classes paint their background and graphic children.
  virtual void PaintWindow(HDC dc);
  void PaintControls(HDC dc);

  void BoundsChanged() override;
  void VisibleChanged() override;
  void EnabledChanged() override;
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;

  HWND handle_ = nullptr;

 private:
  friend class TControl;
  static LRESULT CALLBACK ObjectWndProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  void Attach(HWND window);
  void Detach();
  // Mouse messages on behalf of the windowless children.
  void MouseMovedTo(POINT at);
  void MouseLeftWindow();
  void MouseButton(UINT message, POINT at);
  void EndMouseCapture();

  WNDPROC defaultProc_ = nullptr;
  bool ownClass_ = false;
  std::vector<TControl*> controls_;
  bool tabStop_ = false;
  int tabOrder_ = -1;
  bool aligning_ = false;
  UniqueBrush brush_;
  COLORREF brushColor_ = 0;
  // The windowless child under the cursor, and the one a left press went
  // down on while this window holds the capture for it.
  TControl* mouseControl_ = nullptr;
  TControl* captureControl_ = nullptr;
  bool trackingLeave_ = false;
};

}  // namespace qv
