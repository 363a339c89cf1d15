// The gradient panel, the shadow label and the background window they make,
// checked as the pixels they paint.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "win32/Handles.h"
#include "controls/ExtCtrls.h"
#include "controls/StdCtrls.h"
#include "core/Exceptions.h"
#include "setup/BackgroundWindow.h"
#include "ui/GPanel.h"
#include "ui/RxLabel.h"
#include "wizard/WizardDialog.h"

namespace qv::test {
namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kBlueRgb = RGB(0, 0, 255);
constexpr COLORREF kBlackRgb = RGB(0, 0, 0);
constexpr COLORREF kWhiteRgb = RGB(255, 255, 255);
constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;
constexpr TColor kOlive = 0x008080;
constexpr TColor kYellow = 0x00FFFF;

struct Box {
  int left = INT32_MAX;
  int top = INT32_MAX;
  int right = -1;  // inclusive
  int bottom = -1;
  bool Empty() const { return right < 0; }
};

// A 32-bit top-down memory bitmap to paint into and read back.
class Bitmap {
 public:
  Bitmap(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_.reset(::CreateCompatibleDC(nullptr));
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    select_ = std::make_unique<SelectGuard>(dc_.get(), bitmap_.get());
    Fill(fill);
  }
  bool Valid() const { return bits_ != nullptr; }
  HDC dc() const { return dc_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }

  void Fill(COLORREF color) {
    UniqueBrush brush(::CreateSolidBrush(color));
    RECT all{0, 0, width_, height_};
    ::FillRect(dc_.get(), &all, brush.get());
  }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const uint32_t v =
        bits_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  int Count(COLORREF color) const {
    int n = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x)
        n += At(x, y) == color ? 1 : 0;
    }
    return n;
  }
  // Where the pixels of exactly this colour are.
  Box BoxOf(COLORREF color) const {
    Box box;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (At(x, y) != color)
          continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }
  // Where this bitmap differs from its fill colour.
  Box BoxNot(COLORREF fill) const {
    Box box;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (At(x, y) == fill)
          continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }

 private:
  int width_;
  int height_;
  uint32_t* bits_ = nullptr;
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  std::unique_ptr<SelectGuard> select_;  // released first: the bitmap goes back out
};

std::string Text(COLORREF c) {
  char text[32];
  std::snprintf(text, sizeof text, "(%u, %u, %u)", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// The panel's own painting (ordinary panel, gradient, graphic children),
// reachable without a window.
class PaintablePanel : public TGPanel {
 public:
  using TGPanel::TGPanel;
  void PaintTo(HDC dc) { PaintWindow(dc); }
};

PaintablePanel* MakePanel(TComponent* owner, int width, int height, TColor from, TColor to,
                          bool horizontal) {
  auto* panel = new PaintablePanel(owner);
  panel->SetBevelOuter(TBevelCut::bvNone);
  panel->SetBevelInner(TBevelCut::bvNone);
  panel->SetBounds(0, 0, width, height);
  panel->SetColor1(from);
  panel->SetColor2(to);
  panel->SetHorizontal(horizontal);
  return panel;
}

TEXTMETRICA Metrics(TFont& font) {
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  SelectGuard select(dc.get(), font.Handle());
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(dc.get(), &metrics);
  return metrics;
}

int TextWidth(TFont& font, const std::string& text) {
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  SelectGuard select(dc.get(), font.Handle());
  SIZE size{};
  ::GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

void UseFont(TControl& control, const char* name, int height, TColor color) {
  control.Font().SetName(name);
  control.Font().SetHeight(height);
  control.Font().SetColor(color);
}

// White text on a black shadow of two pixels towards the lower right, as the
// background window's labels have.
TRxLabel* MakeShadowLabel(TComponent* owner, const std::string& caption) {
  auto* label = new TRxLabel(owner);
  UseFont(*label, "Tahoma", -11, clWhite);
  label->SetShadowColor(clBlack);
  label->SetShadowPos(TShadowPosition::spRightBottom);
  label->SetShadowSize(2);
  label->SetCaption(caption);
  return label;
}

// ------------------------------------------------------------ gradient panel

using GradientPanel = ShellTest;

TEST_F(GradientPanel, BackgroundGradientFillsEveryPixelInTwoRowBands) {
  auto* panel = MakePanel(app.get(), 688, 454, clBlue, clBlack, false);
  Bitmap bitmap(688, 454, kMagenta);
  ASSERT_TRUE(bitmap.Valid());
  panel->PaintTo(bitmap.dc());
  for (int y = 0; y < 454; ++y) {
    const COLORREF row = bitmap.At(0, y);
    ASSERT_EQ(GetRValue(row), 0) << y;
    ASSERT_EQ(GetGValue(row), 0) << y;
    for (int x = 1; x < 688; x += 29)
      ASSERT_EQ(bitmap.At(x, y), row) << "row " << y << " is one colour, at x " << x;
    ASSERT_EQ(bitmap.At(687, y), row) << y;
  }
  EXPECT_EQ(bitmap.At(10, 0), kBlueRgb);
  EXPECT_EQ(bitmap.At(10, 1), kBlueRgb);
  EXPECT_EQ(bitmap.At(10, 2), RGB(0, 0, 254));
  EXPECT_EQ(bitmap.At(10, 3), RGB(0, 0, 254));
  EXPECT_EQ(bitmap.At(10, 200), RGB(0, 0, 143));
  EXPECT_EQ(bitmap.At(10, 201), RGB(0, 0, 143));
  EXPECT_EQ(bitmap.At(10, 452), RGB(0, 0, 2));
  EXPECT_EQ(bitmap.At(10, 453), RGB(0, 0, 2));
}

TEST_F(GradientPanel, HalfPercentSplitsThreeHundredAndOnePixelsAtHundredFifty) {
  auto* panel = MakePanel(app.get(), 301, 20, kRed, clBlack, true);
  panel->SetColor3(kGreen);
  panel->SetPercent(50);
  Bitmap bitmap(301, 20, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(0, 10), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.At(149, 10), RGB(2, 0, 0)) << "last column of the first segment";
  EXPECT_EQ(bitmap.At(150, 10), kBlackRgb) << "the second segment starts at Color_2";
  EXPECT_EQ(bitmap.At(300, 10), RGB(0, 252, 0)) << "151 columns of the second segment";
  EXPECT_EQ(bitmap.Count(kMagenta), 0);
}

TEST_F(GradientPanel, OnePercentOfFiftyGivesTheFirstSegmentOneColumn) {
  auto* panel = MakePanel(app.get(), 50, 10, kRed, clBlack, true);
  panel->SetColor3(kGreen);
  panel->SetPercent(1);
  Bitmap bitmap(50, 10, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(0, 5), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.At(1, 5), kBlackRgb);
  EXPECT_EQ(bitmap.At(49, 5), RGB(0, 249, 0));
}

TEST_F(GradientPanel, WhiteToBlackOverHundredColumnsEndsAtThree) {
  auto* panel = MakePanel(app.get(), 100, 30, clWhite, clBlack, true);
  Bitmap bitmap(100, 30, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(0, 0), kWhiteRgb);
  EXPECT_EQ(bitmap.At(1, 29), RGB(253, 253, 253));
  EXPECT_EQ(bitmap.At(99, 0), RGB(3, 3, 3));
  EXPECT_EQ(bitmap.At(99, 29), RGB(3, 3, 3));
}

TEST_F(GradientPanel, VerticalSplitAtPercentOfTheHeight) {
  auto* panel = MakePanel(app.get(), 20, 100, clWhite, clBlack, false);
  panel->SetColor3(clWhite);
  panel->SetPercent(30);
  Bitmap bitmap(20, 100, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(5, 29), RGB(9, 9, 9));
  EXPECT_EQ(bitmap.At(5, 30), kBlackRgb);
  EXPECT_EQ(bitmap.At(5, 99), RGB(251, 251, 251));
}

TEST_F(GradientPanel, PercentSetterClampsAndHundredLeavesTheThirdColourOut) {
  auto* panel = MakePanel(app.get(), 100, 10, clWhite, clBlack, true);
  panel->SetColor3(kRed);
  panel->SetPercent(0);
  EXPECT_EQ(panel->Percent(), 1);
  panel->SetPercent(-5);
  EXPECT_EQ(panel->Percent(), 1);
  panel->SetPercent(150);
  EXPECT_EQ(panel->Percent(), 100);
  Bitmap bitmap(100, 10, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(99, 5), RGB(3, 3, 3)) << "one segment over the whole width";
}

TEST_F(GradientPanel, NewPanelHasItsDefaults) {
  TGPanel panel(nullptr);
  EXPECT_TRUE(panel.Active());
  EXPECT_EQ(panel.Color1(), clBtnFace);
  EXPECT_EQ(panel.Color2(), clWhite);
  EXPECT_EQ(panel.Color3(), 0xFFFF00) << "aqua";
  EXPECT_TRUE(panel.Horizontal());
  EXPECT_EQ(panel.Percent(), 100);
}

TEST_F(GradientPanel, EqualColoursShowThePanelColourAndCaption) {
  auto* panel = MakePanel(app.get(), 120, 40, clWhite, clWhite, true);
  panel->SetColor(kOlive);
  panel->SetCaption("GPanel1");
  panel->Font().SetColor(kYellow);
  Bitmap bitmap(120, 40, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(0, 0), RGB(128, 128, 0));
  EXPECT_EQ(bitmap.At(119, 39), RGB(128, 128, 0));
  EXPECT_EQ(bitmap.Count(kWhiteRgb), 0) << "no gradient";
  EXPECT_FALSE(bitmap.BoxNot(RGB(128, 128, 0)).Empty()) << "the caption shows";
}

TEST_F(GradientPanel, InactivePanelIsAnOrdinaryPanelActiveOneCoversItsCaption) {
  auto* panel = MakePanel(app.get(), 120, 40, clBlue, clBlack, true);
  panel->SetColor(kOlive);
  panel->SetCaption("GPanel1");
  panel->Font().SetColor(kYellow);
  panel->SetActive(false);
  Bitmap inactive(120, 40, kMagenta);
  panel->PaintTo(inactive.dc());
  EXPECT_EQ(inactive.At(0, 0), RGB(128, 128, 0));
  EXPECT_GT(inactive.Count(RGB(255, 255, 0)), 0) << "caption in the font colour";

  panel->SetActive(true);
  Bitmap active(120, 40, kMagenta);
  panel->PaintTo(active.dc());
  EXPECT_EQ(active.At(0, 0), kBlueRgb);
  EXPECT_EQ(active.Count(RGB(255, 255, 0)), 0) << "the gradient covers the caption";
  EXPECT_EQ(active.Count(RGB(128, 128, 0)), 0) << "and the panel colour";
}

TEST_F(GradientPanel, RaisedInnerBevelInsetsTheGradientOnEverySide) {
  auto* panel = MakePanel(app.get(), 104, 50, kRed, clBlue, true);
  panel->SetBevelInner(TBevelCut::bvRaised);
  panel->SetBevelWidth(2);
  Bitmap bitmap(104, 50, kMagenta);
  panel->PaintTo(bitmap.dc());
  const COLORREF light = ColorToRGB(clBtnHighlight);
  const COLORREF dark = ColorToRGB(clBtnShadow);
  EXPECT_EQ(bitmap.At(1, 25), light) << "left bevel";
  EXPECT_EQ(bitmap.At(50, 1), light) << "top bevel";
  EXPECT_EQ(bitmap.At(102, 25), dark) << "right bevel";
  EXPECT_EQ(bitmap.At(50, 48), dark) << "bottom bevel";
  EXPECT_EQ(bitmap.At(2, 25), RGB(255, 0, 0)) << "gradient starts inside the bevel";
  EXPECT_EQ(bitmap.At(101, 25), RGB(3, 0, 252)) << "100 columns between the bevels";
  EXPECT_EQ(bitmap.At(50, 2), bitmap.At(50, 47)) << "rows 2 to 47 are gradient";
  EXPECT_NE(bitmap.At(50, 2), light);
}

TEST_F(GradientPanel, SpaceBevelInsetsNothing) {
  auto* panel = MakePanel(app.get(), 100, 20, clWhite, clBlack, true);
  panel->SetBevelOuter(TBevelCut::bvSpace);
  panel->SetBevelWidth(3);
  Bitmap bitmap(100, 20, kMagenta);
  panel->PaintTo(bitmap.dc());
  EXPECT_EQ(bitmap.At(0, 0), kWhiteRgb);
  EXPECT_EQ(bitmap.At(99, 19), RGB(3, 3, 3));
}

// -------------------------------------------------------------- shadow label

using ShadowLabel = ShellTest;

TEST_F(ShadowLabel, NewLabelHasItsDefaults) {
  TRxLabel label(nullptr);
  EXPECT_EQ(label.Caption(), "");
  EXPECT_EQ(label.Alignment(), TAlignment::taLeftJustify);
  EXPECT_TRUE(label.AutoSize());
  EXPECT_EQ(label.Layout(), TTextLayout::tlTop);
  EXPECT_FALSE(label.WordWrap());
  EXPECT_EQ(label.ShadowColor(), clBtnHighlight);
  EXPECT_EQ(label.ShadowSize(), 1);
  EXPECT_EQ(label.ShadowPos(), TShadowPosition::spLeftTop);
  EXPECT_FALSE(label.Transparent());
  EXPECT_TRUE(label.ShowAccelChar());
  EXPECT_EQ(label.FocusControl(), nullptr);
  EXPECT_FALSE(label.ShowFocus());
  EXPECT_EQ(label.Width(), 65);
  EXPECT_EQ(label.Height(), 17);
}

TEST_F(ShadowLabel, EmptyCaptionSizesToOneLinePlusTheShadow) {
  TRxLabel* label = MakeShadowLabel(app.get(), "");
  const int line = Metrics(label->Font()).tmHeight;
  const int space = TextWidth(label->Font(), " ");
  EXPECT_EQ(label->Height(), line + 2);
  EXPECT_EQ(label->Width(), 1 + space + 2 + 1);
}

TEST_F(ShadowLabel, ShadowTowardsTheTopLeftIsCutOff) {
  TRxLabel* label = MakeShadowLabel(app.get(), "Quolvex");
  const int line = Metrics(label->Font()).tmHeight;
  const int width = TextWidth(label->Font(), "Quolvex");
  EXPECT_EQ(label->Height(), line + 2);
  // The shadow's direction alone does not resize the label ...
  label->SetShadowPos(TShadowPosition::spLeftTop);
  EXPECT_EQ(label->Height(), line + 2);
  // ... the next size change does, and the shadow no longer adds to it.
  label->SetShadowSize(3);
  EXPECT_EQ(label->Height(), line);
  EXPECT_EQ(label->Width(), 1 + width + 1);
}

TEST_F(ShadowLabel, AmpersandMeasuresAsASpaceAndPaintsNothing) {
  TRxLabel* empty = MakeShadowLabel(app.get(), "");
  TRxLabel* ampersand = MakeShadowLabel(app.get(), "&");
  EXPECT_EQ(ampersand->Width(), empty->Width());
  EXPECT_EQ(ampersand->Height(), empty->Height());
  ampersand->SetTransparent(true);
  Bitmap bitmap(ampersand->Width(), ampersand->Height(), kBlueRgb);
  ampersand->Paint(bitmap.dc());
  EXPECT_EQ(bitmap.Count(kBlueRgb), ampersand->Width() * ampersand->Height());

  // Without accelerators the ampersand is a character like any other.
  ampersand->SetShowAccelChar(false);
  ampersand->SetCaption("&&");  // a caption change sizes the label again
  ampersand->SetCaption("&");
  EXPECT_EQ(ampersand->Width(), 1 + TextWidth(ampersand->Font(), "&") + 2 + 1);
  Bitmap shown(ampersand->Width(), ampersand->Height(), kBlueRgb);
  ampersand->Paint(shown.dc());
  EXPECT_GT(shown.Count(kWhiteRgb), 0);
}

TEST_F(ShadowLabel, RightAlignedLabelGrowsLeftwards) {
  TRxLabel* label = MakeShadowLabel(app.get(), "");
  label->SetAlignment(TAlignment::taRightJustify);
  label->SetBounds(200, 30, 65, 17);
  label->SetCaption("Hi");
  EXPECT_EQ(label->Left() + label->Width(), 265);
  const int shortLeft = label->Left();
  label->SetCaption("Quolvex Software Laboratory, 2026     ");
  EXPECT_EQ(label->Left() + label->Width(), 265) << "the right edge stays";
  EXPECT_LT(label->Left(), shortLeft);
  EXPECT_EQ(label->Top(), 30);

  TRxLabel* left = MakeShadowLabel(app.get(), "");
  left->SetBounds(200, 30, 65, 17);
  left->SetCaption("Quolvex Software Laboratory, 2026     ");
  EXPECT_EQ(left->Left(), 200) << "a left-aligned label keeps its left edge";
}

TEST_F(ShadowLabel, AlignedLabelSpansItsParentAndFollowsItsTextHeight) {
  auto* panel = MakePanel(app.get(), 300, 200, clBlue, clBlack, false);
  TRxLabel* top = MakeShadowLabel(app.get(), "Top");
  top->SetParent(panel);
  top->SetAlign(TAlign::alTop);
  TRxLabel* bottom = MakeShadowLabel(app.get(), "Bottom");
  bottom->SetParent(panel);
  bottom->SetAlign(TAlign::alBottom);
  bottom->SetCaption("Bottom line");
  const int line = Metrics(top->Font()).tmHeight;
  EXPECT_EQ(top->Width(), 300);
  EXPECT_EQ(top->Top(), 0);
  EXPECT_EQ(top->Height(), line + 2);
  EXPECT_EQ(bottom->Width(), 300);
  EXPECT_EQ(bottom->Top() + bottom->Height(), 200);
  EXPECT_EQ(bottom->Height(), line + 2);
}

TEST_F(ShadowLabel, ShadowOfSizeZeroIsCoveredByTheText) {
  TRxLabel* label = MakeShadowLabel(app.get(), "Quolvex 5.0");
  label->SetTransparent(true);
  Bitmap shadowed(label->Width(), label->Height(), kBlueRgb);
  label->Paint(shadowed.dc());
  EXPECT_GT(shadowed.Count(kBlackRgb), 0) << "with size 2 the shadow shows";

  label->SetShadowSize(0);
  Bitmap flat(label->Width(), label->Height(), kBlueRgb);
  label->Paint(flat.dc());
  EXPECT_GT(flat.Count(kWhiteRgb), 0);
  EXPECT_EQ(flat.Count(kBlackRgb), 0) << "the text colour wins where both fall";
}

TEST_F(ShadowLabel, ShadowFallsInItsDirection) {
  TRxLabel* label = MakeShadowLabel(app.get(), "Quolvex");
  label->SetAutoSize(false);
  label->SetBounds(0, 0, 80, 30);
  label->SetTransparent(true);
  label->SetShadowSize(3);
  struct Case {
    TShadowPosition position;
    int dx;
    int dy;
  };
  for (const Case& c :
       {Case{TShadowPosition::spRightBottom, 3, 3}, Case{TShadowPosition::spLeftBottom, -3, 3},
        Case{TShadowPosition::spRightTop, 3, -3}, Case{TShadowPosition::spLeftTop, -3, -3}}) {
    label->SetShadowPos(c.position);
    // Room on every side, so that no shadow is cut off.
    Bitmap bitmap(96, 46, kBlueRgb);
    ::SetViewportOrgEx(bitmap.dc(), 8, 8, nullptr);
    label->Paint(bitmap.dc());
    const Box text = bitmap.BoxOf(kWhiteRgb);
    const Box shadow = bitmap.BoxOf(kBlackRgb);
    ASSERT_FALSE(text.Empty());
    ASSERT_FALSE(shadow.Empty());
    SCOPED_TRACE(static_cast<int>(c.position));
    if (c.dx > 0)
      EXPECT_EQ(shadow.right, text.right + c.dx);
    else
      EXPECT_EQ(shadow.left, text.left + c.dx);
    if (c.dy > 0)
      EXPECT_EQ(shadow.bottom, text.bottom + c.dy);
    else
      EXPECT_EQ(shadow.top, text.top + c.dy);
  }
}

TEST_F(ShadowLabel, DisabledLabelIsEngravedEvenWithoutAShadow) {
  TRxLabel* label = MakeShadowLabel(app.get(), "Quolvex");
  label->Font().SetColor(kRed);
  label->SetShadowSize(0);
  label->SetTransparent(true);
  label->SetEnabled(false);
  Bitmap bitmap(label->Width() + 4, label->Height() + 4, kBlueRgb);
  label->Paint(bitmap.dc());
  const COLORREF grey = ColorToRGB(clGrayText);
  const COLORREF light = ColorToRGB(clBtnHighlight);
  EXPECT_EQ(bitmap.Count(RGB(255, 0, 0)), 0) << "not the font colour";
  EXPECT_EQ(bitmap.Count(kBlackRgb), 0) << "not the shadow colour";
  const Box text = bitmap.BoxOf(grey);
  const Box shadow = bitmap.BoxOf(light);
  ASSERT_FALSE(text.Empty()) << "grey text " << Text(grey);
  ASSERT_FALSE(shadow.Empty()) << "highlight shadow " << Text(light);
  EXPECT_EQ(shadow.right, text.right + 1);
  EXPECT_EQ(shadow.bottom, text.bottom + 1);
}

TEST_F(ShadowLabel, TransparentLabelChangesOnlyItsTextAndShadowPixels) {
  auto* panel = MakePanel(app.get(), 200, 60, clBlue, clBlack, false);
  TRxLabel* label = MakeShadowLabel(app.get(), "  Quolvex Antivirus");
  label->SetParent(panel);
  label->SetBounds(10, 12, label->Width(), label->Height());
  label->SetTransparent(true);

  Bitmap bare(200, 60, kMagenta);
  label->Hide();
  panel->PaintTo(bare.dc());
  label->Show();
  Bitmap labelled(200, 60, kMagenta);
  panel->PaintTo(labelled.dc());

  // Where text and shadow fall: the same label painted all white on black.
  TRxLabel* mask = MakeShadowLabel(app.get(), label->Caption());
  mask->SetShadowColor(clWhite);
  mask->SetTransparent(true);
  ASSERT_EQ(mask->Width(), label->Width());
  Bitmap glyphs(200, 60, kBlackRgb);
  ::SetViewportOrgEx(glyphs.dc(), label->Left(), label->Top(), nullptr);
  mask->Paint(glyphs.dc());

  int changed = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (labelled.At(x, y) == bare.At(x, y))
        continue;
      ++changed;
      ASSERT_NE(glyphs.At(x, y), kBlackRgb)
          << "changed pixel outside text and shadow at " << x << ", " << y;
    }
  }
  EXPECT_GT(changed, 0);

  // An opaque label fills its whole rectangle instead.
  label->SetTransparent(false);
  label->SetColor(kOlive);
  Bitmap opaque(200, 60, kMagenta);
  panel->PaintTo(opaque.dc());
  EXPECT_EQ(opaque.At(label->Left(), label->Top()), RGB(128, 128, 0));
  EXPECT_EQ(opaque.At(label->Left() + label->Width() - 1, label->Top() + label->Height() - 1),
            RGB(128, 128, 0));
  EXPECT_EQ(opaque.At(label->Left() - 1, label->Top()), bare.At(label->Left() - 1, label->Top()))
      << "nothing outside the label";
}

TEST_F(ShadowLabel, BottomAndCentreLayoutsMoveTheTextBlockDown) {
  TRxLabel* label = MakeShadowLabel(app.get(), "Quolvex");
  const int block = label->Height();  // one line plus the shadow
  label->SetAutoSize(false);
  label->SetBounds(0, 0, 80, 61);
  label->SetTransparent(true);
  Bitmap top(80, 61, kBlueRgb);
  label->Paint(top.dc());
  label->SetLayout(TTextLayout::tlBottom);
  Bitmap bottom(80, 61, kBlueRgb);
  label->Paint(bottom.dc());
  label->SetLayout(TTextLayout::tlCenter);
  Bitmap centre(80, 61, kBlueRgb);
  label->Paint(centre.dc());

  const Box atTop = top.BoxNot(kBlueRgb);
  const Box atBottom = bottom.BoxNot(kBlueRgb);
  const Box atCentre = centre.BoxNot(kBlueRgb);
  ASSERT_FALSE(atTop.Empty());
  // The measured block is placed on the label's full width, one pixel
  // further left than the top layout's narrowed rectangle.
  EXPECT_EQ(atBottom.top, atTop.top + (61 - block));
  EXPECT_EQ(atBottom.left, atTop.left - 1);
  EXPECT_EQ(atCentre.top, atTop.top + (61 - block) / 2);
  EXPECT_EQ(atCentre.bottom - atCentre.top, atTop.bottom - atTop.top);
}

// ------------------------------------------ accelerator, focus and mouse

class LabelOnWindow : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    form = new TForm(app.get());
    form->SetBounds(40, 40, 300, 200);
    first = new TEdit(form);
    first->SetParent(form);
    first->SetBounds(10, 10, 100, 22);
    edit = new TEdit(form);
    edit->SetParent(form);
    edit->SetBounds(10, 60, 100, 22);
    label = MakeShadowLabel(form, "&Name");
    label->SetParent(form);
    label->SetBounds(150, 60, label->Width(), label->Height());
    label->SetFocusControl(edit);
    label->OnMouseEnter = [this](TObject* sender) {
      EXPECT_EQ(sender, label);
      ++enters;
    };
    label->OnMouseLeave = [this](TObject*) { ++leaves; };
  }
  void ShowAndFocusFirst() {
    form->Show();
    ::SetForegroundWindow(form->Handle());
    first->SetFocus();
    DrainQueue();
  }
  POINT ScreenPointOf(int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(form->Handle(), &p);
    return p;
  }
  TForm* form = nullptr;
  TEdit* first = nullptr;
  TEdit* edit = nullptr;
  TRxLabel* label = nullptr;
  int enters = 0;
  int leaves = 0;
};

TEST_F(LabelOnWindow, AcceleratorMovesTheFocusToFocusControl) {
  ShowAndFocusFirst();
  ASSERT_EQ(::GetFocus(), first->Handle());
  EXPECT_FALSE(label->DialogChar('x'));
  EXPECT_EQ(::GetFocus(), first->Handle());
  EXPECT_TRUE(label->DialogChar('n')) << "accelerators ignore case";
  EXPECT_EQ(::GetFocus(), edit->Handle());
}

TEST_F(LabelOnWindow, AcceleratorIsIgnoredWhenTheLabelCannotPassTheFocus) {
  ShowAndFocusFirst();
  label->SetEnabled(false);
  EXPECT_FALSE(label->DialogChar('N')) << "disabled label";
  label->SetEnabled(true);
  label->SetShowAccelChar(false);
  EXPECT_FALSE(label->DialogChar('N')) << "accelerators not shown";
  label->SetShowAccelChar(true);
  edit->SetEnabled(false);
  EXPECT_FALSE(label->DialogChar('N')) << "focus control cannot take the focus";
  edit->SetEnabled(true);
  label->SetFocusControl(nullptr);
  EXPECT_FALSE(label->DialogChar('N')) << "no focus control";
  EXPECT_EQ(::GetFocus(), first->Handle());
}

TEST_F(LabelOnWindow, FocusRectangleFollowsTheFocusControlWhenShown) {
  label->SetShadowSize(0);
  label->SetTransparent(true);
  const auto topRowChanges = [this] {
    Bitmap bitmap(label->Width(), label->Height(), kBlueRgb);
    label->Paint(bitmap.dc());
    int n = 0;
    for (int x = 0; x < bitmap.Width(); ++x)
      n += bitmap.At(x, 0) != kBlueRgb ? 1 : 0;
    return n;
  };
  label->FocusChanged(edit);
  EXPECT_EQ(topRowChanges(), 0) << "ShowFocus is off";
  label->SetShowFocus(true);
  EXPECT_GT(topRowChanges(), label->Width() / 3) << "dotted focus rectangle";
  label->FocusChanged(first);
  EXPECT_EQ(topRowChanges(), 0);
}

TEST_F(LabelOnWindow, MouseEnterAndLeaveFireOncePerCrossing) {
  ShowAndFocusFirst();
  label->MouseEnter();
  label->MouseEnter();
  EXPECT_EQ(enters, 1);
  EXPECT_TRUE(label->MouseInside());
  label->MouseLeave();
  label->MouseLeave();
  EXPECT_EQ(leaves, 1);
  EXPECT_FALSE(label->MouseInside());
  label->SetEnabled(false);
  label->MouseEnter();
  EXPECT_EQ(enters, 1) << "a disabled label does not track the mouse";
}

TEST_F(LabelOnWindow, MouseEnterCountsOnlyWhileAWindowOfOursIsActive) {
  ASSERT_EQ(::GetActiveWindow(), nullptr);
  label->MouseEnter();
  EXPECT_EQ(enters, 0);
  EXPECT_FALSE(label->MouseInside());
}

TEST_F(LabelOnWindow, PressOnTheLabelHoldsItUntilTheReleaseFindsTheCursor) {
  ShowAndFocusFirst();
  label->MouseEnter();
  label->MouseDown(TMouseButton::mbLeft);
  label->MouseLeave();
  EXPECT_EQ(leaves, 0) << "the left button is held down on the label";
  EXPECT_TRUE(label->MouseInside());
  const POINT away = ScreenPointOf(5, 150);
  ::SetCursorPos(away.x, away.y);
  label->MouseUp(TMouseButton::mbLeft);
  EXPECT_EQ(leaves, 1) << "the release finds the cursor elsewhere";
  EXPECT_FALSE(label->MouseInside());

  const POINT over = ScreenPointOf(label->Left() + 2, label->Top() + 2);
  ::SetCursorPos(over.x, over.y);
  label->MouseDown(TMouseButton::mbRight);
  EXPECT_EQ(enters, 2) << "a right-button press finds the cursor over the label";
  ::SetCursorPos(away.x, away.y);
  label->Hide();
  EXPECT_EQ(leaves, 2) << "hiding the label looks again";
}

// ------------------------------------------------------------------ picture

// A 5 x 3 bitmap file of 256 colours (three used), either plain or with the
// same pixels run-length encoded; rows bottom-up.
std::vector<uint8_t> SmallBitmapFile(bool runLength) {
  const std::vector<uint8_t> plain = {
      1, 1, 1, 2, 0, 0, 0, 0,  // bottom row, padded to four bytes
      0, 1, 2, 0, 1, 0, 0, 0,  //
      2, 2, 2, 2, 2, 0, 0, 0,  // top row
  };
  const std::vector<uint8_t> encoded = {
      3, 1, 1, 2, 1, 0, 0, 0,        // runs of three, one and one, end of line
      0, 5, 0, 1, 2, 0, 1, 0, 0, 0,  // five pixels as they are (padded), end of line
      5, 2, 0, 1,                    // a run of five, end of bitmap
  };
  const std::vector<uint8_t>& data = runLength ? encoded : plain;
  const uint32_t offset = 14 + 40 + 256 * 4;
  std::vector<uint8_t> file(offset + data.size());
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(file.data() + at, &v, 4); };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, offset);
  put32(14, 40);
  put32(18, 5);
  put32(22, 3);
  file[26] = 1;  // planes
  file[28] = 8;  // bits per pixel
  put32(30, runLength ? BI_RLE8 : BI_RGB);
  put32(34, static_cast<uint32_t>(data.size()));
  const uint32_t colours[] = {0x0000FF /* blue */, 0xFF0000 /* red */, 0x00FF00 /* green */};
  for (uint32_t i = 0; i < 3; ++i)
    put32(54 + i * 4, colours[i]);
  std::memcpy(file.data() + offset, data.data(), data.size());
  return file;
}

TEST(Picture, RunLengthBitmapPaintsTheSamePixelsAsItsPlainTwin) {
  TPicture plain;
  TPicture encoded;
  plain.LoadBitmapFile(SmallBitmapFile(false));
  encoded.LoadBitmapFile(SmallBitmapFile(true));
  ASSERT_EQ(encoded.Width(), 5);
  ASSERT_EQ(encoded.Height(), 3);
  Bitmap a(7, 5, kMagenta);
  Bitmap b(7, 5, kMagenta);
  ASSERT_TRUE(a.Valid() && b.Valid());
  plain.Draw(a.dc(), 1, 1);
  encoded.Draw(b.dc(), 1, 1);
  EXPECT_EQ(a.At(1, 1), RGB(0, 255, 0));  // top row: index 2
  EXPECT_EQ(a.At(1, 3), RGB(255, 0, 0));  // bottom row: 1, 1, 1, 2, 0
  EXPECT_EQ(a.At(5, 3), RGB(0, 0, 255));
  EXPECT_EQ(a.At(0, 0), kMagenta);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
  }
}

TEST(Picture, RefusesAFileGdiWouldReadPastTheEndOf) {
  auto mutated = [](bool runLength, auto change) {
    std::vector<uint8_t> file = SmallBitmapFile(runLength);
    change(file);
    return file;
  };
  auto put32 = [](std::vector<uint8_t>& f, size_t at, uint32_t v) {
    std::memcpy(f.data() + at, &v, 4);
  };
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> damaged = {
      {"pixels cut short", mutated(false, [](auto& f) { f.resize(f.size() - 1); })},
      {"encoded size beyond the file",
       mutated(true, [&](auto& f) { put32(f, 34, static_cast<uint32_t>(f.size())); })},
      {"encoded size unstated", mutated(true, [&](auto& f) { put32(f, 34, 0); })},
      {"encoded rows top-down",
       mutated(true, [&](auto& f) { put32(f, 22, static_cast<uint32_t>(-3)); })},
      {"colour table over the pixels",
       mutated(false, [&](auto& f) { put32(f, 10, 14 + 40 + 16); })},
      {"more colours than the depth has", mutated(false, [&](auto& f) { put32(f, 46, 257); })},
      {"unknown depth", mutated(false, [](auto& f) { f[28] = 7; })},
  };
  for (const auto& [what, file] : damaged) {
    TPicture picture;
    try {
      picture.LoadBitmapFile(file);
      ADD_FAILURE() << what << ": accepted";
    } catch (const EReadError& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid") << what;
    }
    EXPECT_TRUE(picture.Empty()) << what;
  }
}

// -------------------------------------------------------- background window

class BackgroundWindow : public ShellTest {
 protected:
  static constexpr const char* kHostKey = "SOFTWARE\\Ipswitch\\IMail";

  void SetUp() override {
    ShellTest::SetUp();
    frmDialog = nullptr;
    frmBackground = nullptr;
    TfrmDialog::EarlierInstallation = nullptr;
    // The window's creation handler stops at an error dialog unless the
    // host mail server is installed.
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_READ, nullptr,
                                &key, &disposition),
              ERROR_SUCCESS);
    UniqueRegistryKey owned(key);
    createdHostKey = disposition == REG_CREATED_NEW_KEY;
  }
  void TearDown() override {
    ShellTest::TearDown();
    frmDialog = nullptr;
    frmBackground = nullptr;
    if (createdHostKey)
      ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kHostKey);
  }
  TfrmBackground& Create() {
    app->InstantiateForm(frmBackground);
    // No wizard here: its start timer must not fire.
    frmBackground->tStart->SetInterval(0);
    return *frmBackground;
  }
  bool createdHostKey = false;
};

void ExpectShadowLabel(TRxLabel& label, TGPanel* panel, const char* fontName, int fontHeight,
                       bool bold, TAlignment alignment) {
  SCOPED_TRACE(label.Name());
  EXPECT_EQ(label.Parent(), panel);
  EXPECT_EQ(label.Font().Name(), fontName);
  EXPECT_EQ(label.Font().Height(), fontHeight);
  EXPECT_EQ(label.Font().Style(), bold ? fsBold : 0);
  EXPECT_EQ(label.Font().Charset(), 204);
  EXPECT_EQ(label.Font().Color(), clWhite);
  EXPECT_FALSE(label.ParentFont());
  EXPECT_EQ(label.ShadowColor(), clBlack);
  EXPECT_EQ(label.ShadowSize(), 2);
  EXPECT_EQ(label.ShadowPos(), TShadowPosition::spRightBottom);
  EXPECT_TRUE(label.Transparent());
  EXPECT_TRUE(label.AutoSize());
  EXPECT_FALSE(label.WordWrap());
  EXPECT_EQ(label.Layout(), TTextLayout::tlTop);
  EXPECT_TRUE(label.ShowAccelChar());
  EXPECT_EQ(label.Alignment(), alignment);
  EXPECT_EQ(label.Left(), 0);
  EXPECT_EQ(label.Width(), panel->Width()) << "spans the panel";
  EXPECT_EQ(label.Height(), Metrics(label.Font()).tmHeight + 2) << "one line plus the shadow";
}

TEST_F(BackgroundWindow, CarriesItsLayoutFromItsResource) {
  TfrmBackground& b = Create();
  EXPECT_EQ(b.Caption(), "Installing Quolvex Antivirus 5.0");
  EXPECT_EQ(b.WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(b.BorderStyle(), TFormBorderStyle::bsSizeable);
  EXPECT_EQ(b.BorderIcons(), biSystemMenu | biMinimize | biMaximize);
  EXPECT_EQ(b.Color(), clBtnFace);
  EXPECT_EQ(b.Font().Name(), "MS Sans Serif");
  EXPECT_EQ(b.Font().Height(), -11);
  EXPECT_EQ(b.Font().Color(), clWindowText);
  EXPECT_EQ(b.PixelsPerInch(), 96);
  EXPECT_NE(b.Icon().Handle(), nullptr);

  ASSERT_NE(b.GPanel1, nullptr);
  TGPanel& panel = *b.GPanel1;
  EXPECT_EQ(panel.Parent(), &b);
  EXPECT_EQ(panel.Align(), TAlign::alClient);
  EXPECT_EQ(panel.BevelOuter(), TBevelCut::bvNone);
  EXPECT_EQ(panel.BevelInner(), TBevelCut::bvNone);
  EXPECT_EQ(panel.Color(), clNavy);
  EXPECT_EQ(panel.Caption(), "GPanel1");
  EXPECT_EQ(panel.Color1(), clBlue);
  EXPECT_EQ(panel.Color2(), clBlack);
  EXPECT_EQ(panel.Color3(), clNavy);
  EXPECT_FALSE(panel.Horizontal());
  EXPECT_EQ(panel.Percent(), 100);
  EXPECT_TRUE(panel.Active());

  ASSERT_NE(b.RxLabel1, nullptr);
  ASSERT_NE(b.RxLabel2, nullptr);
  ASSERT_NE(b.RxLabel3, nullptr);
  ASSERT_NE(b.RxLabel4, nullptr);
  ExpectShadowLabel(*b.RxLabel4, &panel, "Times New Roman", -12, true, TAlignment::taLeftJustify);
  ExpectShadowLabel(*b.RxLabel2, &panel, "Times New Roman", -24, true, TAlignment::taLeftJustify);
  ExpectShadowLabel(*b.RxLabel3, &panel, "Tahoma", -11, false, TAlignment::taRightJustify);
  ExpectShadowLabel(*b.RxLabel1, &panel, "Tahoma", -11, false, TAlignment::taRightJustify);
  EXPECT_EQ(b.RxLabel4->Caption(), "");
  EXPECT_EQ(b.RxLabel2->Caption(), "  Quolvex Antivirus, version 5.0");
  EXPECT_EQ(b.RxLabel1->Caption(), "");
  const std::string maker = b.RxLabel3->Caption();
  ASSERT_GT(maker.size(), 5u);
  EXPECT_EQ(maker.substr(maker.size() - 5), "     ");
  EXPECT_NE(maker[maker.size() - 6], ' ') << "a line of text before the five spaces";

  EXPECT_EQ(b.RxLabel4->Align(), TAlign::alTop);
  EXPECT_EQ(b.RxLabel2->Align(), TAlign::alTop);
  EXPECT_EQ(b.RxLabel3->Align(), TAlign::alBottom);
  EXPECT_EQ(b.RxLabel1->Align(), TAlign::alBottom);
  EXPECT_EQ(b.RxLabel4->Top(), 0);
  EXPECT_EQ(b.RxLabel2->Top(), b.RxLabel4->Height());
  EXPECT_EQ(b.RxLabel1->Top() + b.RxLabel1->Height(), panel.Height());
  EXPECT_EQ(b.RxLabel3->Top() + b.RxLabel3->Height(), b.RxLabel1->Top());
}

// Copies what a window shows into a bitmap.
std::unique_ptr<Bitmap> Capture(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  auto bitmap = std::make_unique<Bitmap>(client.right, client.bottom, kMagenta);
  WindowDc dc(window);
  ::BitBlt(bitmap->dc(), 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
  return bitmap;
}

TEST_F(BackgroundWindow, ShowsBlueToBlackWithTheTitleAndTheMakersLine) {
  TfrmBackground& b = Create();
  b.Show();
  ASSERT_TRUE(::IsZoomed(b.Handle()));
  RECT work{};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT client{};
  ::GetClientRect(b.GPanel1->Handle(), &client);
  RECT formClient{};
  ::GetClientRect(b.Handle(), &formClient);
  EXPECT_EQ(client.right, formClient.right) << "the panel fills the client area";
  EXPECT_EQ(client.bottom, formClient.bottom);
  EXPECT_GE(client.right, (work.right - work.left) - 16) << "maximized";

  ::UpdateWindow(b.Handle());
  PumpUntil([] { return false; }, 200);
  const std::unique_ptr<Bitmap> shot = Capture(b.GPanel1->Handle());
  const int w = shot->Width();
  const int h = shot->Height();
  ASSERT_GT(h, 454);

  // The right-most column carries no text: the pure gradient.
  EXPECT_EQ(shot->At(w - 1, 0), kBlueRgb);
  for (int y = 1; y < h; ++y) {
    const COLORREF above = shot->At(w - 1, y - 1);
    const COLORREF here = shot->At(w - 1, y);
    ASSERT_EQ(GetRValue(here), 0) << y;
    ASSERT_EQ(GetGValue(here), 0) << y;
    ASSERT_LE(GetBValue(here), GetBValue(above)) << y;
  }
  EXPECT_LE(GetBValue(shot->At(w - 1, h - 1)), 3) << "black at the bottom";

  // The title: white text on its black shadow, inside its label's strip.
  TRxLabel& title = *b.RxLabel2;
  int white = 0;
  int black = 0;
  for (int y = title.Top(); y < title.Top() + title.Height(); ++y) {
    for (int x = 0; x < w; ++x) {
      white += shot->At(x, y) == kWhiteRgb ? 1 : 0;
      black += shot->At(x, y) == kBlackRgb ? 1 : 0;
    }
  }
  EXPECT_GT(white, 50);
  EXPECT_GT(black, 20);
  Box titleBox;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (shot->At(x, y) != kWhiteRgb)
        continue;
      if (y < b.RxLabel3->Top()) {
        titleBox.top = std::min(titleBox.top, y);
        titleBox.bottom = std::max(titleBox.bottom, y);
        titleBox.left = std::min(titleBox.left, x);
      }
    }
  }
  EXPECT_GE(titleBox.top, title.Top()) << "nothing white above the title's strip";
  EXPECT_LT(titleBox.bottom, title.Top() + title.Height());
  EXPECT_GE(titleBox.left, TextWidth(title.Font(), "  ")) << "two leading spaces";

  // The maker's line, right-aligned, held off the right edge by five spaces.
  TRxLabel& maker = *b.RxLabel3;
  Box makerBox;
  for (int y = maker.Top(); y < maker.Top() + maker.Height(); ++y) {
    for (int x = 0; x < w; ++x) {
      if (shot->At(x, y) == kWhiteRgb)
        makerBox.right = std::max(makerBox.right, x);
    }
  }
  ASSERT_FALSE(makerBox.Empty()) << "the maker's line shows";
  // Glyphs may be laid out a few pixels narrower than the line measures, so
  // the line's right end is known only to within a few pixels.
  const int spaces = 5 * TextWidth(maker.Font(), " ");
  EXPECT_LE(makerBox.right, w - 1 - spaces - 1) << "the text ends before the spaces";
  EXPECT_GE(makerBox.right, w - 1 - spaces - 10) << "right-aligned";
}

TEST_F(BackgroundWindow, RestoresToItsDesignBounds) {
  TfrmBackground& b = Create();
  b.Show();
  ASSERT_TRUE(::IsZoomed(b.Handle()));
  ::ShowWindow(b.Handle(), SW_RESTORE);
  RECT r{};
  ::GetWindowRect(b.Handle(), &r);
  EXPECT_EQ(r.left, 192);
  EXPECT_EQ(r.top, 106);
  EXPECT_EQ(r.right - r.left, 696);
  EXPECT_EQ(r.bottom - r.top, 481);
  EXPECT_EQ(b.WindowState(), TWindowState::wsNormal);
  RECT client{};
  ::GetClientRect(b.GPanel1->Handle(), &client);
  RECT formClient{};
  ::GetClientRect(b.Handle(), &formClient);
  EXPECT_EQ(client.right, formClient.right) << "the panel follows the client area";
  EXPECT_EQ(client.bottom, formClient.bottom);
}

}  // namespace
}  // namespace qv::test
