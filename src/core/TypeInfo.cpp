#include "core/TypeInfo.h"

#include <algorithm>
#include <map>

#include "core/Component.h"

namespace qv {

namespace {
std::string Upper(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

std::map<std::string, const TClassInfo*>& Registry() {
  static std::map<std::string, const TClassInfo*> registry;
  return registry;
}

std::map<std::string, std::vector<TIdentMapEntry>>& IdentTables() {
  static std::map<std::string, std::vector<TIdentMapEntry>> tables;
  return tables;
}
}  // namespace

int TEnumInfo::ValueOf(const std::string& name) const {
  for (size_t i = 0; i < Names.size(); ++i) {
    if (SameText(Names[i], name))
      return static_cast<int>(i);
  }
  return -1;
}

const TEnumInfo& BooleanEnum() {
  static const TEnumInfo info{"Boolean", {"False", "True"}};
  return info;
}

TPropInfo& TClassInfo::AddProperty(const char* name, TTypeKind kind, const char* typeName) {
  TPropInfo& p = Properties.emplace_back();
  p.Name = name;
  p.Kind = kind;
  p.TypeName = typeName;
  return p;
}

TPublishedMethod& TClassInfo::AddMethod(const char* name) {
  TPublishedMethod& m = Methods.emplace_back();
  m.Name = name;
  return m;
}

TPublishedField& TClassInfo::AddField(const char* name, const TClassInfo& fieldClass) {
  TPublishedField& f = Fields.emplace_back();
  f.Name = name;
  f.FieldClass = &fieldClass;
  return f;
}

bool TPropInfo::IsWritable() const {
  switch (Kind) {
    case TTypeKind::tkFloat:
      return static_cast<bool>(SetFloat);
    case TTypeKind::tkString:
      return static_cast<bool>(SetStr);
    case TTypeKind::tkWString:
      return static_cast<bool>(SetWStr);
    case TTypeKind::tkClass:
      return static_cast<bool>(SetObj);
    case TTypeKind::tkMethod:
      return static_cast<bool>(SetMethod);
    default:
      return static_cast<bool>(SetOrd);
  }
}

const TPropInfo* TClassInfo::FindProperty(const std::string& name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
    for (const TPropInfo& p : c->Properties) {
      if (SameText(p.Name, name))
        return &p;
    }
  }
  return nullptr;
}

const TPublishedMethod* TClassInfo::FindMethod(const std::string& name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
    for (const TPublishedMethod& m : c->Methods) {
      if (SameText(m.Name, name))
        return &m;
    }
  }
  return nullptr;
}

const TPublishedField* TClassInfo::FindField(const std::string& name) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
    for (const TPublishedField& f : c->Fields) {
      if (SameText(f.Name, name))
        return &f;
    }
  }
  return nullptr;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
    if (c == &other)
      return true;
  }
  return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent)
    chain.insert(chain.begin(), c);
  std::vector<const TPropInfo*> result;
  for (const TClassInfo* c : chain) {
    for (const TPropInfo& p : c->Properties) {
      // A class that lists an inherited property again replaces it: its own
      // rules (stored, default) hold, at its own place in the order.
      result.erase(std::remove_if(result.begin(), result.end(),
                                  [&p](const TPropInfo* q) { return SameText(q->Name, p.Name); }),
                   result.end());
      result.push_back(&p);
    }
  }
  return result;
}

void RegisterComponentClass(const TClassInfo& info) {
  Registry()[Upper(info.Name)] = &info;
}

const TClassInfo* FindRegisteredClass(const std::string& name) {
  auto it = Registry().find(Upper(name));
  return it == Registry().end() ? nullptr : it->second;
}

void RegisterIntegerConsts(const std::string& typeName, std::vector<TIdentMapEntry> table) {
  IdentTables()[typeName] = std::move(table);
}

bool IdentToInt(const std::string& typeName, const std::string& ident, int64_t& value) {
  auto it = IdentTables().find(typeName);
  if (it == IdentTables().end())
    return false;
  for (const TIdentMapEntry& entry : it->second) {
    if (SameText(entry.Name, ident)) {
      value = entry.Value;
      return true;
    }
  }
  return false;
}

bool IntToIdent(const std::string& typeName, int64_t value, std::string& ident) {
  auto it = IdentTables().find(typeName);
  if (it == IdentTables().end())
    return false;
  for (const TIdentMapEntry& entry : it->second) {
    if (entry.Value == value) {
      ident = entry.Name;
      return true;
    }
  }
  return false;
}

}  // namespace qv
