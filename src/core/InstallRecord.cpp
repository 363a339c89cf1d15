#include "core/InstallRecord.h"

#include <algorithm>
#include <cstdint>

#include "core/Component.h"
#include "core/Sha256.h"

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
      if (kind == "destination" && f.size() == 2 && !f[1].empty()) {
        record.destination = f[1];
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
  if (record.destination.empty())
    throw EInstallRecordError(kDamaged);
  return record;
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
