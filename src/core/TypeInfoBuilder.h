#pragma once
// Builds a class's type information from typed accessors, so each class
// states its published properties, methods and fields in one place:
//
//   static const TClassInfo info = ClassInfoBuilder<TButton>("TButton", &TWinControl::...)
//       .Creatable()
//       .Integer("ModalResult", &TButton::ModalResult, &TButton::SetModalResult)
//       .Build();
#include <any>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "core/Component.h"
#include "core/TypeInfo.h"

namespace qv {

template <class C>
class ClassInfoBuilder {
 public:
  ClassInfoBuilder(const char* name, const TClassInfo* parent) : info_(name, parent) {}

  // The reader may create instances: new C(owner), owned by owner.
  ClassInfoBuilder& Creatable() {
    info_.Create = [](TComponent* owner) -> TComponent* { return new C(owner); };
    return *this;
  }

  template <class Get, class Set>
  ClassInfoBuilder& Integer(const char* name, Get get, Set set, const char* typeName = "Integer") {
    return Ordinal(name, TTypeKind::tkInteger, typeName, nullptr, get, set);
  }
  template <class Get, class Set>
  ClassInfoBuilder& Boolean(const char* name, Get get, Set set) {
    return Ordinal(name, TTypeKind::tkEnumeration, "Boolean", &BooleanEnum(), get, set);
  }
  template <class Get, class Set>
  ClassInfoBuilder& Enumeration(const char* name, const TEnumInfo& type, Get get, Set set) {
    return Ordinal(name, TTypeKind::tkEnumeration, type.TypeName.c_str(), &type, get, set);
  }
  // A set as a bit mask over the element type's ordinals.
  template <class Get, class Set>
  ClassInfoBuilder& SetOf(const char* name, const TEnumInfo& element, Get get, Set set) {
    return Ordinal(name, TTypeKind::tkSet, element.TypeName.c_str(), &element, get, set);
  }
  template <class Get, class Set>
  ClassInfoBuilder& String(const char* name, Get get, Set set) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkString, "string");
    p.GetStr = [get](TObject& o) { return std::string(Invoke(get, o)); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>) {
      p.SetStr = [set](TObject& o, const std::string& v) { Invoke(set, o, v); };
    }
    return *this;
  }
  template <class Get, class Set>
  ClassInfoBuilder& WideString(const char* name, Get get, Set set) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkWString, "WideString");
    p.GetWStr = [get](TObject& o) { return std::u16string(Invoke(get, o)); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>) {
      p.SetWStr = [set](TObject& o, const std::u16string& v) { Invoke(set, o, v); };
    }
    return *this;
  }
  template <class Get, class Set>
  ClassInfoBuilder& Float(const char* name, TFloatType type, Get get, Set set) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkFloat, "Extended");
    p.FloatType = type;
    p.GetFloat = [get](TObject& o) { return static_cast<double>(Invoke(get, o)); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>) {
      p.SetFloat = [set](TObject& o, double v) { Invoke(set, o, v); };
    }
    return *this;
  }
  // An object property: its value is a sub-object the owner holds (a font,
  // a picture, a line list); nested paths reach its own properties.
  template <class Get>
  ClassInfoBuilder& Object(const char* name, const TClassInfo& type, Get get) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkClass, type.Name.c_str());
    p.ObjectClass = &type;
    p.GetObj = [get](TObject& o) -> TObject* { return Invoke(get, o); };
    return *this;
  }
  // An event held in a std::function member of the event's type.
  template <class Event>
  ClassInfoBuilder& EventField(const char* name, Event C::*field) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkMethod, "event");
    p.GetMethod = [field](TObject& o) {
      TMethod m;
      const Event& e = static_cast<C&>(o).*field;
      if (e)
        m.Code = e;
      return m;
    };
    p.SetMethod = [field](TObject& o, const TMethod& m) {
      static_cast<C&>(o).*field = m.IsNil() ? Event{} : std::any_cast<Event>(m.Code);
    };
    return *this;
  }
  // An event set through a setter of the event's type.
  template <class Event, class Get, class Set>
  ClassInfoBuilder& EventProperty(const char* name, Get get, Set set) {
    TPropInfo& p = info_.AddProperty(name, TTypeKind::tkMethod, "event");
    p.GetMethod = [get](TObject& o) {
      TMethod m;
      const Event& e = Invoke(get, o);
      if (e)
        m.Code = e;
      return m;
    };
    p.SetMethod = [set](TObject& o, const TMethod& m) {
      Invoke(set, o, m.IsNil() ? Event{} : std::any_cast<Event>(m.Code));
    };
    return *this;
  }
  // A published method, bound by name to an instance.
  template <class... Args>
  ClassInfoBuilder& Method(const char* name, void (C::*method)(Args...)) {
    // The name is a literal that outlives the type information.
    const char* methodName = name;
    info_.AddMethod(name).Bind = [method, methodName](TObject& o) {
      C* self = static_cast<C*>(&o);
      TMethod m;
      m.Data = &o;
      m.Name = methodName;
      m.Code = std::function<void(Args...)>(
          [self, method](Args... args) { (self->*method)(std::forward<Args>(args)...); });
      return m;
    };
    return *this;
  }
  // A published component field: the reader stores the component of the
  // same name into it.
  template <class T>
  ClassInfoBuilder& Field(const char* name, T* C::*member) {
    info_.AddField(name, T::StaticClassInfo()).Assign = [member](TObject& owner,
                                                                 TComponent* component) {
      static_cast<C&>(owner).*member = dynamic_cast<T*>(component);
    };
    return *this;
  }

  // The default of the last property added (a writer omits equal values).
  ClassInfoBuilder& Default(int64_t value) {
    info_.Properties.back().HasDefault = true;
    info_.Properties.back().Default = value;
    return *this;
  }
  ClassInfoBuilder& StoredWhen(TAccessor<bool(TObject&)> stored) {
    info_.Properties.back().Stored = std::move(stored);
    return *this;
  }

  TClassInfo Build() { return std::move(info_); }

 private:
  template <class F, class... A>
  static decltype(auto) Invoke(F f, TObject& o, A&&... a) {
    C& self = static_cast<C&>(o);
    if constexpr (std::is_member_function_pointer_v<F>) {
      return (self.*f)(std::forward<A>(a)...);
    } else {
      return f(self, std::forward<A>(a)...);
    }
  }

  template <class Get, class Set>
  ClassInfoBuilder& Ordinal(const char* name, TTypeKind kind, const char* typeName,
                            const TEnumInfo* type, Get get, Set set) {
    TPropInfo& p = info_.AddProperty(name, kind, typeName);
    p.Enum = type;
    p.GetOrd = [get](TObject& o) { return static_cast<int64_t>(Invoke(get, o)); };
    if constexpr (!std::is_same_v<Set, std::nullptr_t>) {
      p.SetOrd = [set](TObject& o, int64_t v) { SetOrdinal(set, o, v); };
    }
    return *this;
  }

  // Converts the stored ordinal to the setter's parameter type.
  template <class Set>
  static void SetOrdinal(Set set, TObject& o, int64_t v) {
    C& self = static_cast<C&>(o);
    if constexpr (std::is_member_function_pointer_v<Set>) {
      using Arg = typename ArgOf<Set>::type;
      (self.*set)(static_cast<Arg>(v));
    } else {
      set(self, v);
    }
  }
  template <class M>
  struct ArgOf;
  template <class R, class K, class A>
  struct ArgOf<R (K::*)(A)> {
    using type = std::decay_t<A>;
  };
  template <class R, class K, class A>
  struct ArgOf<R (K::*)(A) noexcept> {
    using type = std::decay_t<A>;
  };

  TClassInfo info_;
};

}  // namespace qv
