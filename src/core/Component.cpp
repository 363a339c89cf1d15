#include "core/Component.h"

#include <algorithm>

#include "core/Exceptions.h"
#include "core/Filer.h"
#include "core/Format.h"
#include "core/ShellText.h"

namespace qv {

TObject::~TObject() = default;

namespace {
const TClassInfo& ObjectClassInfo() {
  static const TClassInfo info("TObject", nullptr);
  return info;
}
}  // namespace

const TClassInfo& TObject::ClassType() const noexcept {
  return ObjectClassInfo();
}

const TClassInfo& TPersistent::StaticClassInfo() {
  static const TClassInfo info("TPersistent", &ObjectClassInfo());
  return info;
}

const TClassInfo& TPersistent::ClassType() const noexcept {
  return StaticClassInfo();
}

void TPersistent::DefineProperties(TFiler&) {}

const TClassInfo& TComponent::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo c("TComponent", &TPersistent::StaticClassInfo());
    TPropInfo name;
    name.Name = "Name";
    name.Kind = TTypeKind::tkString;
    name.TypeName = "TComponentName";
    name.GetStr = [](TObject& o) { return static_cast<TComponent&>(o).Name(); };
    name.SetStr = [](TObject& o, const std::string& v) { static_cast<TComponent&>(o).SetName(v); };
    c.Properties.push_back(name);
    TPropInfo tag;
    tag.Name = "Tag";
    tag.Kind = TTypeKind::tkInteger;
    tag.TypeName = "Integer";
    tag.HasDefault = true;
    tag.GetOrd = [](TObject& o) { return static_cast<TComponent&>(o).Tag(); };
    tag.SetOrd = [](TObject& o, int64_t v) {
      static_cast<TComponent&>(o).SetTag(static_cast<int>(v));
    };
    c.Properties.push_back(tag);
    return c;
  }();
  return info;
}

const TClassInfo& TComponent::ClassType() const noexcept {
  return StaticClassInfo();
}

void TComponent::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Left", [this](TReader& reader) { designLeft_ = reader.ReadInteger(); },
      [this](TWriter& writer) { writer.WriteInteger(designLeft_); }, designLeft_ != 0);
  filer.DefineProperty(
      "Top", [this](TReader& reader) { designTop_ = reader.ReadInteger(); },
      [this](TWriter& writer) { writer.WriteInteger(designTop_); }, designTop_ != 0);
}

namespace {
bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}
}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i]))
      return false;
  }
  return true;
}

bool IsValidIdent(const std::string& text) {
  if (text.empty() || !IsIdentStart(text[0]))
    return false;
  return std::all_of(text.begin() + 1, text.end(), IsIdentChar);
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr)
    owner->Insert(this);
}

TComponent::~TComponent() {
  if (ReadingDestroyHook != nullptr)
    ReadingDestroyHook(*this);
  state_ |= csDestroying;
  NotifyFreeing();
  DestroyComponents();
  if (owner_ != nullptr)
    owner_->Remove(this);
}

void TComponent::SetName(const std::string& name) {
  if (name == name_)
    return;
  if (!name.empty() && !IsValidIdent(name)) {
    throw EComponentError(Format("''%s'' is not a valid component name", name));
  }
  if (!name.empty() && owner_ != nullptr) {
    TComponent* other = owner_->FindComponent(name);
    if (other != nullptr && other != this) {
      throw EComponentError(Format("A component named %s already exists", name));
    }
  }
  name_ = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty())
    return nullptr;
  for (TComponent* component : components_) {
    if (SameText(component->name_, name))
      return component;
  }
  return nullptr;
}

void TComponent::Loaded() {
  ClearState(csLoading);
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    Remove(last);
    delete last;
  }
}

void TComponent::ChangeOwner(TComponent* owner) {
  if (owner == owner_)
    return;
  if (owner_ != nullptr)
    owner_->Remove(this);
  if (owner != nullptr)
    owner->Insert(this);
}

void TComponent::Notification(TComponent*, Operation) {}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this)
    return;
  const auto link = [](std::vector<TComponent*>& list, TComponent* other) {
    if (std::find(list.begin(), list.end(), other) == list.end())
      list.push_back(other);
  };
  link(freeNotifies_, component);
  link(component->freeNotifies_, this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr)
    return;
  const auto unlink = [](std::vector<TComponent*>& list, TComponent* other) {
    list.erase(std::remove(list.begin(), list.end(), other), list.end());
  };
  unlink(freeNotifies_, component);
  unlink(component->freeNotifies_, this);
}

void TComponent::NotifyFreeing() {
  // Each partner is unlinked before it is told, so a notification handler
  // that destroys or relinks components never meets a stale entry.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    RemoveFreeNotification(other);
    other->Notification(this, Operation::Remove);
  }
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, Operation::Insert);
}

void TComponent::Remove(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end())
    return;
  components_.erase(it);
  component->owner_ = nullptr;
  if ((state_ & csDestroying) == 0)
    Notification(component, Operation::Remove);
}

}  // namespace qv
