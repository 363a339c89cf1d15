#include "controls/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <set>

#include "core/Exceptions.h"
#include "core/TypeInfoBuilder.h"
#include "win32/Callbacks.h"
#include "win32/Guard.h"

namespace qv {

namespace {
constexpr const char* kObjectProperty = "QvControlObject";

HINSTANCE ModuleInstance() {
  return ::GetModuleHandleA(nullptr);
}

void RegisterOwnClass(const TCreateParams& params) {
  static std::set<std::string> registered;
  if (registered.count(params.className) != 0)
    return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = params.classStyle;
  wc.lpfnWndProc = ::DefWindowProcA;  // replaced per window by Attach
  wc.hInstance = ModuleInstance();
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = params.className.c_str();
  if (::RegisterClassExA(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw EOutOfResources("Error creating window class");
  }
  registered.insert(params.className);
}
}  // namespace

TShiftState KeyboardShiftState() {
  TShiftState state = 0;
  if (::GetKeyState(VK_SHIFT) < 0)
    state |= ssShift;
  if (::GetKeyState(VK_CONTROL) < 0)
    state |= ssCtrl;
  if (::GetKeyState(VK_MENU) < 0)
    state |= ssAlt;
  return state;
}

const TEnumInfo& AlignEnum() {
  static const TEnumInfo info{"TAlign",
                              {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};
  return info;
}

// ---------------------------------------------------------------- TControl

const TClassInfo& TControl::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TControl>("TControl", &TComponent::StaticClassInfo())
          .Integer("Left", &TControl::Left, &TControl::SetLeft)
          .Integer("Top", &TControl::Top, &TControl::SetTop)
          .Integer("Width", &TControl::Width, &TControl::SetWidth)
          .Integer("Height", &TControl::Height, &TControl::SetHeight)
          .Enumeration("Align", AlignEnum(), &TControl::Align, &TControl::SetAlign)
          .Default(0)
          .String("Caption", &TControl::Caption, &TControl::SetCaption)
          .Integer("Color", &TControl::Color, &TControl::SetColor, "TColor")
          .Object("Font", TFont::StaticClassInfo(), [](TControl& c) { return &c.Font(); })
          .Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor)
          .Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont)
          .Boolean("Visible", &TControl::Visible, &TControl::SetVisible)
          .Default(1)
          .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled)
          .Default(1)
          .EventField("OnClick", &TControl::OnClick)
          .Build();
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] {
    parentFont_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  font_.OnChange = nullptr;
  if (parent_ != nullptr)
    parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_)
    return;
  if (parent == this)
    throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_ != nullptr)
    parent_->RemoveControl(this);
  if (parent != nullptr)
    parent->InsertControl(this);
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* container = dynamic_cast<TWinControl*>(parent))
    SetParent(container);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_)
    return;
  if (!IsWindowed())
    Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_)
    return;
  visible_ = visible;
  VisibleChanged();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  EnabledChanged();
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == caption_ && Text() == caption)
    return;
  caption_ = caption;
  TextChanged();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_)
    return;
  align_ = align;
  if (parent_ != nullptr)
    parent_->AlignControls();
}

void TControl::ScaleBy(int m, int d) {
  if (m == d || d == 0)
    return;
  const auto scale = [m, d](int v) { return static_cast<int>(static_cast<int64_t>(v) * m / d); };
  SetBounds(scale(left_), scale(top_), scale(width_), scale(height_));
  if (!parentFont_)
    font_.SetHeight(scale(font_.Height()));
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value)
    ParentFontChanged();
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color == color_)
    return;
  color_ = color;
  ColorChanged();
}

void TControl::SetParentColor(bool value) {
  parentColor_ = value;
  if (value)
    ParentColorChanged();
}

void TControl::ParentFontChanged() {
  if (!parentFont_ || parent_ == nullptr)
    return;
  std::function<void()> saved = std::move(font_.OnChange);
  font_.OnChange = nullptr;
  font_.Assign(parent_->Font());
  font_.OnChange = std::move(saved);
  FontChanged();
}

void TControl::ParentColorChanged() {
  if (!parentColor_ || parent_ == nullptr)
    return;
  if (color_ == parent_->Color())
    return;
  color_ = parent_->Color();
  ColorChanged();
}

void TControl::Click() {
  if (OnClick)
    OnClick(this);
}

TFormHost* TControl::ParentForm() const {
  const TControl* control = this;
  while (control->parent_ != nullptr)
    control = control->parent_;
  return dynamic_cast<TFormHost*>(const_cast<TControl*>(control));
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_)
      return false;
  }
  return true;
}

void TControl::Paint(HDC) {}

bool TControl::DialogChar(char) {
  return false;
}
void TControl::FocusChanged(TWinControl*) {}
void TControl::MouseEnter() {}
void TControl::MouseLeave() {}
void TControl::MouseDown(TMouseButton) {}
void TControl::MouseUp(TMouseButton) {}

void TControl::Invalidate() {
  if (parent_ == nullptr || !parent_->HandleAllocated())
    return;
  RECT r = BoundsRect();
  ::InvalidateRect(parent_->Handle(), &r, TRUE);
}

void TControl::BoundsChanged() {
  Invalidate();
  // An aligned control keeps its place: a size of its own choosing (an
  // auto-sized label) only sets the extent the alignment does not fix.
  if (align_ != TAlign::alNone && parent_ != nullptr)
    parent_->AlignControls();
}
void TControl::VisibleChanged() {
  Invalidate();
}
void TControl::EnabledChanged() {
  Invalidate();
}
void TControl::TextChanged() {
  Invalidate();
}
void TControl::FontChanged() {
  Invalidate();
}
void TControl::ColorChanged() {
  Invalidate();
}

// ------------------------------------------------------------- TWinControl

const TClassInfo& TWinControl::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TWinControl>("TWinControl", &TControl::StaticClassInfo())
          .Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, "TTabOrder")
          .Boolean("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop)
          .Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  NotifyFreeing();
  // Children first, each taking its own window with it; then our window.
  while (!controls_.empty()) {
    TControl* child = controls_.back();
    RemoveControl(child);
    delete child;
  }
  DestroyHandle();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  if (auto* win = dynamic_cast<TWinControl*>(control); win != nullptr && win->tabOrder_ < 0) {
    win->tabOrder_ = static_cast<int>(std::count_if(controls_.begin(), controls_.end(),
                                                    [](TControl* c) { return c->IsWindowed(); })) -
                     1;
  }
  control->ParentFontChanged();
  control->ParentColorChanged();
  if (handle_ != nullptr) {
    if (auto* win = dynamic_cast<TWinControl*>(control)) {
      win->HandleNeeded();
    } else {
      control->Invalidate();
    }
  }
  if (control->Align() != TAlign::alNone)
    AlignControls();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end())
    return;
  control->Invalidate();
  controls_.erase(it);
  if (control == mouseControl_)
    mouseControl_ = nullptr;
  if (control == captureControl_) {
    captureControl_ = nullptr;
    if (handle_ != nullptr && ::GetCapture() == handle_)
      ::ReleaseCapture();
  }
  // The window must not keep a control that has left it as the one to give
  // the focus back to. A control being destroyed is no longer recognisable
  // as a windowed one here, so every control is reported.
  if (TFormHost* form = ParentForm())
    form->ControlHidden(control);
  if (auto* win = dynamic_cast<TWinControl*>(control))
    win->DestroyHandle();
  control->parent_ = nullptr;
}

HWND TWinControl::Handle() {
  if (handle_ == nullptr) {
    if (Parent() != nullptr)
      Parent()->HandleNeeded();
    if (handle_ == nullptr)
      CreateHandle();
  }
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.className = ClassName();
  params.systemClass = false;
  params.style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (Parent() != nullptr)
    params.style |= WS_CHILD;
  if (visible_ && Parent() != nullptr)
    params.style |= WS_VISIBLE;
  if (!Enabled())
    params.style |= WS_DISABLED;
  if (tabStop_)
    params.style |= WS_TABSTOP;
  params.x = left_;
  params.y = top_;
  params.width = width_;
  params.height = height_;
  params.parent = Parent() != nullptr ? Parent()->handle_ : nullptr;
}

void TWinControl::CreateHandle() {
  TCreateParams params;
  CreateParams(params);
  if (!params.systemClass)
    RegisterOwnClass(params);
  HWND window = ::CreateWindowExA(params.exStyle, params.className.c_str(), Caption().c_str(),
                                  params.style, params.x, params.y, params.width, params.height,
                                  params.parent, nullptr, ModuleInstance(), nullptr);
  if (window == nullptr) {
    throw EOutOfResources("Error creating window for " + std::string(ClassName()));
  }
  Attach(window);
  ownClass_ = !params.systemClass;
  ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
  HandleCreated();
  for (TControl* child : controls_) {
    if (auto* win = dynamic_cast<TWinControl*>(child))
      win->HandleNeeded();
  }
}

void TWinControl::HandleCreated() {}

void TWinControl::Attach(HWND window) {
  handle_ = window;
  ::SetPropA(window, kObjectProperty, reinterpret_cast<HANDLE>(this));
  defaultProc_ = ReplaceWindowProcedure(window, &TWinControl::ObjectWndProc);
}

void TWinControl::Detach() {
  if (handle_ == nullptr)
    return;
  ::RemovePropA(handle_, kObjectProperty);
  handle_ = nullptr;
}

void TWinControl::DestroyHandle() {
  if (handle_ == nullptr)
    return;
  for (TControl* child : controls_) {
    if (auto* win = dynamic_cast<TWinControl*>(child))
      win->DestroyHandle();
  }
  HWND window = handle_;
  ::DestroyWindow(window);
  // WM_NCDESTROY detached us; a window that was already gone did not.
  if (handle_ == window)
    Detach();
}

TWinControl* TWinControl::FromHandle(HWND window) {
  if (window == nullptr)
    return nullptr;
  return reinterpret_cast<TWinControl*>(::GetPropA(window, kObjectProperty));
}

TWinControl* TWinControl::FindOwningControl(HWND window) {
  for (HWND w = window; w != nullptr; w = ::GetParent(w)) {
    if (TWinControl* control = FromHandle(w))
      return control;
  }
  return nullptr;
}

LRESULT CALLBACK TWinControl::ObjectWndProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) noexcept {
  LRESULT result = 0;
  Guarded([&] {
    TWinControl* control = FromHandle(window);
    if (control == nullptr) {
      result = ::DefWindowProcA(window, message, wParam, lParam);
    } else if (message == WM_NCDESTROY) {
      WNDPROC proc = control->defaultProc_;
      control->Detach();
      result = ::CallWindowProcA(proc, window, message, wParam, lParam);
    } else {
      result = control->WndProc(message, wParam, lParam);
    }
  });
  return result;
}

LRESULT TWinControl::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  if (handle_ == nullptr)
    return 0;
  return ::CallWindowProcA(defaultProc_, handle_, message, wParam, lParam);
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0) {
        if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
          child->CommandNotify(HIWORD(wParam));
          return 0;
        }
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
      if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
        if (HBRUSH brush = child->CtlColor(reinterpret_cast<HDC>(wParam))) {
          return reinterpret_cast<LRESULT>(brush);
        }
      }
      break;
    case WM_ERASEBKGND:
      if (ownClass_) {
        RECT r;
        ::GetClientRect(handle_, &r);
        ::FillRect(reinterpret_cast<HDC>(wParam), &r, ColorBrush());
        return 1;
      }
      break;
    case WM_PAINT:
      if (ownClass_) {
        PaintGuard paint(handle_);
        PaintWindow(paint.dc());
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (TFormHost* form = ParentForm())
        form->SetFocusedControl(this);
      break;
    case WM_MOUSEMOVE:
      MouseMovedTo(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_MOUSELEAVE:
      MouseLeftWindow();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
      MouseButton(message, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_CAPTURECHANGED:
      // Losing the capture (a modal run cancels it) ends the press as a
      // release would; our own release has already cleared the record.
      if (captureControl_ != nullptr && reinterpret_cast<HWND>(lParam) != handle_)
        EndMouseCapture();
      break;
    case WM_SIZE:
      if (ownClass_)
        AlignControls();
      break;
    default:
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}

void TWinControl::MouseMovedTo(POINT at) {
  TControl* hit = ControlAtPos(at);
  if (hit != mouseControl_) {
    TControl* left = mouseControl_;
    mouseControl_ = hit;
    if (left != nullptr)
      left->MouseLeave();
    // A leave handler may have removed the control now under the cursor.
    if (hit != nullptr && hit == mouseControl_)
      hit->MouseEnter();
  }
  // Without a request the window hears nothing when the cursor leaves it,
  // and the control under the cursor would never learn that it was left.
  if (mouseControl_ != nullptr && !trackingLeave_ && handle_ != nullptr) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = handle_;
    trackingLeave_ = ::TrackMouseEvent(&track) != FALSE;
  }
}

void TWinControl::MouseLeftWindow() {
  trackingLeave_ = false;
  TControl* left = mouseControl_;
  mouseControl_ = nullptr;
  if (left != nullptr)
    left->MouseLeave();
}

void TWinControl::MouseButton(UINT message, POINT at) {
  TMouseButton button = TMouseButton::mbLeft;
  bool down = true;
  switch (message) {
    case WM_LBUTTONUP:
      down = false;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      button = TMouseButton::mbRight;
      break;
    case WM_RBUTTONUP:
      button = TMouseButton::mbRight;
      down = false;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      button = TMouseButton::mbMiddle;
      break;
    case WM_MBUTTONUP:
      button = TMouseButton::mbMiddle;
      down = false;
      break;
    default:
      break;
  }
  if (button == TMouseButton::mbLeft && !down && captureControl_ != nullptr) {
    EndMouseCapture();
    MouseMovedTo(at);
    return;
  }
  TControl* hit = ControlAtPos(at);
  if (hit == nullptr)
    return;
  if (!down) {
    hit->MouseUp(button);
    return;
  }
  if (button == TMouseButton::mbLeft && handle_ != nullptr) {
    // The release must reach the control even when it happens outside this
    // window.
    captureControl_ = hit;
    ::SetCapture(handle_);
  }
  hit->MouseDown(button);
}

void TWinControl::EndMouseCapture() {
  TControl* pressed = captureControl_;
  captureControl_ = nullptr;
  if (handle_ != nullptr && ::GetCapture() == handle_)
    ::ReleaseCapture();
  if (pressed != nullptr)
    pressed->MouseUp(TMouseButton::mbLeft);
}

TControl* TWinControl::ControlAtPos(POINT at) const {
  // Later children are painted over earlier ones.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* child = *it;
    if (child->IsWindowed() || !child->Visible())
      continue;
    const RECT bounds = child->BoundsRect();
    if (::PtInRect(&bounds, at))
      return child;
  }
  return nullptr;
}

// By index into the live list: a child's handler may add or destroy
// controls, and a destroyed one must not be reached.
bool TWinControl::DialogChar(char character) {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i]->DialogChar(character))
      return true;
  }
  return false;
}

void TWinControl::FocusChanged(TWinControl* focused) {
  for (size_t i = 0; i < controls_.size(); ++i)
    controls_[i]->FocusChanged(focused);
}

void TWinControl::CommandNotify(WORD) {}

HBRUSH TWinControl::CtlColor(HDC dc) {
  ::SetTextColor(dc, ColorToRGB(Font().Color()));
  ::SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

HBRUSH TWinControl::ColorBrush() {
  const COLORREF rgb = ColorToRGB(Color());
  if (!brush_ || brushColor_ != rgb) {
    brush_.reset(::CreateSolidBrush(rgb));
    brushColor_ = rgb;
  }
  return brush_.get();
}

void TWinControl::PaintWindow(HDC dc) {
  PaintControls(dc);
}

void TWinControl::PaintControls(HDC dc) {
  for (TControl* child : controls_) {
    if (child->IsWindowed() || !child->Visible())
      continue;
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, child->Left(), child->Top(), child->Left() + child->Width(),
                        child->Top() + child->Height());
    ::SetViewportOrgEx(dc, child->Left(), child->Top(), nullptr);
    child->Paint(dc);
    ::RestoreDC(dc, saved);
  }
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop_)
    return;
  tabStop_ = value;
  if (handle_ != nullptr) {
    LONG_PTR style = ::GetWindowLongPtrA(handle_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    ::SetWindowLongPtrA(handle_, GWL_STYLE, style);
  }
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled())
      return false;
  }
  return true;
}

bool TWinControl::Focused() const {
  return handle_ != nullptr && ::GetFocus() == handle_;
}

void TWinControl::SetFocus() {
  if (!CanFocus())
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(Handle());
}

std::string TWinControl::Text() const {
  if (handle_ == nullptr)
    return Caption();
  const int length = ::GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(handle_, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) {
  std::vector<TWinControl*> children;
  for (TControl* child : controls_) {
    if (auto* win = dynamic_cast<TWinControl*>(child))
      children.push_back(win);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](TWinControl* a, TWinControl* b) { return a->tabOrder_ < b->tabOrder_; });
  for (TWinControl* win : children) {
    list.push_back(win);
    win->GetTabOrderList(list);
  }
}

RECT TWinControl::ClientRect() {
  RECT r{0, 0, width_, height_};
  if (handle_ != nullptr)
    ::GetClientRect(handle_, &r);
  return r;
}

void TWinControl::AlignControls() {
  // While the window is read, the stored positions decide the stacking of
  // aligned children; placing them before all are read would reorder them.
  if (aligning_ || HasState(csLoading))
    return;
  aligning_ = true;
  RECT area = ClientRect();
  const auto ofKind = [this](TAlign align) {
    std::vector<TControl*> list;
    for (TControl* c : controls_) {
      if (c->Align() == align && c->Visible())
        list.push_back(c);
    }
    return list;
  };
  std::vector<TControl*> tops = ofKind(TAlign::alTop);
  std::stable_sort(tops.begin(), tops.end(),
                   [](TControl* a, TControl* b) { return a->Top() < b->Top(); });
  for (TControl* c : tops) {
    c->SetBounds(area.left, area.top, area.right - area.left, c->Height());
    area.top += c->Height();
  }
  std::vector<TControl*> bottoms = ofKind(TAlign::alBottom);
  std::stable_sort(bottoms.begin(), bottoms.end(),
                   [](TControl* a, TControl* b) { return a->Top() > b->Top(); });
  for (TControl* c : bottoms) {
    area.bottom -= c->Height();
    c->SetBounds(area.left, area.bottom, area.right - area.left, c->Height());
  }
  for (TControl* c : ofKind(TAlign::alLeft)) {
    c->SetBounds(area.left, area.top, c->Width(), area.bottom - area.top);
    area.left += c->Width();
  }
  for (TControl* c : ofKind(TAlign::alRight)) {
    area.right -= c->Width();
    c->SetBounds(area.right, area.top, c->Width(), area.bottom - area.top);
  }
  for (TControl* c : ofKind(TAlign::alClient)) {
    c->SetBounds(area.left, area.top, area.right - area.left, area.bottom - area.top);
  }
  aligning_ = false;
}

void TWinControl::Loaded() {
  TControl::Loaded();
  AlignControls();
}

void TWinControl::ScaleBy(int m, int d) {
  TControl::ScaleBy(m, d);
  for (TControl* child : controls_)
    child->ScaleBy(m, d);
}

bool TWinControl::PreProcessKey(const MSG& message) {
  TFormHost* form = ParentForm();
  if (form == nullptr)
    return false;
  const TShiftState shift = KeyboardShiftState();
  const WPARAM key = message.wParam;
  const auto dialogCode = [&] {
    MSG copy = message;
    return static_cast<UINT>(
        ::SendMessageA(message.hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&copy)));
  };
  switch (message.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      if (form->KeyPreview() && form->PreviewKeyDown(static_cast<WORD>(key), shift))
        return true;
      UINT wanted = 0;
      switch (key) {
        case VK_TAB:
          wanted = DLGC_WANTTAB | DLGC_WANTALLKEYS;
          break;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
          wanted = DLGC_WANTARROWS | DLGC_WANTALLKEYS;
          break;
        case VK_RETURN:
        case VK_ESCAPE:
          wanted = DLGC_WANTALLKEYS | DLGC_WANTMESSAGE;
          break;
        default:
          return false;
      }
      if ((dialogCode() & wanted) != 0)
        return false;
      return form->DialogKey(static_cast<WORD>(key), shift, this);
    }
    case WM_CHAR:
    case WM_SYSCHAR:
      if (message.message == WM_CHAR && (dialogCode() & DLGC_WANTCHARS) != 0)
        return false;
      // The window's own controls are asked, as for any container.
      return dynamic_cast<TWinControl&>(*form).DialogChar(static_cast<char>(key));
    default:
      return false;
  }
}

void TWinControl::BoundsChanged() {
  if (handle_ != nullptr) {
    ::SetWindowPos(handle_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (Align() != TAlign::alNone && Parent() != nullptr)
    Parent()->AlignControls();
  AlignControls();
}

void TWinControl::VisibleChanged() {
  if (handle_ != nullptr)
    ::ShowWindow(handle_, visible_ ? SW_SHOWNA : SW_HIDE);
  if (!visible_ && Parent() != nullptr) {
    if (TFormHost* form = ParentForm())
      form->ControlHidden(this);
  }
}

void TWinControl::EnabledChanged() {
  if (handle_ != nullptr)
    ::EnableWindow(handle_, Enabled() ? TRUE : FALSE);
}

void TWinControl::TextChanged() {
  if (handle_ != nullptr)
    ::SetWindowTextA(handle_, Caption().c_str());
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  if (handle_ != nullptr) {
    ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
  }
  for (TControl* child : controls_)
    child->ParentFontChanged();
}

void TWinControl::ColorChanged() {
  if (handle_ != nullptr)
    ::InvalidateRect(handle_, nullptr, TRUE);
  for (TControl* child : controls_)
    child->ParentColorChanged();
}

}  // namespace qv
