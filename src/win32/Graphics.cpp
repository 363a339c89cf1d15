#include "win32/Graphics.h"

#include "core/TypeInfoBuilder.h"

namespace qv {

const TEnumInfo& FontStyleEnum() {
  static const TEnumInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return info;
}

const TClassInfo& TFont::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFont>("TFont", &TPersistent::StaticClassInfo())
          .Integer("Charset", &TFont::Charset, &TFont::SetCharset, "TFontCharset")
          .Integer("Color", &TFont::Color, &TFont::SetColor, "TColor")
          .Integer("Height", &TFont::Height, &TFont::SetHeight)
          .String("Name", &TFont::Name, &TFont::SetName)
          .SetOf("Style", FontStyleEnum(), &TFont::Style,
                 [](TFont& f, int64_t v) { f.SetStyle(static_cast<uint8_t>(v)); })
          .Build();
  return info;
}

// Colour and character-set names as the form streams store them.
void RegisterGraphicsIdents() {
  RegisterIntegerConsts("TColor",
                        {{clBlack, "clBlack"},         {0x000080, "clMaroon"},
                         {0x008000, "clGreen"},        {0x008080, "clOlive"},
                         {clNavy, "clNavy"},           {0x800080, "clPurple"},
                         {0x808000, "clTeal"},         {0x808080, "clGray"},
                         {0xC0C0C0, "clSilver"},       {0x0000FF, "clRed"},
                         {0x00FF00, "clLime"},         {0x00FFFF, "clYellow"},
                         {clBlue, "clBlue"},           {0xFF00FF, "clFuchsia"},
                         {0xFFFF00, "clAqua"},         {clWhite, "clWhite"},
                         {clBtnFace, "clBtnFace"},     {clWindowText, "clWindowText"},
                         {clWindow, "clWindow"},       {clGrayText, "clGrayText"},
                         {clBtnShadow, "clBtnShadow"}, {clBtnHighlight, "clBtnHighlight"}});
  RegisterIntegerConsts("TFontCharset", {{0, "ANSI_CHARSET"},
                                         {1, "DEFAULT_CHARSET"},
                                         {2, "SYMBOL_CHARSET"},
                                         {204, "RUSSIAN_CHARSET"},
                                         {238, "EASTEUROPE_CHARSET"}});
}

COLORREF ColorToRGB(TColor color) {
  if ((static_cast<uint32_t>(color) & 0xFF000000u) == 0xFF000000u) {
    return ::GetSysColor(color & 0xFF);
  }
  return static_cast<COLORREF>(color & 0x00FFFFFF);
}

TFont::TFont() = default;

void TFont::SetName(const std::string& name) {
  if (name == name_)
    return;
  name_ = name;
  Changed();
}
void TFont::SetHeight(int height) {
  if (height == height_)
    return;
  height_ = height;
  Changed();
}
void TFont::SetStyle(uint8_t style) {
  if (style == style_)
    return;
  style_ = style;
  Changed();
}
void TFont::SetColor(TColor color) {
  if (color == color_)
    return;
  color_ = color;
  // The colour is not part of the GDI font: no new handle.
  if (OnChange)
    OnChange();
}
void TFont::SetCharset(int charset) {
  if (charset == charset_)
    return;
  charset_ = charset;
  Changed();
}

void TFont::Assign(const TFont& other) {
  name_ = other.name_;
  height_ = other.height_;
  style_ = other.style_;
  color_ = other.color_;
  charset_ = other.charset_;
  Changed();
}

void TFont::AssignLogFont(const LOGFONTA& font) {
  name_ = font.lfFaceName;
  height_ = font.lfHeight;
  style_ = static_cast<uint8_t>(
      (font.lfWeight >= FW_BOLD ? fsBold : 0) | (font.lfItalic ? fsItalic : 0) |
      (font.lfUnderline ? fsUnderline : 0) | (font.lfStrikeOut ? fsStrikeOut : 0));
  charset_ = font.lfCharSet;
  Changed();
}

HFONT TFont::Handle() {
  if (!handle_) {
    LOGFONTA font{};
    font.lfHeight = height_;
    font.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (style_ & fsItalic) ? TRUE : FALSE;
    font.lfUnderline = (style_ & fsUnderline) ? TRUE : FALSE;
    font.lfStrikeOut = (style_ & fsStrikeOut) ? TRUE : FALSE;
    font.lfCharSet = static_cast<BYTE>(charset_);
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynA(font.lfFaceName, name_.c_str(), LF_FACESIZE);
    handle_.reset(::CreateFontIndirectA(&font));
  }
  return handle_.get();
}

void TFont::Changed() {
  handle_.reset();
  if (OnChange)
    OnChange();
}

}  // namespace qv
