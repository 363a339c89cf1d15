#pragma once
// Colours and fonts as the windows hold them. A TColor is 0x00BBGGRR, or a
// system colour: high byte 0xFF and the system colour index in the low byte.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/Component.h"
#include "win32/Handles.h"

namespace qv {

using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000F);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005);
constexpr TColor clGrayText = static_cast<TColor>(0xFF000011);
constexpr TColor clBtnHighlight = static_cast<TColor>(0xFF000014);
constexpr TColor clBtnShadow = static_cast<TColor>(0xFF000010);

COLORREF ColorToRGB(TColor color);
// Registers the identifier tables of TColor and TFontCharset.
void RegisterGraphicsIdents();

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

const TEnumInfo& FontStyleEnum();

class TFont : public TPersistent {
  QV_TYPE_INFO
 public:
  TFont();

  const std::string& Name() const noexcept { return name_; }
  void SetName(const std::string& name);
  int Height() const noexcept { return height_; }
  void SetHeight(int height);
  uint8_t Style() const noexcept { return style_; }
  void SetStyle(uint8_t style);
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor color);
  int Charset() const noexcept { return charset_; }
  void SetCharset(int charset);

  void Assign(const TFont& other);
  void AssignLogFont(const LOGFONTA& font);

  // The GDI font, made on first use and remade after a change.
  HFONT Handle();

  // Called after every change; the control that owns the font re-applies it.
  std::function<void()> OnChange;

 private:
  void Changed();

  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  uint8_t style_ = 0;
  TColor color_ = clWindowText;
  int charset_ = DEFAULT_CHARSET;
  UniqueFont handle_;
};

}  // namespace qv
