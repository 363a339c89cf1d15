#pragma once
// Scratch classes for reader tests and the fuzzer keep their published
// values in a bag, by property name, instead of in fields of their own: one
// property description serves every class. Ordinal setters also note the
// component marks at the time of the call, so tests can see in which state
// of the reading a value arrived.
#include <cstdint>
#include <map>
#include <string>

#include "core/Component.h"
#include "core/TypeInfo.h"

namespace qv::test {

struct Bag {
  virtual ~Bag() = default;
  std::map<std::string, int64_t> ords;
  std::map<std::string, double> floats;
  std::map<std::string, std::string> strs;
  std::map<std::string, uint32_t> marks;
};

inline Bag& BagOf(TObject& object) {
  return dynamic_cast<Bag&>(object);
}

inline TPropInfo OrdProp(const std::string& name, TTypeKind kind = TTypeKind::tkInteger,
                         const TEnumInfo* type = nullptr, const std::string& typeName = "Integer") {
  TPropInfo p;
  p.Name = name;
  p.Kind = kind;
  p.Enum = type;
  p.TypeName = typeName;
  p.GetOrd = [name](TObject& o) { return BagOf(o).ords[name]; };
  p.SetOrd = [name](TObject& o, int64_t v) {
    BagOf(o).ords[name] = v;
    if (auto* component = dynamic_cast<TComponent*>(&o))
      BagOf(o).marks[name] = component->ComponentState();
  };
  return p;
}

inline TPropInfo FloatProp(const std::string& name, TFloatType type) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkFloat;
  p.FloatType = type;
  p.GetFloat = [name](TObject& o) { return BagOf(o).floats[name]; };
  p.SetFloat = [name](TObject& o, double v) { BagOf(o).floats[name] = v; };
  return p;
}

inline TPropInfo StrProp(const std::string& name, TTypeKind kind = TTypeKind::tkString) {
  TPropInfo p;
  p.Name = name;
  p.Kind = kind;
  p.GetStr = [name](TObject& o) { return BagOf(o).strs[name]; };
  p.SetStr = [name](TObject& o, const std::string& v) { BagOf(o).strs[name] = v; };
  return p;
}

inline const TEnumInfo& AlignEnum() {
  static const TEnumInfo info{"TAlign", {"alNone", "alTop", "alBottom", "alClient"}};
  return info;
}

inline const TEnumInfo& FontStyleEnum() {
  static const TEnumInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return info;
}

}  // namespace qv::test
