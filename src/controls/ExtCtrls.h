#pragma once
// Containers and pictures: TPanel, TBevel, TImage with its picture, the page
// container TNotebook with its TPage pages, and TProgressBar.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "controls/Controls.h"

namespace qv {

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
const TEnumInfo& BevelCutEnum();

class TPanel : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TPanel(TComponent* owner);

  TBevelCut BevelOuter() const noexcept { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  TBevelCut BevelInner() const noexcept { return bevelInner_; }
  void SetBevelInner(TBevelCut value);
  int BevelWidth() const noexcept { return bevelWidth_; }
  void SetBevelWidth(int value);

  RECT ClientRect() override;

 protected:
  void PaintWindow(HDC dc) override;
  // The ordinary panel painting: background, bevels, centred caption.
  void PaintPanel(HDC dc);
  void TextChanged() override;

 private:
  TBevelCut bevelOuter_ = TBevelCut::bvRaised;
  TBevelCut bevelInner_ = TBevelCut::bvNone;
  int bevelWidth_ = 1;
};

enum class TBevelShape {
  bsBox,
  bsFrame,
  bsTopLine,
  bsBottomLine,
  bsLeftLine,
  bsRightLine,
  bsSpacer
};
enum class TBevelStyle { bsLowered, bsRaised };
const TEnumInfo& BevelShapeEnum();
const TEnumInfo& BevelStyleEnum();

// A line or frame drawn by the parent.
class TBevel : public TControl {
  QV_TYPE_INFO
 public:
  explicit TBevel(TComponent* owner);
  TBevelShape Shape() const noexcept { return shape_; }
  void SetShape(TBevelShape value);
  TBevelStyle Style() const noexcept { return style_; }
  void SetStyle(TBevelStyle value);
  void Paint(HDC dc) override;

 private:
  TBevelShape shape_ = TBevelShape::bsBox;
  TBevelStyle style_ = TBevelStyle::bsLowered;
};

// A picture as stored in a form stream ("Picture.Data": the graphic class
// name, then for a bitmap its length and a bitmap file).
class TPicture : public TPersistent {
  QV_TYPE_INFO
 public:
  void DefineProperties(TFiler& filer) override;
  // Loads a bitmap file (the "BM" header and what follows).
  void LoadBitmapFile(std::vector<uint8_t> file);
  bool Empty() const noexcept { return file_.empty(); }
  int Width() const;
  int Height() const;
  // Draws the bitmap with its top-left corner at (x, y).
  void Draw(HDC dc, int x, int y) const;

  std::function<void()> OnChange;

 private:
  const BITMAPINFOHEADER* Header() const;
  std::vector<uint8_t> file_;
};

class TImage : public TControl {
  QV_TYPE_INFO
 public:
  explicit TImage(TComponent* owner);

  TPicture& Picture() noexcept { return picture_; }
  // A shared icon (stock or loaded with LR_SHARED): not destroyed here.
  void SetIcon(HICON icon);
  HICON Icon() const noexcept { return icon_; }

  void Paint(HDC dc) override;

 private:
  TPicture picture_;
  HICON icon_ = nullptr;
};

class TNotebook;

// One page of a notebook: a container shown only while it is the current one.
class TPage : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TPage(TComponent* owner);

  void SetParentComponent(TComponent* parent) override;

 protected:
  void PaintWindow(HDC dc) override;
};

class TNotebook : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TNotebook(TComponent* owner);

  int PageIndex() const noexcept { return pageIndex_; }
  // Setting the current index, a negative one or one not below the page
  // count does nothing; otherwise the new page is shown, the old hidden, the
  // index stored and OnPageChanged run.
  void SetPageIndex(int index);
  int PageCount() const noexcept { return static_cast<int>(pages_.size()); }
  TPage* Pages(int index) const { return pages_.at(static_cast<size_t>(index)); }

  TNotifyEvent OnPageChanged;

  // Reading: the page list is cleared when the notebook's record starts,
  // each page record appends its page, and the stored index is applied when
  // the record ends.
  void BeginReadRecord() override;
  void EndReadRecord() override;
  TComponent* ChildOwnerForReading() override { return this; }
  void AddPage(TPage* page);

 protected:
  void PaintWindow(HDC dc) override;

 private:
  void ShowPage(int index);
  void SetStoredPageIndex(int index);
  std::vector<TPage*> pages_;
  int pageIndex_ = -1;
};

class TProgressBar : public TWinControl {
  QV_TYPE_INFO
 public:
  explicit TProgressBar(TComponent* owner);

  int Min() const noexcept { return min_; }
  void SetMin(int value);
  int Max() const noexcept { return max_; }
  void SetMax(int value);
  int Position() const noexcept { return position_; }
  void SetPosition(int value);

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;

 private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

}  // namespace qv
