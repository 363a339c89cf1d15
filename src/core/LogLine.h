#pragma once
// One line of the logs Setup and the uninstaller write for administrators:
// the local time, then the text, then CR LF, so that any editor and any
// line-based tool reads it and every line can be placed in time.
#include <string>
#include <string_view>

namespace qv {

struct TLogTime {
  unsigned year, month, day, hour, minute, second, millisecond;
};

// "YYYY-MM-DD HH:MM:SS.mmm text\r\n". Line breaks inside the text (the
// system's error texts have them) become spaces: each line of the log
// starts with its time.
std::string LogLine(const TLogTime& time, std::string_view text);

}  // namespace qv
