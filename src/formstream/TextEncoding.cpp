#include "formstream/TextEncoding.h"

#include <cstdint>

namespace qv {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined stand for the C1 control of the same value, as Windows maps them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string DefaultWideToAnsi(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      result.push_back(static_cast<char>(unit));
      continue;
    }
    char byte = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == unit)
        byte = static_cast<char>(0x80 + k);
    }
    // A surrogate pair is one character and becomes one '?'.
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    }
    result.push_back(byte);
  }
  return result;
}

std::u16string DefaultAnsiToWide(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    result.push_back(byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80]
                                                  : static_cast<char16_t>(byte));
  }
  return result;
}

TWideToAnsiFunc& WideToAnsiHook() {
  static TWideToAnsiFunc hook;
  return hook;
}

TAnsiToWideFunc& AnsiToWideHook() {
  static TAnsiToWideFunc hook;
  return hook;
}

void AppendUtf16(std::u16string& out, uint32_t codePoint) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<char16_t>(codePoint));
  } else {
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
  }
}

}  // namespace

void SetAnsiConversion(TWideToAnsiFunc wideToAnsi, TAnsiToWideFunc ansiToWide) {
  WideToAnsiHook() = std::move(wideToAnsi);
  AnsiToWideHook() = std::move(ansiToWide);
}

std::string WideToAnsi(std::u16string_view text) {
  const TWideToAnsiFunc& hook = WideToAnsiHook();
  return hook ? hook(text) : DefaultWideToAnsi(text);
}

std::u16string AnsiToWide(std::string_view text) {
  const TAnsiToWideFunc& hook = AnsiToWideHook();
  return hook ? hook(text) : DefaultAnsiToWide(text);
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    int extra = 0;
    uint32_t codePoint = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      result.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      codePoint = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      codePoint = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      codePoint = lead & 0x07;
      minimum = 0x10000;
    } else {
      result.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t j = i + 1;
    for (; j < text.size() && j <= i + static_cast<size_t>(extra); ++j) {
      const auto next = static_cast<uint8_t>(text[j]);
      if ((next & 0xC0) != 0x80)
        break;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (j != i + 1 + static_cast<size_t>(extra) || codePoint < minimum || codePoint > 0x10FFFF) {
      result.push_back(0xFFFD);
      i = j;
      continue;
    }
    AppendUtf16(result, codePoint);
    i = j;
  }
  return result;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t codePoint = text[i];
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (codePoint < 0x80) {
      result.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
      result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
      result.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
      result.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
  }
  return result;
}

}  // namespace qv
