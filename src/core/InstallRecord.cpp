#include "core/InstallRecord.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "core/Component.h"
#include "core/Sha256.h"
#include "core/ShellText.h"

namespace qv {

namespace {

constexpr std::string_view kHeading = "Quolvex Antivirus 5.0 install record";
constexpr char kDamaged[] = "The install record is damaged.";

std::string Escape(std::string_view field) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(field.size());
  for (const char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size())
      throw EInstallRecordError(kDamaged);
    const int high = HexDigit(field[i + 1]);
    const int low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0)
      throw EInstallRecordError(kDamaged);
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string_view::npos)
      return fields;
    start = tab + 1;
  }
}

std::string HashOf(std::string_view text) {
  Sha256 hash;
  hash.Update(text.data(), text.size());
  return Sha256::Hex(hash.Final());
}

bool IsHash(const std::string& text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::any_of(list.begin(), list.end(),
                     [&item](const std::string& entry) { return SameText(entry, item); });
}

[[noreturn]] void Damaged() {
  throw EInstallRecordError(kDamaged);
}

// ASCII letters only, as SameText: the record is UTF-8, whose bytes above
// 0x7F must not be folded as if they were characters of a code page. Two
// spellings that differ only outside ASCII count as different, which
// refuses rather than admits.
bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool HasControl(std::string_view field) {
  return std::any_of(field.begin(), field.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

template <class Each>
bool AllSegments(std::string_view text, Each each) {
  for (;;) {
    const size_t separator = text.find('\\');
    if (!each(text.substr(0, separator)))
      return false;
    if (separator == std::string_view::npos)
      return true;
    text.remove_prefix(separator + 1);
  }
}

// A name the system takes as it stands: "." and ".." end in a dot too, a
// colon would name a stream of the file, '/' is a second separator and the
// wildcards make "\\?\" and "\\.\" device paths.
bool IsCanonicalSegment(std::string_view segment) {
  return !segment.empty() && segment.back() != '.' && segment.back() != ' ' &&
         segment.find_first_of("<>:\"/|?*") == std::string_view::npos;
}

bool IsCanonicalPath(std::string_view path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                     LowerAscii(path[0]) >= 'a' && LowerAscii(path[0]) <= 'z';
  if (drive)
    return path.size() == 3 || AllSegments(path.substr(3), IsCanonicalSegment);
  if (path.substr(0, 2) != "\\\\")
    return false;
  // A server and a share at least.
  const std::string_view rest = path.substr(2);
  return rest.find('\\') != std::string_view::npos && AllSegments(rest, IsCanonicalSegment);
}

bool IsCanonicalKey(std::string_view key) {
  return AllSegments(key, [](std::string_view segment) { return !segment.empty(); });
}

// Every field as only an installation writes it, whoever built the record.
void CheckWellFormed(const TInstallRecord& r) {
  std::set<std::string> seen;
  // One line per thing: a second could only be there to be acted on twice
  // or to hide behind the first.
  const auto once = [&seen](char kind, const std::string& what) {
    if (!seen.insert(kind + LowerAsciiLetters(what)).second)
      Damaged();
  };
  const auto path = [&once](char kind, const std::string& p) {
    if (HasControl(p) || !IsCanonicalPath(p))
      Damaged();
    once(kind, p);
  };
  const auto key = [](const std::string& k) {
    if (HasControl(k) || !IsCanonicalKey(k))
      Damaged();
  };
  path('D', r.destination);
  for (const std::string& d : r.directories)
    path('d', d);
  for (const TInstallRecord::File& f : r.files) {
    path('f', f.path);
    if (!IsHash(f.sha256))
      Damaged();
  }
  for (const std::string& s : r.shortcuts)
    path('s', s);
  for (const std::string& k : r.keys) {
    key(k);
    once('k', k);
  }
  for (const TInstallRecord::Value& v : r.values) {
    key(v.key);
    if (HasControl(v.name))
      Damaged();
    // Neither a key nor a name holds a control character: '\n' parts them.
    once('v', v.key + '\n' + v.name);
  }
  for (const std::string& s : r.services) {
    if (s.empty() || HasControl(s))
      Damaged();
    once('S', s);
  }
}

// path lies below folder; both are canonical, and a drive root ends with
// its separator already.
bool IsBelow(std::string_view path, std::string_view folder) {
  if (folder.empty())
    return false;
  const size_t length = folder.back() == '\\' ? folder.size() : folder.size() + 1;
  return path.size() > length && path[length - 1] == '\\' &&
         SameAscii(path.substr(0, folder.size()), folder);
}

// The keys Setup writes: the settings, the entry in the list of installed
// programs and the two services'. Whole segments: "Services\Quolvex" does
// not admit "Services\QuolvexX".
constexpr std::string_view kOwnKeys[] = {
    "SOFTWARE\\Quolvex",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus",
    "SYSTEM\\CurrentControlSet\\Services\\Quolvex",
    "SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor",
};
constexpr std::string_view kOwnServices[] = {"Quolvex", "QuolvexMonitor"};

bool IsOwnKey(std::string_view key) {
  return std::any_of(std::begin(kOwnKeys), std::end(kOwnKeys), [key](std::string_view own) {
    return SameAscii(key, own) || IsBelow(key, own);
  });
}

}  // namespace

std::string TInstallRecord::Serialize() const {
  std::string text(kHeading);
  text += "\r\n";
  auto line = [&text](std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view field : fields) {
      if (!first)
        text += '\t';
      text += first ? std::string(field) : Escape(field);
      first = false;
    }
    text += "\r\n";
  };
  line({"destination", destination});
  for (const std::string& d : directories)
    line({"directory", d});
  for (const File& f : files)
    line({"file", f.path, f.sha256});
  for (const std::string& s : shortcuts)
    line({"shortcut", s});
  for (const std::string& k : keys)
    line({"key", k});
  for (const Value& v : values)
    line({"value", v.key, v.name});
  for (const std::string& s : services)
    line({"service", s});
  const std::string checksum = HashOf(text);
  line({"checksum", checksum});
  return text;
}

TInstallRecord TInstallRecord::Parse(std::string_view text) {
  // The checksum line is the last one and covers everything before it.
  constexpr std::string_view kChecksum = "checksum\t";
  const size_t end =
      text.size() >= 2 && text.substr(text.size() - 2) == "\r\n" ? text.size() - 2 : text.size();
  const size_t checksumAt = text.rfind("\r\n" + std::string(kChecksum), end);
  if (checksumAt == std::string_view::npos)
    throw EInstallRecordError(kDamaged);
  const std::string_view body = text.substr(0, checksumAt + 2);
  const std::string_view stated =
      text.substr(checksumAt + 2 + kChecksum.size(), end - (checksumAt + 2 + kChecksum.size()));
  if (stated != HashOf(body))
    throw EInstallRecordError(kDamaged);

  TInstallRecord record;
  bool headed = false;
  bool destined = false;
  size_t start = 0;
  while (start < body.size()) {
    const size_t lineEnd = body.find("\r\n", start);
    const std::string_view line = body.substr(start, lineEnd - start);
    start = lineEnd + 2;
    if (!headed) {
      if (line != kHeading)
        throw EInstallRecordError(kDamaged);
      headed = true;
      continue;
    }
    const std::vector<std::string> f = Fields(line);
    const std::string& kind = f[0];
    const bool ok = [&] {
      if (kind == "destination" && f.size() == 2 && !destined) {
        record.destination = f[1];
        destined = true;
      } else if (kind == "directory" && f.size() == 2) {
        record.directories.push_back(f[1]);
      } else if (kind == "file" && f.size() == 3 && IsHash(f[2])) {
        record.files.push_back({f[1], f[2]});
      } else if (kind == "shortcut" && f.size() == 2) {
        record.shortcuts.push_back(f[1]);
      } else if (kind == "key" && f.size() == 2) {
        record.keys.push_back(f[1]);
      } else if (kind == "value" && f.size() == 3) {
        record.values.push_back({f[1], f[2]});
      } else if (kind == "service" && f.size() == 2) {
        record.services.push_back(f[1]);
      } else {
        return false;
      }
      return true;
    }();
    if (!ok)
      throw EInstallRecordError(kDamaged);
  }
  CheckWellFormed(record);
  return record;
}

void TInstallRecord::CheckConfined(const std::string& programMenuFolder) const {
  // Only a canonical path is below a folder by its spelling alone.
  CheckWellFormed(*this);
  const std::string& menu = programMenuFolder;
  const auto ownDirectory = [&](const std::string& d) {
    return SameAscii(d, destination) || IsBelow(d, destination) ||
           (!menu.empty() && SameAscii(d, menu));
  };
  // The program menu holds the shortcuts themselves, no folders of them.
  const auto ownShortcut = [&menu](const std::string& s) {
    return IsBelow(s, menu) && s.find('\\', menu.size() + 1) == std::string::npos;
  };
  const bool confined =
      std::all_of(directories.begin(), directories.end(), ownDirectory) &&
      std::all_of(files.begin(), files.end(),
                  [this](const File& f) { return IsBelow(f.path, destination); }) &&
      std::all_of(shortcuts.begin(), shortcuts.end(), ownShortcut) &&
      std::all_of(keys.begin(), keys.end(), IsOwnKey) &&
      std::all_of(values.begin(), values.end(), [](const Value& v) { return IsOwnKey(v.key); }) &&
      std::all_of(services.begin(), services.end(), [](const std::string& s) {
        return std::any_of(std::begin(kOwnServices), std::end(kOwnServices),
                           [&s](std::string_view own) { return SameAscii(s, own); });
      });
  if (!confined)
    Damaged();
}

void TInstallRecord::Merge(const TInstallRecord& earlier) {
  // The earlier installation's directories were made before this one's.
  std::vector<std::string> merged;
  for (const std::string& d : earlier.directories) {
    if (!Contains(merged, d))
      merged.push_back(d);
  }
  for (const std::string& d : directories) {
    if (!Contains(merged, d))
      merged.push_back(d);
  }
  directories = std::move(merged);
  for (const File& f : earlier.files) {
    const bool rewritten = std::any_of(
        files.begin(), files.end(), [&f](const File& mine) { return SameText(mine.path, f.path); });
    if (!rewritten)
      files.push_back(f);
  }
  for (const std::string& s : earlier.shortcuts) {
    if (!Contains(shortcuts, s))
      shortcuts.push_back(s);
  }
  for (const std::string& k : earlier.keys) {
    if (!Contains(keys, k))
      keys.push_back(k);
  }
  for (const Value& v : earlier.values) {
    const bool known = std::any_of(values.begin(), values.end(), [&v](const Value& mine) {
      return SameText(mine.key, v.key) && SameText(mine.name, v.name);
    });
    if (!known)
      values.push_back(v);
  }
  for (const std::string& s : earlier.services) {
    if (!Contains(services, s))
      services.push_back(s);
  }
}

}  // namespace qv
