#pragma once
// The install record: what a finished installation put on the machine, kept
// in the destination for the uninstaller. Setup writes it when the
// installation has succeeded; the uninstaller reads it and removes exactly
// that, leaving what the administrator changed since.
//
// A text file, UTF-8, one entry per line, fields separated by a tab:
//
//   Quolvex Antivirus 5.0 install record
//   destination <TAB> C:\Program Files\QuolvexAntivirus
//   directory   <TAB> path               (made by the installation, parents first)
//   file        <TAB> path <TAB> sha256  (written by it, with the hash of what it wrote)
//   shortcut    <TAB> path
//   key         <TAB> key                (below HKEY_LOCAL_MACHINE, made by it)
//   value       <TAB> key <TAB> name     (made by it; values that were there are not listed)
//   service     <TAB> name
//   checksum    <TAB> sha256 of every byte before this line
//
// Bytes below 0x20 and '%' in a field are written as %XX. The checksum
// makes a truncated or altered record fail as a whole: the uninstaller
// removes nothing on the strength of a damaged one.
//
// A checksum only proves that the text is whole, not who wrote it, so the
// reader also refuses a record that no installation writes: a second
// destination, a line twice, a control character (a NUL would cut a path
// short at the system call), and any path that is not the one spelling of
// its file: a full "X:\..." or UNC path with backslashes only, without "."
// or ".." or empty segments, without a separator at the end (a drive root
// "X:\" aside) and without a segment ending in a dot or a space, which the
// system strips and so reaches another name. Keys carry no separator at
// either end and no empty segment.
#include <string>
#include <string_view>
#include <vector>

#include "core/Exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EInstallRecordError, Exception);

struct TInstallRecord {
  struct File {
    std::string path;
    std::string sha256;  // lower-case hex
  };
  struct Value {
    std::string key;
    std::string name;
  };

  std::string destination;
  std::vector<std::string> directories;
  std::vector<File> files;
  std::vector<std::string> shortcuts;
  std::vector<std::string> keys;
  std::vector<Value> values;
  std::vector<std::string> services;

  std::string Serialize() const;
  // Throws EInstallRecordError ("The install record is damaged.") for a
  // record without its heading, with an unknown entry or a wrong checksum,
  // or with an entry no installation writes (see above).
  static TInstallRecord Parse(std::string_view text);

  // Throws EInstallRecordError ("The install record is damaged.") when the record names anything
  // that is not the product's own.
  void CheckConfined(const std::string& programMenuFolder) const;

  // Takes in what an earlier installation into the same destination
  // recorded and this one did not: its directories, keys, values and
  // services stay the product's, and its files keep their hashes unless
  // this installation wrote them again. Paths compare case-insensitively.
  void Merge(const TInstallRecord& earlier);
};

}  // namespace qv
