#pragma once
// Path text rules shared by the start-up checks, the wizard and its file
// operations. Paths are Windows paths held as ANSI text.
#include <string>

namespace qv {

// The directory part of a path: up to the last backslash or colon, without
// that backslash unless it is the one of a drive root ("C:\qvdaemon.exe"
// gives "C:\"); empty when the text has neither.
std::string DirectoryPart(const std::string& path);

}  // namespace qv
