#include "controls/ExtCtrls.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Exceptions.h"
#include "core/Filer.h"
#include "core/Stream.h"
#include "core/TypeInfoBuilder.h"

namespace qv {

const TEnumInfo& BevelCutEnum() {
  static const TEnumInfo info{"TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}};
  return info;
}
const TEnumInfo& BevelShapeEnum() {
  static const TEnumInfo info{
      "TBevelShape",
      {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}};
  return info;
}
const TEnumInfo& BevelStyleEnum() {
  static const TEnumInfo info{"TBevelStyle", {"bsLowered", "bsRaised"}};
  return info;
}

namespace {
// A 3-D frame: highlight on the top-left, shadow on the bottom-right.
void Frame3D(HDC dc, RECT& r, COLORREF topLeft, COLORREF bottomRight, int width) {
  for (int i = 0; i < width; ++i) {
    UniquePen light(::CreatePen(PS_SOLID, 1, topLeft));
    UniquePen dark(::CreatePen(PS_SOLID, 1, bottomRight));
    {
      SelectGuard select(dc, light.get());
      ::MoveToEx(dc, r.left, r.bottom - 1, nullptr);
      ::LineTo(dc, r.left, r.top);
      ::LineTo(dc, r.right - 1, r.top);
    }
    {
      SelectGuard select(dc, dark.get());
      ::MoveToEx(dc, r.right - 1, r.top, nullptr);
      ::LineTo(dc, r.right - 1, r.bottom - 1);
      ::LineTo(dc, r.left - 1, r.bottom - 1);
    }
    ::InflateRect(&r, -1, -1);
  }
}

void Line(HDC dc, COLORREF color, int x1, int y1, int x2, int y2) {
  UniquePen pen(::CreatePen(PS_SOLID, 1, color));
  SelectGuard select(dc, pen.get());
  ::MoveToEx(dc, x1, y1, nullptr);
  ::LineTo(dc, x2, y2);
}
}  // namespace

// ------------------------------------------------------------------- TPanel

const TClassInfo& TPanel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TPanel>("TPanel", &TWinControl::StaticClassInfo())
          .Creatable()
          .Enumeration("BevelInner", BevelCutEnum(), &TPanel::BevelInner, &TPanel::SetBevelInner)
          .Default(0)
          .Enumeration("BevelOuter", BevelCutEnum(), &TPanel::BevelOuter, &TPanel::SetBevelOuter)
          .Default(2)
          .Integer("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth)
          .Default(1)
          .Build();
  return info;
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut value) {
  bevelOuter_ = value;
  AlignControls();
  Invalidate();
}
void TPanel::SetBevelInner(TBevelCut value) {
  bevelInner_ = value;
  AlignControls();
  Invalidate();
}
void TPanel::SetBevelWidth(int value) {
  bevelWidth_ = std::max(1, value);
  AlignControls();
  Invalidate();
}

RECT TPanel::ClientRect() {
  RECT r = TWinControl::ClientRect();
  int inset = 0;
  if (bevelOuter_ != TBevelCut::bvNone)
    inset += bevelWidth_;
  if (bevelInner_ != TBevelCut::bvNone)
    inset += bevelWidth_;
  ::InflateRect(&r, -inset, -inset);
  return r;
}

void TPanel::TextChanged() {
  TWinControl::TextChanged();
  if (HandleAllocated())
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TPanel::PaintPanel(HDC dc) {
  RECT r{0, 0, Width(), Height()};
  if (HandleAllocated())
    ::GetClientRect(handle_, &r);
  const COLORREF light = ColorToRGB(clBtnHighlight);
  const COLORREF dark = ColorToRGB(clBtnShadow);
  const auto bevel = [&](TBevelCut cut) {
    if (cut == TBevelCut::bvNone)
      return;
    if (cut == TBevelCut::bvLowered)
      Frame3D(dc, r, dark, light, bevelWidth_);
    if (cut == TBevelCut::bvRaised)
      Frame3D(dc, r, light, dark, bevelWidth_);
    if (cut == TBevelCut::bvSpace)
      ::InflateRect(&r, -bevelWidth_, -bevelWidth_);
  };
  bevel(bevelOuter_);
  bevel(bevelInner_);
  ::FillRect(dc, &r, ColorBrush());
  const std::string caption = Caption();
  if (!caption.empty()) {
    SelectGuard font(dc, Font().Handle());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ColorToRGB(Font().Color()));
    ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

void TPanel::PaintWindow(HDC dc) {
  PaintPanel(dc);
  PaintControls(dc);
}

// ------------------------------------------------------------------- TBevel

const TClassInfo& TBevel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TBevel>("TBevel", &TControl::StaticClassInfo())
          .Creatable()
          .Enumeration("Shape", BevelShapeEnum(), &TBevel::Shape, &TBevel::SetShape)
          .Default(0)
          .Enumeration("Style", BevelStyleEnum(), &TBevel::Style, &TBevel::SetStyle)
          .Default(0)
          .Build();
  return info;
}

TBevel::TBevel(TComponent* owner) : TControl(owner) {
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape value) {
  shape_ = value;
  Invalidate();
}
void TBevel::SetStyle(TBevelStyle value) {
  style_ = value;
  Invalidate();
}

void TBevel::Paint(HDC dc) {
  COLORREF first = ColorToRGB(clBtnShadow);
  COLORREF second = ColorToRGB(clBtnHighlight);
  if (style_ == TBevelStyle::bsRaised)
    std::swap(first, second);
  const int w = Width();
  const int h = Height();
  RECT r{0, 0, w, h};
  switch (shape_) {
    case TBevelShape::bsBox:
      Frame3D(dc, r, first, second, 1);
      break;
    case TBevelShape::bsFrame:
      Frame3D(dc, r, first, second, 1);
      Frame3D(dc, r, second, first, 1);
      break;
    case TBevelShape::bsTopLine:
      Line(dc, first, 0, 0, w, 0);
      Line(dc, second, 0, 1, w, 1);
      break;
    case TBevelShape::bsBottomLine:
      Line(dc, first, 0, h - 2, w, h - 2);
      Line(dc, second, 0, h - 1, w, h - 1);
      break;
    case TBevelShape::bsLeftLine:
      Line(dc, first, 0, 0, 0, h);
      Line(dc, second, 1, 0, 1, h);
      break;
    case TBevelShape::bsRightLine:
      Line(dc, first, w - 2, 0, w - 2, h);
      Line(dc, second, w - 1, 0, w - 1, h);
      break;
    case TBevelShape::bsSpacer:
      break;
  }
}

// ----------------------------------------------------------------- TPicture

const TClassInfo& TPicture::StaticClassInfo() {
  static const TClassInfo info("TPicture", &TPersistent::StaticClassInfo());
  return info;
}

void TPicture::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& stream) {
        uint8_t length = 0;
        stream.ReadBuffer(&length, 1);
        std::string graphicClass(length, '\0');
        stream.ReadBuffer(graphicClass.data(), length);
        if (graphicClass != "TBitmap")
          throw EReadError("Invalid graphic format");
        uint32_t size = 0;
        stream.ReadBuffer(&size, 4);
        std::vector<uint8_t> file(size);
        stream.ReadBuffer(file.data(), size);
        LoadBitmapFile(std::move(file));
      },
      [this](TStream& stream) {
        const uint8_t length = 7;
        stream.WriteBuffer(&length, 1);
        stream.WriteBuffer("TBitmap", 7);
        const auto size = static_cast<uint32_t>(file_.size());
        stream.WriteBuffer(&size, 4);
        stream.WriteBuffer(file_.data(), size);
      },
      !file_.empty());
}

namespace {

// True when everything GDI will read of this bitmap file lies inside it:
// the colour table, the bit-field masks and the pixel data (for a
// run-length encoded bitmap, the encoded size it states). A damaged
// resource must be refused here, not read past its end while painting.
bool BitmapFileIsWhole(const std::vector<uint8_t>& file) {
  if (file.size() < 14 + sizeof(BITMAPINFOHEADER) || file[0] != 'B' || file[1] != 'M')
    return false;
  BITMAPINFOHEADER header;
  std::memcpy(&header, file.data() + 14, sizeof header);
  uint32_t bitsOffset = 0;
  std::memcpy(&bitsOffset, file.data() + 10, 4);
  const uint64_t bits = header.biBitCount;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biWidth <= 0 ||
      header.biHeight == 0 || header.biHeight == INT32_MIN || header.biWidth > 0xFFFF ||
      std::abs(header.biHeight) > 0xFFFF)
    return false;
  const uint64_t width = static_cast<uint64_t>(header.biWidth);
  const uint64_t height = static_cast<uint64_t>(std::abs(header.biHeight));
  uint64_t masks = 0;
  uint64_t dataSize = (width * bits + 31) / 32 * 4 * height;
  switch (header.biCompression) {
    case BI_RGB:
      if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
      break;
    case BI_BITFIELDS:
      if (bits != 16 && bits != 32)
        return false;
      masks = header.biSize == sizeof(BITMAPINFOHEADER) ? 12 : 0;
      break;
    case BI_RLE8:
    case BI_RLE4:
      // Encoded rows run bottom-up only, and their length is stated.
      if (bits != (header.biCompression == BI_RLE8 ? 8u : 4u) || header.biHeight < 0 ||
          header.biSizeImage == 0)
        return false;
      dataSize = header.biSizeImage;
      break;
    default:
      return false;
  }
  uint64_t colours = header.biClrUsed;
  if (bits <= 8) {
    if (colours == 0)
      colours = uint64_t{1} << bits;
    if (colours > (uint64_t{1} << bits))
      return false;
  }
  return 14 + uint64_t{header.biSize} + masks + colours * 4 <= bitsOffset &&
         uint64_t{bitsOffset} + dataSize <= file.size();
}

}  // namespace

void TPicture::LoadBitmapFile(std::vector<uint8_t> file) {
  if (!BitmapFileIsWhole(file))
    throw EReadError("Bitmap image is not valid");
  file_ = std::move(file);
  if (OnChange)
    OnChange();
}

const BITMAPINFOHEADER* TPicture::Header() const {
  return file_.empty() ? nullptr : reinterpret_cast<const BITMAPINFOHEADER*>(file_.data() + 14);
}

int TPicture::Width() const {
  return file_.empty() ? 0 : Header()->biWidth;
}
int TPicture::Height() const {
  return file_.empty() ? 0 : std::abs(Header()->biHeight);
}

void TPicture::Draw(HDC dc, int x, int y) const {
  if (file_.empty())
    return;
  uint32_t bitsOffset = 0;
  std::memcpy(&bitsOffset, file_.data() + 10, 4);
  // Unlike SetDIBitsToDevice, StretchDIBits takes run-length encoded bits
  // on every device, and the artwork is stored that way.
  ::StretchDIBits(dc, x, y, Width(), Height(), 0, 0, Width(), Height(), file_.data() + bitsOffset,
                  reinterpret_cast<const BITMAPINFO*>(file_.data() + 14), DIB_RGB_COLORS, SRCCOPY);
}

// ------------------------------------------------------------------- TImage

const TClassInfo& TImage::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TImage>("TImage", &TControl::StaticClassInfo())
          .Creatable()
          .Object("Picture", TPicture::StaticClassInfo(), [](TImage& i) { return &i.Picture(); })
          .Build();
  return info;
}

TImage::TImage(TComponent* owner) : TControl(owner) {
  SetBounds(0, 0, 105, 105);
  picture_.OnChange = [this] { Invalidate(); };
}

void TImage::SetIcon(HICON icon) {
  icon_ = icon;
  Invalidate();
}

void TImage::Paint(HDC dc) {
  if (icon_ != nullptr)
    ::DrawIconEx(dc, 0, 0, icon_, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
  picture_.Draw(dc, 0, 0);
}

// -------------------------------------------------------------------- TPage

const TClassInfo& TPage::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TPage>("TPage", &TWinControl::StaticClassInfo()).Creatable().Build();
  return info;
}

TPage::TPage(TComponent* owner) : TWinControl(owner) {
  SetParentColor(true);
  SetVisible(false);
  SetAlign(TAlign::alClient);
}

void TPage::SetParentComponent(TComponent* parent) {
  TWinControl::SetParentComponent(parent);
  if (auto* notebook = dynamic_cast<TNotebook*>(parent))
    notebook->AddPage(this);
}

void TPage::PaintWindow(HDC dc) {
  PaintControls(dc);
}

// ---------------------------------------------------------------- TNotebook

const TClassInfo& TNotebook::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TNotebook>("TNotebook", &TWinControl::StaticClassInfo())
          .Creatable()
          .Integer("PageIndex", &TNotebook::PageIndex, &TNotebook::SetStoredPageIndex)
          .Default(0)
          .EventField("OnPageChanged", &TNotebook::OnPageChanged)
          .Build();
  return info;
}

TNotebook::TNotebook(TComponent* owner) : TWinControl(owner) {
  // Pages are found by the reader through the class registry.
  RegisterComponentClass(TPage::StaticClassInfo());
  SetBounds(0, 0, 150, 150);
  auto* page = new TPage(this);
  page->SetName("Default");
  page->SetParentComponent(this);
  ShowPage(0);
}

void TNotebook::AddPage(TPage* page) {
  if (std::find(pages_.begin(), pages_.end(), page) == pages_.end())
    pages_.push_back(page);
}

void TNotebook::BeginReadRecord() {
  std::vector<TPage*> old;
  old.swap(pages_);
  // A stored index equal to the default (the first page) is not stored.
  pageIndex_ = 0;
  for (TPage* page : old)
    delete page;
}

void TNotebook::EndReadRecord() {
  const int stored = pageIndex_;
  pageIndex_ = -1;
  ShowPage(stored >= 0 && stored < PageCount() ? stored : -1);
}

void TNotebook::SetStoredPageIndex(int index) {
  if (HasState(csReading)) {
    pageIndex_ = index;
    return;
  }
  SetPageIndex(index);
}

void TNotebook::ShowPage(int index) {
  for (int i = 0; i < PageCount(); ++i) {
    if (i != index)
      pages_[static_cast<size_t>(i)]->SetVisible(false);
  }
  pageIndex_ = index;
  if (index >= 0) {
    TPage* page = pages_[static_cast<size_t>(index)];
    page->SetAlign(TAlign::alClient);
    // Only visible controls are aligned: show the page first.
    page->SetVisible(true);
    AlignControls();
    if (page->HandleAllocated()) {
      ::SetWindowPos(page->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
  }
}

void TNotebook::SetPageIndex(int index) {
  if (index == pageIndex_ || index < 0 || index >= PageCount())
    return;
  HWND focus = ::GetFocus();
  const bool focusInside =
      focus != nullptr && HandleAllocated() && ::IsChild(Handle(), focus) != FALSE;
  ShowPage(index);
  if (focusInside) {
    if (TFormHost* form = ParentForm()) {
      std::vector<TWinControl*> list;
      pages_[static_cast<size_t>(index)]->GetTabOrderList(list);
      for (TWinControl* c : list) {
        if (c->TabStop() && c->CanFocus()) {
          c->SetFocus();
          break;
        }
      }
      (void)form;
    }
  }
  if (OnPageChanged)
    OnPageChanged(this);
}

void TNotebook::PaintWindow(HDC dc) {
  PaintControls(dc);
}

// ------------------------------------------------------------- TProgressBar

const TClassInfo& TProgressBar::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TProgressBar>("TProgressBar", &TWinControl::StaticClassInfo())
          .Creatable()
          .Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin)
          .Default(0)
          .Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax)
          .Default(100)
          .Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition)
          .Default(0)
          .Build();
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = PROGRESS_CLASSA;
  params.systemClass = true;
  params.style &= ~static_cast<DWORD>(WS_CLIPCHILDREN | WS_TABSTOP);
}

void TProgressBar::HandleCreated() {
  ::SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  ::SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMin(int value) {
  min_ = value;
  if (HandleAllocated())
    HandleCreated();
}
void TProgressBar::SetMax(int value) {
  max_ = value;
  if (HandleAllocated())
    HandleCreated();
}
void TProgressBar::SetPosition(int value) {
  position_ = std::clamp(value, min_, std::max(min_, max_));
  if (HandleAllocated())
    ::SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

}  // namespace qv
