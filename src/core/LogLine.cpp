#include "core/LogLine.h"

namespace qv {

namespace {

void AppendDigits(std::string& out, unsigned value, int digits) {
  char text[4] = {};
  for (int i = digits - 1; i >= 0; --i) {
    text[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(text, static_cast<size_t>(digits));
}

}  // namespace

std::string LogLine(const TLogTime& time, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 26);
  AppendDigits(line, time.year, 4);
  line += '-';
  AppendDigits(line, time.month, 2);
  line += '-';
  AppendDigits(line, time.day, 2);
  line += ' ';
  AppendDigits(line, time.hour, 2);
  line += ':';
  AppendDigits(line, time.minute, 2);
  line += ':';
  AppendDigits(line, time.second, 2);
  line += '.';
  AppendDigits(line, time.millisecond, 3);
  line += ' ';
  for (const char c : text)
    line += c == '\r' || c == '\n' ? ' ' : c;
  return line + "\r\n";
}

}  // namespace qv
