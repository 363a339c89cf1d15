#pragma once
// Type information: what the form reader and writer know of a class — its
// published properties (name, kind, getter, setter), published methods
// (event handlers bound by name), published component fields, and how to
// create it; plus the class registry and the identifier-to-integer tables
// of integer types such as colours and character sets.
#include <any>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Accessor.h"

namespace qv {

class TObject;
class TComponent;
class TClassInfo;

enum class TTypeKind {
  tkInteger,
  tkChar,
  tkEnumeration,
  tkFloat,
  tkString,
  tkWString,
  tkSet,
  tkClass,
  tkMethod,
  tkInt64,
  tkVariant,
  tkInterface,
};

enum class TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

// An enumeration type: the names of its values, by ordinal.
struct TEnumInfo {
  std::string TypeName;
  std::vector<std::string> Names;
  // Ordinal of a name (case-insensitive), or -1.
  int ValueOf(const std::string& name) const;
};
const TEnumInfo& BooleanEnum();

// A method bound to an instance: a published method of a window, type-erased.
// Code holds the std::function of the event's own type (TNotifyEvent,
// TCloseEvent ...); an event property accepts only its own type.
struct TMethod {
  TObject* Data = nullptr;
  std::string Name;
  std::any Code;
  bool IsNil() const noexcept { return !Code.has_value(); }
};

struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  // The property's type: "TColor", "TFontCharset", "Integer", "TNotifyEvent"
  // ... Integer types with a registered identifier table are found by it.
  std::string TypeName;
  // Enumerations: the type; sets: the element type.
  const TEnumInfo* Enum = nullptr;
  TFloatType FloatType = TFloatType::ftExtended;
  // Object properties: the class of the value (for nested paths).
  const TClassInfo* ObjectClass = nullptr;

  // Accessors of the property's kind; an empty setter means read-only.
  // Ordinal kinds (integer, char, enumeration, set as a bit mask, int64):
  TAccessor<int64_t(TObject&)> GetOrd;
  TAccessor<void(TObject&, int64_t)> SetOrd;
  TAccessor<double(TObject&)> GetFloat;
  TAccessor<void(TObject&, double)> SetFloat;
  // Strings (ANSI):
  TAccessor<std::string(TObject&)> GetStr;
  TAccessor<void(TObject&, const std::string&)> SetStr;
  // Wide strings, kept as UTF-16 (no character is lost to a code page):
  TAccessor<std::u16string(TObject&)> GetWStr;
  TAccessor<void(TObject&, const std::u16string&)> SetWStr;
  TAccessor<TObject*(TObject&)> GetObj;
  TAccessor<void(TObject&, TObject*)> SetObj;
  TAccessor<TMethod(TObject&)> GetMethod;
  TAccessor<void(TObject&, const TMethod&)> SetMethod;

  // For writers: a value equal to the default is not stored.
  bool HasDefault = false;
  int64_t Default = 0;
  // For writers: whether the value is stored at all (empty: always).
  TAccessor<bool(TObject&)> Stored;

  bool IsWritable() const;
};

struct TPublishedMethod {
  std::string Name;
  // Binds the method to an instance of the class that publishes it.
  TAccessor<TMethod(TObject& instance)> Bind;
};

struct TPublishedField {
  std::string Name;
  const TClassInfo* FieldClass = nullptr;
  // Stores the component into the field of the owning instance; it throws
  // EInvalidCast... never: the reader checks the class first.
  TAccessor<void(TObject& owner, TComponent* component)> Assign;
};

class TClassInfo {
 public:
  TClassInfo(std::string name, const TClassInfo* parent) : Name(std::move(name)), Parent(parent) {}

  std::string Name;
  const TClassInfo* Parent;
  // Creates an instance owned by owner; empty for classes that are not
  // created by the reader.
  TAccessor<TComponent*(TComponent* owner)> Create;
  std::vector<TPropInfo> Properties;  // own published properties, in order
  std::vector<TPublishedMethod> Methods;
  std::vector<TPublishedField> Fields;

  // Appends a published property with no accessors yet (the builders fill
  // them in); out of line, so the class tables do not each carry a copy.
  TPropInfo& AddProperty(const char* name, TTypeKind kind, const char* typeName);
  TPublishedMethod& AddMethod(const char* name);
  TPublishedField& AddField(const char* name, const TClassInfo& fieldClass);

  // Lookups over this class and its ancestors, case-insensitive.
  const TPropInfo* FindProperty(const std::string& name) const;
  const TPublishedMethod* FindMethod(const std::string& name) const;
  const TPublishedField* FindField(const std::string& name) const;
  bool InheritsFrom(const TClassInfo& other) const;
  // Every published property, ancestors' first (the order writers use).
  std::vector<const TPropInfo*> AllProperties() const;
};

// The global class registry (classes registered by name). Not "RegisterClass":
// <windows.h> defines that name as a macro.
void RegisterComponentClass(const TClassInfo& info);
const TClassInfo* FindRegisteredClass(const std::string& name);

// Identifier-to-integer tables for integer types ("TColor" -> "clBlack" ...).
struct TIdentMapEntry {
  int64_t Value;
  std::string Name;
};
void RegisterIntegerConsts(const std::string& typeName, std::vector<TIdentMapEntry> table);
// False when the type has no table or the table no such identifier.
bool IdentToInt(const std::string& typeName, const std::string& ident, int64_t& value);
// The identifier of a value, for writers; false when there is none.
bool IntToIdent(const std::string& typeName, int64_t value, std::string& ident);

}  // namespace qv
