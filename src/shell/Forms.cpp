#include "shell/Forms.h"

#include <algorithm>

#include "core/Exceptions.h"
#include "shell/FormsHost.h"
#include "shell/FormResources.h"
#include "win32/Guard.h"
#include "win32/TaskWindows.h"
#include "core/Filer.h"
#include "core/Stream.h"
#include "core/TypeInfoBuilder.h"
#include "controls/StdCtrls.h"

namespace qv {

namespace {
TFormsHost* registeredHost = nullptr;
}  // namespace

TFormsHost* FormsHost() noexcept {
  return registeredHost;
}

void SetFormsHost(TFormsHost* host) noexcept {
  registeredHost = host;
}

const TEnumInfo& FormBorderStyleEnum() {
  static const TEnumInfo info{
      "TFormBorderStyle",
      {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
  return info;
}
const TEnumInfo& BorderIconEnum() {
  static const TEnumInfo info{"TBorderIcon",
                              {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
  return info;
}
const TEnumInfo& PositionEnum() {
  static const TEnumInfo info{
      "TPosition",
      {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter"}};
  return info;
}
const TEnumInfo& WindowStateEnum() {
  static const TEnumInfo info{"TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"}};
  return info;
}

// -------------------------------------------------------------------- TIcon

const TClassInfo& TIcon::StaticClassInfo() {
  static const TClassInfo info("TIcon", &TPersistent::StaticClassInfo());
  return info;
}

void TIcon::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& stream) {
        std::vector<uint8_t> file(static_cast<size_t>(stream.Size()));
        stream.SetPosition(0);
        stream.ReadBuffer(file.data(), static_cast<int64_t>(file.size()));
        LoadIconFile(std::move(file));
      },
      [this](TStream& stream) {
        stream.WriteBuffer(file_.data(), static_cast<int64_t>(file_.size()));
      },
      !file_.empty());
}

void TIcon::LoadIconFile(std::vector<uint8_t> file) {
  // ICONDIR (6 bytes), then 16-byte entries: width, height, colours,
  // reserved, planes, bit count, bytes in resource, offset.
  const auto u16 = [&](size_t at) { return static_cast<uint16_t>(file[at] | (file[at + 1] << 8)); };
  const auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16);
  };
  if (file.size() < 6 || u16(0) != 0 || u16(2) != 1 || u16(4) == 0 ||
      file.size() < 6 + 16u * u16(4)) {
    throw EReadError("Icon image is not valid");
  }
  size_t chosen = 0;
  for (size_t i = 0; i < u16(4); ++i) {
    if (file[6 + 16 * i] == 32 && file[7 + 16 * i] == 32)
      chosen = i;
  }
  const size_t entry = 6 + 16 * chosen;
  const uint32_t size = u32(entry + 8);
  const uint32_t offset = u32(entry + 12);
  if (offset > file.size() || size > file.size() - offset) {
    throw EReadError("Icon image is not valid");
  }
  HICON icon = ::CreateIconFromResourceEx(file.data() + offset, size, TRUE, 0x00030000, 0, 0,
                                          LR_DEFAULTCOLOR);
  handle_.reset(icon);
  file_ = std::move(file);
  if (OnChange)
    OnChange();
}

// -------------------------------------------------------------- TCustomForm

const TClassInfo& TCustomForm::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TCustomForm>("TCustomForm", &TWinControl::StaticClassInfo())
          .SetOf("BorderIcons", BorderIconEnum(), &TCustomForm::BorderIcons,
                 [](TCustomForm& f, int64_t v) { f.SetBorderIcons(static_cast<TBorderIcons>(v)); })
          .Default(biSystemMenu | biMinimize | biMaximize)
          .Enumeration("BorderStyle", FormBorderStyleEnum(), &TCustomForm::BorderStyle,
                       &TCustomForm::SetBorderStyle)
          .Default(static_cast<int>(TFormBorderStyle::bsSizeable))
          .Integer("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth)
          .Integer("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight)
          .Object("Icon", TIcon::StaticClassInfo(), [](TCustomForm& f) { return &f.Icon(); })
          .Boolean("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview)
          .Default(0)
          .Boolean("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder)
          .Integer("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch)
          .Enumeration("Position", PositionEnum(), &TCustomForm::Position,
                       &TCustomForm::SetPosition)
          .Default(0)
          .Boolean("Scaled", &TCustomForm::Scaled, &TCustomForm::SetScaled)
          .Default(1)
          .Integer("TextHeight", &TCustomForm::TextHeight, &TCustomForm::SetTextHeight)
          .Enumeration("WindowState", WindowStateEnum(), &TCustomForm::WindowState,
                       &TCustomForm::SetWindowState)
          .Default(0)
          .EventField("OnCreate", &TCustomForm::OnCreate)
          .EventField("OnShow", &TCustomForm::OnShow)
          .EventField("OnClose", &TCustomForm::OnClose)
          .EventField("OnCloseQuery", &TCustomForm::OnCloseQuery)
          .Build();
  return info;
}

const TClassInfo& TForm::StaticClassInfo() {
  static const TClassInfo info("TForm", &TCustomForm::StaticClassInfo());
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  visible_ = false;
  SetBounds(0, 0, 320, 240);
  icon_.OnChange = [this] {
    if (HandleAllocated())
      HandleCreated();
  };
}

void TCustomForm::HandleCreated() {
  TWinControl::HandleCreated();
  if (icon_.Handle() != nullptr) {
    ::SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Handle()));
    ::SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Handle()));
  }
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  if (!scaled_)
    return;
  WindowDc screen(nullptr);
  const int screenPpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  if (screenPpi > 0 && pixelsPerInch_ > 0 && screenPpi != pixelsPerInch_) {
    const int clientW = ClientWidth();
    const int clientH = ClientHeight();
    for (int i = 0; i < ControlCount(); ++i)
      Controls(i)->ScaleBy(screenPpi, pixelsPerInch_);
    Font().SetHeight(Font().Height() * screenPpi / pixelsPerInch_);
    SetClientSize(clientW * screenPpi / pixelsPerInch_, clientH * screenPpi / pixelsPerInch_);
    pixelsPerInch_ = screenPpi;
  }
}

TCustomForm::~TCustomForm() = default;

void TCustomForm::AfterConstruction() {
  // A window class of its own is built from its form resource; a plain
  // form (a message dialog) is built in code.
  if (&ClassType() != &TForm::StaticClassInfo() && &ClassType() != &StaticClassInfo()) {
    ReadFormResource(*this);
  }
  if (OnCreate)
    Guarded([this] { OnCreate(this); });
}

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.style &= ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE);
  params.exStyle = 0;
  switch (borderStyle_) {
    case TFormBorderStyle::bsNone:
      params.style |= WS_POPUP;
      break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow:
      params.style |= WS_CAPTION | WS_BORDER;
      break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin:
      params.style |= WS_CAPTION | WS_THICKFRAME;
      break;
    case TFormBorderStyle::bsDialog:
      params.style |= WS_POPUP | WS_CAPTION;
      params.exStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (borderStyle_ == TFormBorderStyle::bsToolWindow ||
      borderStyle_ == TFormBorderStyle::bsSizeToolWin) {
    params.exStyle |= WS_EX_TOOLWINDOW;
  }
  if (borderStyle_ != TFormBorderStyle::bsNone && (borderIcons_ & biSystemMenu) != 0) {
    params.style |= WS_SYSMENU;
    if (borderStyle_ != TFormBorderStyle::bsDialog) {
      if ((borderIcons_ & biMinimize) != 0)
        params.style |= WS_MINIMIZEBOX;
      if ((borderIcons_ & biMaximize) != 0)
        params.style |= WS_MAXIMIZEBOX;
    }
  }
  if (windowState_ == TWindowState::wsMaximized)
    params.style |= WS_MAXIMIZE;
  // Owned by the application window, whose button on the task bar is the
  // program's only one: no window of the run gets a button of its own.
  TFormsHost* host = FormsHost();
  params.parent = host != nullptr ? host->Handle() : nullptr;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle style) {
  borderStyle_ = style;
  if (HandleAllocated()) {
    DestroyHandle();
    HandleNeeded();
  }
}

void TCustomForm::SetBorderIcons(TBorderIcons icons) {
  borderIcons_ = icons;
  if (HandleAllocated()) {
    DestroyHandle();
    HandleNeeded();
  }
}

void TCustomForm::SetWindowState(TWindowState state) {
  if (state == windowState_)
    return;
  windowState_ = state;
  if (HandleAllocated() && Visible()) {
    ::ShowWindow(handle_, state == TWindowState::wsMaximized   ? SW_SHOWMAXIMIZED
                          : state == TWindowState::wsMinimized ? SW_SHOWMINIMIZED
                                                               : SW_SHOWNORMAL);
  }
}

RECT TCustomForm::OuterRectForClient(int width, int height) {
  TCreateParams params;
  CreateParams(params);
  RECT r{0, 0, width, height};
  ::AdjustWindowRectEx(&r, params.style, FALSE, params.exStyle);
  return r;
}

int TCustomForm::ClientWidth() {
  const RECT frame = OuterRectForClient(0, 0);
  return Width() - (frame.right - frame.left);
}

int TCustomForm::ClientHeight() {
  const RECT frame = OuterRectForClient(0, 0);
  return Height() - (frame.bottom - frame.top);
}

void TCustomForm::SetClientSize(int width, int height) {
  const RECT r = OuterRectForClient(width, height);
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

void TCustomForm::SetActiveControl(TWinControl* control) {
  activeControl_ = control;
  if (control != nullptr && HandleAllocated() && ::GetActiveWindow() == handle_ &&
      control->CanFocus()) {
    control->SetFocus();
  }
}

void TCustomForm::ApplyPlacement() {
  if (position_ == TPosition::poScreenCenter) {
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - Width()) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - Height()) / 2;
    SetBounds(left, top, Width(), Height());
    position_ = TPosition::poDesigned;
  }
}

void TCustomForm::VisibleChanged() {
  HandleNeeded();
  if (visible_) {
    ApplyPlacement();
    if (OnShow)
      Guarded([this] { OnShow(this); });
    int command = SW_SHOWNORMAL;
    if (windowState_ == TWindowState::wsMaximized)
      command = SW_SHOWMAXIMIZED;
    if (windowState_ == TWindowState::wsMinimized)
      command = SW_SHOWMINIMIZED;
    ::ShowWindow(handle_, command);
  } else {
    ::ShowWindow(handle_, SW_HIDE);
  }
}

void TCustomForm::PaintWindow(HDC dc) {
  PaintControls(dc);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery)
    OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose)
    OnClose(this, action);
}

void TCustomForm::RequestClose() {
  if (modal_) {
    modalResult_ = resCancel;
    return;
  }
  if (!CloseQuery())
    return;
  TCloseAction action = TCloseAction::caHide;
  DoClose(action);
  if (action == TCloseAction::caNone)
    return;
  TFormsHost* host = FormsHost();
  if (host != nullptr && host->MainWindow() == this) {
    host->RequestTermination();
  } else if (action == TCloseAction::caHide) {
    Hide();
  } else if (action == TCloseAction::caMinimize) {
    ::ShowWindow(Handle(), SW_MINIMIZE);
  } else if (action == TCloseAction::caFree) {
    ReleaseLater();
  }
}

void TCustomForm::ReleaseLater() {
  ::PostMessageA(Handle(), CM_RELEASE, 0, 0);
}

void TCustomForm::ModalCloseStep() {
  try {
    TCloseAction action = TCloseAction::caNone;
    if (CloseQuery()) {
      action = TCloseAction::caHide;
      DoClose(action);
    }
    if (action == TCloseAction::caNone) {
      modalResult_ = resNone;
    } else if (action == TCloseAction::caFree) {
      ReleaseLater();
    }
  } catch (...) {
    modalResult_ = resNone;
    HandleCurrentException();
  }
}

namespace {
// Undoes what a modal run changed, also when an exception leaves the loop.
class ModalRestore {
 public:
  ModalRestore(TCustomForm& form, bool& modal)
      : form_(form),
        modal_(modal),
        activeBefore_(::GetActiveWindow()),
        focusBefore_(::GetFocus()),
        cursor_(::GetCursor()) {}
  ModalRestore(const ModalRestore&) = delete;
  ModalRestore& operator=(const ModalRestore&) = delete;
  ~ModalRestore() {
    Guarded([this] { form_.Hide(); });
    ::SetCursor(cursor_);
    EnableTaskWindows(disabled_);
    if (focusBefore_ != nullptr && ::IsWindow(focusBefore_))
      ::SetFocus(focusBefore_);
    if (activeBefore_ != nullptr && ::IsWindow(activeBefore_))
      ::SetActiveWindow(activeBefore_);
    modal_ = false;
  }
  void Disable(HWND except) { disabled_ = DisableTaskWindows(except); }
  void ForgetActive() { activeBefore_ = nullptr; }

 private:
  TCustomForm& form_;
  bool& modal_;
  HWND activeBefore_;
  HWND focusBefore_;
  HCURSOR cursor_;
  std::vector<HWND> disabled_;
};
}  // namespace

TModalResult TCustomForm::RunModal() {
  if (Visible() || !Enabled() || modal_) {
    throw EInvalidOperation("Cannot make a visible window modal");
  }
  if (HWND capture = ::GetCapture())
    ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
  ::ReleaseCapture();

  modal_ = true;
  ModalRestore restore(*this, modal_);
  ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
  restore.Disable(Handle());

  Show();
  ::SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(handle_);
  ::SetActiveWindow(handle_);
  ::SendMessageA(handle_, CM_ACTIVATE, 0, 0);

  modalResult_ = resNone;
  do {
    FormsHost()->HandleOneMessage();
    if (FormsHost()->QuitReceived()) {
      modalResult_ = resCancel;
    } else if (modalResult_ != resNone) {
      ModalCloseStep();
    }
  } while (modalResult_ == resNone);

  const TModalResult result = modalResult_;
  ::SendMessageA(handle_, CM_DEACTIVATE, 0, 0);
  if (::GetActiveWindow() != handle_)
    restore.ForgetActive();
  return result;
}

void TCustomForm::ActivateFocus() {
  if (activeControl_ != nullptr && activeControl_->CanFocus()) {
    ::SetFocus(activeControl_->Handle());
    return;
  }
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  for (TWinControl* control : list) {
    if (control->TabStop() && control->CanFocus()) {
      control->SetFocus();
      return;
    }
  }
  ::SetFocus(handle_);
}

void TCustomForm::SetFocusedControl(TWinControl* control) {
  if (control != this) {
    activeControl_ = control;
    UpdateButtonLooks(control);
  }
  FocusChanged(control);
}

void TCustomForm::ControlHidden(const TControl* control) {
  for (const TControl* c = activeControl_; c != nullptr; c = c->Parent()) {
    if (c == control) {
      activeControl_ = nullptr;
      return;
    }
  }
}

TButton* TCustomForm::FindButton(const std::function<bool(TButton&)>& predicate) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  for (TWinControl* control : list) {
    auto* button = dynamic_cast<TButton*>(control);
    if (button != nullptr && predicate(*button))
      return button;
  }
  return nullptr;
}

void TCustomForm::UpdateButtonLooks(TWinControl* focused) {
  const bool focusOnButton = dynamic_cast<TButton*>(focused) != nullptr;
  FindButton([&](TButton& button) {
    button.SetActiveLook(focusOnButton ? &button == focused : button.Default());
    return false;
  });
}

bool TCustomForm::PreviewKeyDown(WORD, TShiftState) {
  return false;
}

void TCustomForm::SelectNext(TWinControl* current, bool forward) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  std::vector<TWinControl*> candidates;
  for (TWinControl* control : list) {
    if (control == current || (control->TabStop() && control->CanFocus())) {
      candidates.push_back(control);
    }
  }
  if (candidates.empty())
    return;
  auto it = std::find(candidates.begin(), candidates.end(), current);
  size_t index = 0;
  const size_t n = candidates.size();
  if (it == candidates.end()) {
    index = forward ? 0 : n - 1;
  } else {
    const size_t at = static_cast<size_t>(it - candidates.begin());
    index = forward ? (at + 1) % n : (at + n - 1) % n;
  }
  TWinControl* next = candidates[index];
  if (next->CanFocus() && next->TabStop())
    next->SetFocus();
}

bool TCustomForm::DialogKey(WORD key, TShiftState shift, TWinControl* focused) {
  switch (key) {
    case VK_TAB:
      if ((shift & (ssCtrl | ssAlt)) != 0)
        return false;
      SelectNext(focused, (shift & ssShift) == 0);
      return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      if (shift != 0)
        return false;
      SelectNext(focused, key == VK_RIGHT || key == VK_DOWN);
      return true;
    case VK_RETURN: {
      if (shift != 0)
        return false;
      TButton* button = dynamic_cast<TButton*>(focused);
      if (button == nullptr)
        button = FindButton([](TButton& b) { return b.Default(); });
      if (button == nullptr || !button->CanFocus())
        return false;
      button->Click();
      return true;
    }
    case VK_ESCAPE: {
      if (shift != 0)
        return false;
      TButton* button = FindButton([](TButton& b) { return b.Cancel(); });
      if (button == nullptr || !button->CanFocus())
        return false;
      button->Click();
      return true;
    }
    default:
      return false;
  }
}

LRESULT TCustomForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      RequestClose();
      return 0;
    case CM_RELEASE:
      delete this;
      return 0;
    case CM_ACTIVATE:
      ActivateFocus();
      return 0;
    case CM_DEACTIVATE:
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        LRESULT result = DefaultHandler(message, wParam, lParam);
        ActivateFocus();
        return result;
      }
      break;
    case WM_SYSCOMMAND:
      // Minimising the main window minimises the program: the application
      // window goes, with every window it owns, and its task bar button
      // brings them all back. An owned window minimised on its own would
      // have no button to come back from.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        TFormsHost* host = FormsHost();
        if (host != nullptr && host->MainWindow() == this && host->Handle() != nullptr) {
          ::ShowWindow(host->Handle(), SW_MINIMIZE);
          return 0;
        }
      }
      break;
    case WM_SIZE:
      if (wParam == SIZE_MAXIMIZED)
        windowState_ = TWindowState::wsMaximized;
      if (wParam == SIZE_MINIMIZED)
        windowState_ = TWindowState::wsMinimized;
      if (wParam == SIZE_RESTORED)
        windowState_ = TWindowState::wsNormal;
      break;
    case WM_WINDOWPOSCHANGED: {
      // Follow moves and sizes made by the user or the system.
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if ((pos->flags & SWP_NOMOVE) == 0) {
        left_ = pos->x;
        top_ = pos->y;
      }
      if ((pos->flags & SWP_NOSIZE) == 0 && !::IsZoomed(handle_) && !::IsIconic(handle_)) {
        width_ = pos->cx;
        height_ = pos->cy;
      }
      break;
    }
    default:
      break;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}

}  // namespace qv
