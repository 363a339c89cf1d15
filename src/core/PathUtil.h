#pragma once
// Path text rules shared by the start-up checks, the wizard and its file
// operations. Paths are Windows paths held as ANSI text.
#include <functional>
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

// The program the service control manager starts for an image path whose
// environment variables are already expanded: without a leading native
// prefix "\??\", and inside the quotes of a quoted path. An unquoted path
// may carry arguments and may itself contain spaces, so the program is the
// shortest text ending at a space that names an existing ".exe" file (as
// fileExists answers); failing that, the whole text, so that a missing
// program is still found missing.
std::string ResolveImagePath(const std::string& imagePath,
                             const std::function<bool(const std::string&)>& fileExists);

}  // namespace qv
