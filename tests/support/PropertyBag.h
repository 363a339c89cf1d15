#pragma once
// Scratch classes for reader tests and the fuzzer keep their published
// values in a bag, by property name, instead of in fields of their own: one
// accessor serves every class. Ordinal setters also note the component
// marks at the time of the call, so tests can see in which state of the
// reading a value arrived.
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>

#include "core/Component.h"
#include "core/TypeInfo.h"

namespace qv::test {

struct Bag {
  virtual ~Bag() = default;
  std::map<std::string, int64_t> ords;
  std::map<std::string, double> floats;
  std::map<std::string, std::string> strs;
  std::map<std::string, std::u16string> wstrs;
  std::map<std::string, uint32_t> marks;
};

inline Bag& BagOf(TObject& object) {
  return dynamic_cast<Bag&>(object);
}

// One value of the bag, getter and setter in one object, so it fits both
// ClassInfoBuilder ("Height", BagOrd{"Height"}, BagOrd{"Height"}) and the
// accessors of a hand-made TPropInfo.
template <class T, std::map<std::string, T> Bag::*Values>
struct BagValue {
  std::string name;
  T operator()(TObject& o) const { return (BagOf(o).*Values)[name]; }
  void operator()(TObject& o, const T& v) const {
    (BagOf(o).*Values)[name] = v;
    if constexpr (std::is_same_v<T, int64_t>) {
      if (auto* component = dynamic_cast<TComponent*>(&o))
        BagOf(o).marks[name] = component->ComponentState();
    }
  }
};
using BagOrd = BagValue<int64_t, &Bag::ords>;
using BagFloat = BagValue<double, &Bag::floats>;
using BagStr = BagValue<std::string, &Bag::strs>;
using BagWideStr = BagValue<std::u16string, &Bag::wstrs>;

// Hand-made properties, for the kinds ClassInfoBuilder does not offer.
inline TPropInfo OrdProp(const std::string& name, TTypeKind kind = TTypeKind::tkInteger,
                         const TEnumInfo* type = nullptr, const std::string& typeName = "Integer") {
  TPropInfo p;
  p.Name = name;
  p.Kind = kind;
  p.Enum = type;
  p.TypeName = typeName;
  p.GetOrd = BagOrd{name};
  p.SetOrd = BagOrd{name};
  return p;
}

inline TPropInfo FloatProp(const std::string& name, TFloatType type) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkFloat;
  p.FloatType = type;
  p.GetFloat = BagFloat{name};
  p.SetFloat = BagFloat{name};
  return p;
}

inline TPropInfo StrProp(const std::string& name) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkString;
  p.GetStr = BagStr{name};
  p.SetStr = BagStr{name};
  return p;
}

inline TPropInfo WideStrProp(const std::string& name) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkWString;
  p.GetWStr = BagWideStr{name};
  p.SetWStr = BagWideStr{name};
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
