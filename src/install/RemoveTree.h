#pragma once
// Removing what lies in a directory tree, for an abort that takes back what
// an installation put into its destination.
#include <string>

namespace qv {

// Deletes every file below path (read-only ones included); with
// deleteDirectory also every directory below it and path itself. What cannot
// be deleted stays, the rest still goes, and the directories above a
// survivor stay. True only when everything asked for went; false at once
// when path is no directory. Never throws for a file-system failure. A bare
// drive ("C:") is never removed itself. A link (junction or symbolic link),
// at the top or below, is at most removed itself: its target is never
// entered.
bool RemoveTree(const std::string& path, bool deleteDirectory);

}  // namespace qv
