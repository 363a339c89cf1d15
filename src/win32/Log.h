#pragma once
// The log an administrator asks for with /log (and gets by default when
// nobody watches the screen): one line per thing Setup did, in UTF-8, each
// starting with the local time. Lower layers write to it through Log(),
// which does nothing while no log is open.
#include <cstdint>
#include <string>

#include "win32/Handles.h"

namespace qv {

class TSetupLog {
 public:
  TSetupLog() = default;
  TSetupLog(const TSetupLog&) = delete;
  TSetupLog& operator=(const TSetupLog&) = delete;
  ~TSetupLog();

  // Creates the log at path, new: a link there, or an existing file of an
  // owner other than SYSTEM, Administrators or this process's account, is
  // never written through or into (Setup runs elevated, often in a temp
  // folder every user may write). False with the system's error otherwise;
  // kLinkRefused stands for a refused link or owner.
  bool Open(const std::string& path, uint32_t& error);
  const std::string& Path() const noexcept { return path_; }
  // Appends a line (text in the ANSI code page).
  void Line(const std::string& text);

 private:
  UniqueFile file_;
  std::string path_;
};

// Where Log() writes; null closes the way.
void SetLog(TSetupLog* log) noexcept;
// One line in the log, when there is one. Never throws: a log that cannot be
// written does not stop an installation.
void Log(const std::string& text) noexcept;

}  // namespace qv
