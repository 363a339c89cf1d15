#include "core/Format.h"

namespace qv::detail {

namespace {
std::string Digits(uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}
}  // namespace

std::string FormatValues(std::string_view pattern, const std::vector<FormatValue>& values) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    const size_t start = i++;
    bool left = false;
    bool zero = false;
    for (; i < pattern.size() && (pattern[i] == '-' || pattern[i] == '0'); ++i)
      (pattern[i] == '-' ? left : zero) = true;
    size_t width = 0;
    for (; i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9'; ++i)
      width = width * 10 + static_cast<size_t>(pattern[i] - '0');
    // Length modifiers say nothing the argument's own type does not.
    while (i < pattern.size() && (pattern[i] == 'l' || pattern[i] == 'h' || pattern[i] == 'z'))
      ++i;
    if (i >= pattern.size()) {
      out.append(pattern.substr(start));
      break;
    }
    const char conversion = pattern[i];
    if (conversion == '%') {
      out += '%';
      continue;
    }
    const bool known = std::string_view("sdiuxXc").find(conversion) != std::string_view::npos;
    if (!known || next >= values.size() || values[next].isText != (conversion == 's')) {
      out.append(pattern.substr(start, i - start + 1));
      continue;
    }
    const FormatValue& value = values[next++];
    std::string text;
    std::string sign;
    if (conversion == 's') {
      text = std::string(value.text);
    } else if (conversion == 'c') {
      text = std::string(1, static_cast<char>(value.number));
    } else if (conversion == 'd' || conversion == 'i') {
      if (value.number < 0)
        sign = "-";
      const uint64_t magnitude = value.number < 0 ? 0 - static_cast<uint64_t>(value.number)
                                                  : static_cast<uint64_t>(value.number);
      text = Digits(magnitude, 10, false);
    } else {
      const uint64_t bits =
          value.narrow ? static_cast<uint32_t>(value.number) : static_cast<uint64_t>(value.number);
      text = Digits(bits, conversion == 'u' ? 10 : 16, conversion == 'X');
    }
    const size_t length = sign.size() + text.size();
    const size_t pad = width > length ? width - length : 0;
    if (left) {
      out += sign + text + std::string(pad, ' ');
    } else if (zero && conversion != 's' && conversion != 'c') {
      out += sign + std::string(pad, '0') + text;
    } else {
      out += std::string(pad, ' ') + sign + text;
    }
  }
  return out;
}

}  // namespace qv::detail
