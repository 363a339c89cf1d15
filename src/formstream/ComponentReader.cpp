#include "formstream/ComponentReader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "core/Format.h"
#include "core/ScopeExit.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"

namespace qv {

struct TLoadedList {
  // A null slot is a component destroyed while it was listed.
  std::vector<TComponent*> items;
};

namespace {

// Records and collections nest by recursion; real forms nest a few levels,
// and a bound keeps a hostile stream from exhausting the stack.
constexpr int kMaxNesting = 100;

// A reference "window.component" whose window did not exist when its read
// ended; resolved by the first later read that finds the window.
struct GlobalFixup {
  TComponent* root;  // the root whose read registered it
  TComponent* record;
  TPersistent* instance;
  const TPropInfo* property;
  std::string rootName;
  std::string path;
};

// The loaded lists open (the current one and those set aside), the readers
// at work, and the pending global references. Components being destroyed
// are removed from all of them through the destroy hook; the flag keeps the
// hook off the state once the program has torn it down. Reading happens on
// the thread that runs the windows only: per-thread state would pull the
// runtime's thread library into Setup.exe for nothing.
bool gStateAlive = false;

struct ReadingState {
  ReadingState() { gStateAlive = true; }
  ~ReadingState() { gStateAlive = false; }
  ReadingState(const ReadingState&) = delete;
  ReadingState& operator=(const ReadingState&) = delete;

  TLoadedList* current = nullptr;
  std::vector<TLoadedList*> open;
  std::vector<TComponentReader*> readers;
  std::vector<GlobalFixup> globalFixups;
};

ReadingState& State() {
  static ReadingState state;
  return state;
}

void OnComponentDestroyed(TComponent& component) {
  if (!gStateAlive)
    return;
  ReadingState& state = State();
  for (TLoadedList* list : state.open) {
    std::replace(list->items.begin(), list->items.end(), &component,
                 static_cast<TComponent*>(nullptr));
  }
  for (TComponentReader* reader : state.readers)
    reader->Forget(component);
  std::erase_if(state.globalFixups, [&component](const GlobalFixup& fixup) {
    return fixup.root == &component || fixup.record == &component ||
           fixup.instance == static_cast<TPersistent*>(&component);
  });
}

void InstallDestroyHook() {
  TComponent::ReadingDestroyHook = &OnComponentDestroyed;
}

// A fresh loaded list, current on this thread for the scope's lifetime; the
// list it sets aside becomes current again at the end.
class LoadedListScope {
 public:
  LoadedListScope() : outer_(State().current) {
    InstallDestroyHook();
    State().open.push_back(&list_);
    State().current = &list_;
  }
  ~LoadedListScope() {
    std::erase(State().open, &list_);
    State().current = outer_;
  }
  LoadedListScope(const LoadedListScope&) = delete;
  LoadedListScope& operator=(const LoadedListScope&) = delete;

  // In list order; a notification may destroy, or (through a nested read
  // joining this list) add components, which the index walk allows.
  void Notify() {
    for (size_t i = 0; i < list_.items.size(); ++i) {
      if (TComponent* component = list_.items[i])
        component->Loaded();
    }
  }

 private:
  TLoadedList list_;
  TLoadedList* outer_;
};

bool IsIntegerTag(TValueType tag) {
  return tag == TValueType::vaInt8 || tag == TValueType::vaInt16 || tag == TValueType::vaInt32;
}

bool IsStringTag(TValueType tag) {
  return tag == TValueType::vaString || tag == TValueType::vaLString ||
         tag == TValueType::vaWString || tag == TValueType::vaUTF8String;
}

bool IsIdentTag(TValueType tag) {
  return tag == TValueType::vaIdent || tag == TValueType::vaNull || tag == TValueType::vaFalse ||
         tag == TValueType::vaTrue || tag == TValueType::vaNil;
}

[[noreturn]] void InvalidValue() {
  throw EReadError("Invalid property value");
}

// The stored number in the property's float type; out-of-range values
// saturate rather than overflow the conversion.
double ToFloatType(long double value, TFloatType type) {
  const auto clampTo = [&value](long double limit) -> long double {
    if (std::isnan(value))
      return value;
    return std::clamp(value, -limit, limit);
  };
  switch (type) {
    case TFloatType::ftSingle:
      if (std::fabs(value) > FLT_MAX && !std::isinf(value)) {
        return value > 0 ? HUGE_VAL : -HUGE_VAL;
      }
      return static_cast<double>(static_cast<float>(value));
    case TFloatType::ftComp: {
      if (std::isnan(value))
        return 0;
      const long double whole = std::nearbyint(clampTo(9.2233720368547758e18L));
      return static_cast<double>(whole);
    }
    case TFloatType::ftCurr: {
      if (std::isnan(value))
        return 0;
      const long double units = std::nearbyint(clampTo(9.2233720368547758e18L / 10000) * 10000);
      return static_cast<double>(units / 10000);
    }
    default:
      if (std::fabs(value) > DBL_MAX && !std::isinf(value)) {
        return value > 0 ? HUGE_VAL : -HUGE_VAL;
      }
      return static_cast<double>(value);
  }
}

// Names separated by "."; each is looked up among the components owned by
// the previous one.
TComponent* FindComponentPath(TComponent& from, const std::string& path) {
  TComponent* current = &from;
  size_t start = 0;
  for (;;) {
    const size_t dot = path.find('.', start);
    current =
        current->FindComponent(path.substr(start, dot == std::string::npos ? dot : dot - start));
    if (current == nullptr || dot == std::string::npos)
      return current;
    start = dot + 1;
  }
}

bool HoldsSubComponent(TPersistent& instance, const TPropInfo& property) {
  if (property.Kind != TTypeKind::tkClass || !property.GetObj)
    return false;
  const auto* value = dynamic_cast<const TComponent*>(property.GetObj(instance));
  return value != nullptr && value->IsSubComponent();
}

void StoreReference(TPersistent& instance, const TPropInfo& property, TComponent* target) {
  if (target != nullptr && property.ObjectClass != nullptr &&
      !target->ClassType().InheritsFrom(*property.ObjectClass)) {
    target = nullptr;
  }
  property.SetObj(instance, target);
}

// The class of a published component field of root's class or an ancestor,
// then the global registry.
const TClassInfo* FindClassFor(const TComponent& root, const std::string& name) {
  for (const TClassInfo* c = &root.ClassType(); c != nullptr; c = c->Parent) {
    for (const TPublishedField& field : c->Fields) {
      if (field.FieldClass != nullptr && SameText(field.FieldClass->Name, name)) {
        return field.FieldClass;
      }
    }
  }
  return FindRegisteredClass(name);
}

// Binds the owner's published field of the component's name to it; returns
// the field so that a failed record can unbind it.
const TPublishedField* BindField(TComponent& component) {
  TComponent* owner = component.Owner();
  if (owner == nullptr || component.Name().empty())
    return nullptr;
  const TPublishedField* field = owner->ClassType().FindField(component.Name());
  if (field == nullptr || !field->Assign)
    return nullptr;
  if (field->FieldClass != nullptr && !component.ClassType().InheritsFrom(*field->FieldClass)) {
    return nullptr;
  }
  field->Assign(*owner, &component);
  return field;
}

std::string UniqueRootName(const TGlobalNameSpace& names, const TComponent& root,
                           const std::string& name) {
  if (name.empty() || names.FindGlobalComponent(name, &root) == nullptr)
    return name;
  for (int i = 1;; ++i) {
    std::string candidate = Format("%s_%d", name, i);
    if (names.FindGlobalComponent(candidate, &root) == nullptr)
      return candidate;
  }
}

void ResolveGlobalFixups(const TGlobalNameSpace& names) {
  std::vector<GlobalFixup>& pending = State().globalFixups;
  // Storing may destroy components and so shrink the list: start over
  // after every resolved entry.
  for (size_t i = 0; i < pending.size();) {
    TComponent* other = names.FindGlobalComponent(pending[i].rootName, nullptr);
    TComponent* target = other != nullptr ? FindComponentPath(*other, pending[i].path) : nullptr;
    if (target == nullptr) {
      ++i;
      continue;
    }
    const GlobalFixup fixup = pending[i];
    pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
    StoreReference(*fixup.instance, *fixup.property, target);
    i = 0;
  }
}

}  // namespace

// ------------------------------------------------------------ name spaces

TGlobalNameSpace::~TGlobalNameSpace() = default;

void TComponentListNameSpace::Add(TComponent& component) {
  if (std::find(components_.begin(), components_.end(), &component) == components_.end()) {
    components_.push_back(&component);
  }
}

void TComponentListNameSpace::Remove(TComponent& component) {
  std::erase(components_, &component);
}

TComponent* TComponentListNameSpace::FindGlobalComponent(const std::string& name,
                                                         const TComponent* except) const {
  if (name.empty())
    return nullptr;
  for (TComponent* component : components_) {
    if (component != except && SameText(component->Name(), name))
      return component;
  }
  return nullptr;
}

TReadableCollection::~TReadableCollection() = default;

// -------------------------------------------------------- TComponentReader

TComponentReader::TComponentReader(TStream& stream, const TGlobalNameSpace& names)
    : values_(stream), names_(names) {
  InstallDestroyHook();
  State().readers.push_back(this);
}

TComponentReader::~TComponentReader() {
  std::erase(State().readers, this);
}

void TComponentReader::Forget(const TComponent& component) noexcept {
  for (Fixup& fixup : fixups_) {
    if (fixup.record == &component ||
        fixup.instance == static_cast<const TPersistent*>(&component)) {
      fixup.record = nullptr;
    }
  }
}

void TComponentReader::Expect(bool accepted) {
  if (accepted)
    return;
  values_.SkipValue();
  InvalidValue();
}

void TComponentReader::EnterNesting() {
  if (nesting_ >= kMaxNesting)
    throw EReadError("Invalid stream format");
  ++nesting_;
}

void TComponentReader::AppendLoaded(TComponent& component) {
  if (loaded_ == nullptr)
    return;
  if (std::find(loaded_->items.begin(), loaded_->items.end(), &component) == loaded_->items.end()) {
    loaded_->items.push_back(&component);
  }
}

void TComponentReader::ReadRootComponent(TComponent& root) {
  values_.ReadSignature();
  uint8_t flags = 0;
  int32_t position = 0;
  values_.ReadPrefix(flags, position);
  values_.ReadStr();  // the stored class name: the root already exists
  root.SetState(csLoading);
  root.SetState(csReading);
  const ScopeExit clearReading([&root] { root.ClearState(csReading); });
  root.SetName(UniqueRootName(names_, root, values_.ReadStr()));

  root_ = lookupRoot_ = owner_ = &root;
  std::optional<LoadedListScope> ownList;
  if (State().current == nullptr)
    ownList.emplace();
  loaded_ = State().current;
  AppendLoaded(root);

  try {
    root.BeginReadRecord();
    RecordPhase phase = RecordPhase::kProperties;
    ReadRecordBody(root, phase);
    root.ClearState(csReading);
    root.EndReadRecord();
  } catch (...) {
    std::erase_if(State().globalFixups,
                  [&root](const GlobalFixup& fixup) { return fixup.root == &root; });
    throw;
  }
  if (ownList)
    ownList->Notify();
  ResolveGlobalFixups(names_);
}

void TComponentReader::ReadRecordBody(TComponent& component, RecordPhase& phase) {
  ++bodyDepth_;
  const ScopeExit leave([this] { --bodyDepth_; });
  while (!values_.EndOfList())
    ReadProperty(component, component);
  values_.ReadValue();
  phase = RecordPhase::kChildren;
  {
    TComponent* const savedParent = parent_;
    TComponent* const savedOwner = owner_;
    const ScopeExit restore([&] {
      parent_ = savedParent;
      owner_ = savedOwner;
    });
    parent_ = component.ChildParentForReading();
    TComponent* const childOwner = component.ChildOwnerForReading();
    owner_ = childOwner != nullptr ? childOwner : root_;
    while (!values_.EndOfList())
      ReadChild();
    values_.ReadValue();
  }
  phase = RecordPhase::kDone;
  if (bodyDepth_ == 1)
    ResolveFixups();
}

void TComponentReader::ReadChild() {
  EnterNesting();
  const ScopeExit leave([this] { --nesting_; });
  uint8_t flags = 0;
  int32_t position = 0;
  values_.ReadPrefix(flags, position);
  const std::string className = values_.ReadStr();
  const std::string name = values_.ReadStr();

  TComponent* component = nullptr;
  bool created = false;
  const TPublishedField* field = nullptr;
  TComponent* fieldOwner = nullptr;
  bool reading = false;
  RecordPhase phase = RecordPhase::kProperties;
  const auto discard = [&] {
    if (created) {
      if (field != nullptr)
        field->Assign(*fieldOwner, nullptr);
      delete component;
    } else if (reading) {
      component->ClearState(csReading);
    }
  };
  try {
    if ((flags & kFilerInherited) != 0) {
      component = lookupRoot_->FindComponent(name);
      // A component whose record is open cannot be read again inside it.
      if (component == nullptr || component->HasState(csReading)) {
        throw EReadError(Format("Ancestor for '%s' not found", name));
      }
      component->SetState(csLoading);
    } else {
      const TClassInfo& info = FindComponentClass(className);
      component = info.Create(owner_);
      if (component == nullptr)
        throw EClassNotFound(Format("Class %s not found", className));
      created = true;
      component->SetState(csLoading);
      if ((flags & kFilerInline) != 0)
        component->SetState(csInline);
      component->SetParentComponent(parent_);
      component->SetName(name);
      fieldOwner = component->Owner();
      field = BindField(*component);
    }
    component->SetState(csReading);
    reading = true;
    component->BeginReadRecord();
    ReadRecordBody(*component, phase);
    component->ClearState(csReading);
    component->EndReadRecord();
    if ((flags & kFilerChildPos) != 0 && parent_ != nullptr) {
      parent_->SetChildOrder(component, position);
    }
  } catch (const Exception& error) {
    discard();
    if (!OnError)
      throw;
    bool skipped = true;
    try {
      SkipRestOfRecord(phase);
    } catch (...) {
      skipped = false;
    }
    // A record that cannot be skipped leaves nothing to go on with.
    if (!skipped || !OnError(error))
      throw;
    return;
  } catch (...) {
    discard();
    throw;
  }
  AppendLoaded(*component);
}

void TComponentReader::SkipRestOfRecord(RecordPhase phase) {
  switch (phase) {
    case RecordPhase::kProperties:
      values_.SkipComponent(false);
      break;
    case RecordPhase::kChildren:
      while (!values_.EndOfList())
        values_.SkipComponent(true);
      values_.ReadValue();
      break;
    case RecordPhase::kDone:
      break;
  }
}

const TClassInfo& TComponentReader::FindComponentClass(const std::string& name) const {
  const TClassInfo* info = FindClassFor(*root_, name);
  if (info == nullptr && lookupRoot_ != root_)
    info = FindClassFor(*lookupRoot_, name);
  if (info == nullptr || !info->InheritsFrom(TComponent::StaticClassInfo()) || !info->Create) {
    throw EClassNotFound(Format("Class %s not found", name));
  }
  return *info;
}

void TComponentReader::ReadProperty(TPersistent& instance, TComponent& record) {
  std::string path;
  std::string message;
  try {
    path = values_.ReadStr();
    ReadPropertyPath(instance, record, path);
    return;
  } catch (const Exception& error) {
    message = error.Message();
  } catch (const std::exception& error) {
    message = error.what();
  }
  const std::string& objectName = record.Name().empty() ? record.ClassName() : record.Name();
  EReadError replacement(Format("Error reading %s%s%s: %s", objectName, ".", path, message));
  if (OnError && OnError(replacement))
    return;
  throw replacement;
}

void TComponentReader::ReadPropertyPath(TPersistent& instance, TComponent& record,
                                        const std::string& path) {
  TPersistent* current = &instance;
  size_t start = 0;
  for (size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', start)) {
    const std::string name = path.substr(start, dot - start);
    const TPropInfo* property = current->ClassType().FindProperty(name);
    if (property == nullptr) {
      values_.SkipValue();
      throw EReadError(Format("Property %s does not exist", name));
    }
    TObject* value = property->Kind == TTypeKind::tkClass && property->GetObj
                         ? property->GetObj(*current)
                         : nullptr;
    current = dynamic_cast<TPersistent*>(value);
    if (current == nullptr) {
      values_.SkipValue();
      throw EReadError("Invalid property path");
    }
    start = dot + 1;
  }
  const std::string name = path.substr(start);
  // A published property wins over a defined one of the same name.
  if (const TPropInfo* property = current->ClassType().FindProperty(name)) {
    ReadPropertyValue(*current, record, *property);
    return;
  }
  const std::string savedName = std::exchange(pendingName_, name);
  const bool savedOpen = std::exchange(pendingOpen_, true);
  bool unclaimed = true;
  {
    const ScopeExit restore([&] {
      unclaimed = pendingOpen_;
      pendingName_ = savedName;
      pendingOpen_ = savedOpen;
    });
    current->DefineProperties(*this);
  }
  if (unclaimed) {
    values_.SkipValue();
    throw EReadError(Format("Property %s does not exist", name));
  }
}

void TComponentReader::DefineProperty(const std::string& name,
                                      const std::function<void(TReader&)>& read,
                                      const std::function<void(TWriter&)>& /*write*/,
                                      bool /*hasData*/) {
  if (!pendingOpen_ || !read || !SameText(name, pendingName_))
    return;
  pendingOpen_ = false;
  read(values_);
}

void TComponentReader::DefineBinaryProperty(const std::string& name,
                                            const std::function<void(TStream&)>& read,
                                            const std::function<void(TStream&)>& /*write*/,
                                            bool /*hasData*/) {
  if (!pendingOpen_ || !read || !SameText(name, pendingName_))
    return;
  pendingOpen_ = false;
  Expect(values_.NextValue() == TValueType::vaBinary);
  // The routine copies what it keeps; the reader copies nothing it need not.
  values_.ReadBinary(read);
}

void TComponentReader::ReadPropertyValue(TPersistent& instance, TComponent& record,
                                         const TPropInfo& property) {
  if (!property.IsWritable()) {
    // An object property without a setter whose value the instance owns as
    // a sub-component: the stored value names that component (or is nil),
    // and there is nothing to store.
    if (HoldsSubComponent(instance, property)) {
      const TValueType tag = values_.NextValue();
      Expect(tag == TValueType::vaIdent || tag == TValueType::vaNil);
      values_.SkipValue();
      return;
    }
    values_.SkipValue();
    throw EReadError("Property is read-only");
  }
  const TValueType tag = values_.NextValue();
  switch (property.Kind) {
    case TTypeKind::tkInteger:
      if (tag == TValueType::vaIdent) {
        int64_t value = 0;
        if (!IdentToInt(property.TypeName, values_.ReadIdent(), value))
          InvalidValue();
        property.SetOrd(instance, value);
      } else {
        Expect(IsIntegerTag(tag));
        property.SetOrd(instance, values_.ReadInteger());
      }
      break;
    case TTypeKind::tkChar:
      Expect(IsStringTag(tag));
      property.SetOrd(instance, static_cast<uint8_t>(values_.ReadChar()));
      break;
    case TTypeKind::tkEnumeration: {
      Expect(IsIdentTag(tag));
      const TEnumInfo& type = property.Enum != nullptr ? *property.Enum : BooleanEnum();
      const int ordinal = type.ValueOf(values_.ReadIdent());
      if (ordinal < 0)
        InvalidValue();
      property.SetOrd(instance, ordinal);
      break;
    }
    case TTypeKind::tkFloat:
      Expect(tag == TValueType::vaExtended || tag == TValueType::vaInt64 || IsIntegerTag(tag));
      property.SetFloat(instance, ToFloatType(values_.ReadFloat(), property.FloatType));
      break;
    case TTypeKind::tkString:
      Expect(IsStringTag(tag));
      property.SetStr(instance, values_.ReadString());
      break;
    case TTypeKind::tkWString:
      Expect(IsStringTag(tag));
      property.SetWStr(instance, values_.ReadWideString());
      break;
    case TTypeKind::tkSet:
      Expect(tag == TValueType::vaSet && property.Enum != nullptr);
      property.SetOrd(instance, values_.ReadSet(*property.Enum));
      break;
    case TTypeKind::tkClass:
      ReadObjectValue(instance, record, property);
      break;
    case TTypeKind::tkMethod:
      ReadMethodValue(instance, property);
      break;
    case TTypeKind::tkInt64:
      Expect(tag == TValueType::vaInt64 || IsIntegerTag(tag));
      property.SetOrd(instance, values_.ReadInt64());
      break;
    case TTypeKind::tkVariant:
    case TTypeKind::tkInterface:
      Expect(false);
  }
}

void TComponentReader::ReadObjectValue(TPersistent& instance, TComponent& record,
                                       const TPropInfo& property) {
  switch (values_.NextValue()) {
    case TValueType::vaNil:
      values_.ReadValue();
      property.SetObj(instance, nullptr);
      return;
    case TValueType::vaIdent:
      // Resolved once the whole tree exists (the component may come later).
      fixups_.push_back(Fixup{&record, &instance, &property, values_.ReadIdent()});
      return;
    case TValueType::vaCollection: {
      TObject* value = property.GetObj ? property.GetObj(instance) : nullptr;
      auto* collection = dynamic_cast<TReadableCollection*>(value);
      Expect(collection != nullptr);
      ReadCollection(*collection, record);
      return;
    }
    default:
      Expect(false);
  }
}

void TComponentReader::ReadCollection(TReadableCollection& collection, TComponent& record) {
  EnterNesting();
  const ScopeExit leave([this] { --nesting_; });
  values_.ReadValue();
  collection.ClearItems();
  while (!values_.EndOfList()) {
    // The item's stored order is not used: items come in stream order.
    if (IsIntegerTag(values_.NextValue()))
      values_.ReadInteger();
    values_.ReadListBegin();
    TPersistent* item = collection.AddItem();
    if (item == nullptr)
      InvalidValue();
    while (!values_.EndOfList())
      ReadProperty(*item, record);
    values_.ReadValue();
  }
  values_.ReadValue();
}

void TComponentReader::ReadMethodValue(TPersistent& instance, const TPropInfo& property) {
  const TValueType tag = values_.NextValue();
  if (tag == TValueType::vaNil) {
    values_.ReadValue();
    property.SetMethod(instance, TMethod{});
    return;
  }
  Expect(tag == TValueType::vaIdent);
  const TPublishedMethod* method = root_->ClassType().FindMethod(values_.ReadIdent());
  if (method == nullptr || !method->Bind)
    InvalidValue();
  try {
    property.SetMethod(instance, method->Bind(*root_));
  } catch (const std::exception&) {
    // The event refuses a handler of another type.
    InvalidValue();
  }
}

void TComponentReader::ResolveFixups() {
  // Index walk over the live vector: a store may destroy a component whose
  // later fixups Forget() then marks dead.
  for (size_t i = 0; i < fixups_.size(); ++i) {
    if (fixups_[i].record == nullptr)
      continue;
    const Fixup fixup = fixups_[i];
    if (TComponent* target = FindComponentPath(*root_, fixup.name)) {
      StoreReference(*fixup.instance, *fixup.property, target);
      continue;
    }
    const size_t dot = fixup.name.find('.');
    if (dot == std::string::npos) {
      StoreReference(*fixup.instance, *fixup.property, nullptr);
      continue;
    }
    State().globalFixups.push_back(GlobalFixup{root_, fixup.record, fixup.instance, fixup.property,
                                               fixup.name.substr(0, dot),
                                               fixup.name.substr(dot + 1)});
  }
  fixups_.clear();
}

// ------------------------------------------------------------ entry points

namespace {

template <class F>
void ConstructFromStreams(TComponent& root, F&& read) {
  if (root.HasState(csLoading)) {
    read();
    return;
  }
  LoadedListScope list;
  read();
  list.Notify();
}

}  // namespace

void InitInheritedComponent(TComponent& root, const TFormResourceFinder& find,
                            const TGlobalNameSpace& names) {
  std::vector<const TClassInfo*> levels;
  for (const TClassInfo* c = &root.ClassType(); c != nullptr; c = c->Parent)
    levels.push_back(c);
  ConstructFromStreams(root, [&] {
    bool found = false;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
      std::unique_ptr<TStream> stream = find((*level)->Name);
      if (!stream)
        continue;
      found = true;
      TComponentReader reader(*stream, names);
      reader.ReadRootComponent(root);
    }
    if (!found)
      throw EResNotFound(Format("Resource %s not found", std::string(root.ClassName())));
  });
}

void ReadComponentResource(TComponent& root, TStream& stream, const TGlobalNameSpace& names) {
  ConstructFromStreams(root, [&] {
    TComponentReader reader(stream, names);
    reader.ReadRootComponent(root);
  });
}

}  // namespace qv
