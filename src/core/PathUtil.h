#pragma once
// Path text rules shared by the start-up checks, the wizard and its file
// operations. Paths are Windows paths held as ANSI text.
#include <string>

namespace qv {

// The directory part of a path: up to the last backslash or colon, without
// that backslash unless it is the one of a drive root ("C:\qvdaemon.exe"
// gives "C:\"); empty when the text has neither.
std::string DirectoryPart(const std::string& path);

// The program a service's stored image path names. Image paths are normally
// stored in double quotes, so that one with spaces cannot be taken for a
// shorter program; the text inside a leading pair of quotes is the program
// (an unclosed quote takes the rest of the text). Any other text is taken
// exactly as stored.
std::string UnquotedProgramPath(const std::string& imagePath);

}  // namespace qv
