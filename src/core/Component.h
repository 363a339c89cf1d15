#pragma once
// Object model: TObject, TPersistent and TComponent with the ownership
// rules every window relies on. An owner destroys the components it owns,
// last created first; a component removes itself from its owner when it is
// destroyed on its own. Components are the one place where the code holds
// raw owning pointers: the owner's list is the owner.
#include <cstdint>
#include <string>
#include <vector>

#include "core/TypeInfo.h"

namespace qv {

class TFiler;

// Declares a class's type information and takes its name from it.
#define QV_TYPE_INFO                                            \
 public:                                                        \
  static const ::qv::TClassInfo& StaticClassInfo();             \
  const ::qv::TClassInfo& ClassType() const noexcept override { \
    return StaticClassInfo();                                   \
  }                                                             \
  const char* ClassName() const noexcept override {             \
    return StaticClassInfo().Name.c_str();                      \
  }

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();
  virtual const char* ClassName() const noexcept { return "TObject"; }
  // The type information of the object's class (published properties,
  // methods and fields); classes without their own share their parent's.
  virtual const TClassInfo& ClassType() const noexcept;
};

class TPersistent : public TObject {
 public:
  const char* ClassName() const noexcept override { return "TPersistent"; }
  const TClassInfo& ClassType() const noexcept override;
  static const TClassInfo& StaticClassInfo();
  // Properties the object stores itself, beside its published ones.
  virtual void DefineProperties(TFiler& filer);
};

// Component state marks.
enum ComponentStateFlag : uint32_t {
  csLoading = 1u << 0,     // created or being read from a form stream, until Loaded()
  csReading = 1u << 1,     // only while the component's own record is read
  csDestroying = 1u << 2,  // destructor running
  csInline = 1u << 3,
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  const char* ClassName() const noexcept override { return "TComponent"; }

  TComponent* Owner() const noexcept { return owner_; }
  const std::string& Name() const noexcept { return name_; }
  // Validates the name ("''%s'' is not a valid component name") and its
  // uniqueness among the owner's components.
  virtual void SetName(const std::string& name);

  int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
  // Case-insensitive, like every identifier lookup of the framework.
  TComponent* FindComponent(const std::string& name) const;

  uint32_t ComponentState() const noexcept { return state_; }
  bool HasState(ComponentStateFlag flag) const noexcept { return (state_ & flag) != 0; }
  void SetState(ComponentStateFlag flag) noexcept { state_ |= flag; }
  void ClearState(ComponentStateFlag flag) noexcept { state_ &= ~static_cast<uint32_t>(flag); }

  // Loaded notification: given after the whole window has been read.
  virtual void Loaded();

  // A component that another one owns and publishes as a property of its
  // own (read-only there): a form stream names it without assigning it.
  bool IsSubComponent() const noexcept { return subComponent_; }
  void SetSubComponent(bool value) noexcept { subComponent_ = value; }

  int Tag() const noexcept { return tag_; }
  void SetTag(int tag) noexcept { tag_ = tag; }

  const TClassInfo& ClassType() const noexcept override;
  static const TClassInfo& StaticClassInfo();
  // Non-visual components keep their design position ("Left", "Top").
  void DefineProperties(TFiler& filer) override;
  int32_t DesignLeft() const noexcept { return designLeft_; }
  int32_t DesignTop() const noexcept { return designTop_; }

  // Hooks of the form reader. Children read inside this component's record
  // are parented to ChildParentForReading() (visual controls become its
  // children) and owned by ChildOwnerForReading() (nullptr: the root).
  virtual TComponent* ChildParentForReading() { return this; }
  virtual TComponent* ChildOwnerForReading() { return nullptr; }
  // Makes this component a child of parent (controls); others ignore it.
  virtual void SetParentComponent(TComponent* parent);
  // The component's own record starts and ends.
  virtual void BeginReadRecord() {}
  virtual void EndReadRecord() {}
  // A child record carried its position among this parent's children.
  virtual void SetChildOrder(TComponent* /*child*/, int /*order*/) {}
  // While set, every component's destructor reports itself here first, so
  // that the form reader drops what it still holds of it (the open loaded
  // lists, component references waiting to be resolved).
  static inline void (*ReadingDestroyHook)(TComponent& component) = nullptr;

  // Destroys every owned component, last created first.
  void DestroyComponents();

  // Moves this component to another owner (nullptr: unowned).
  void ChangeOwner(TComponent* owner);

  // For a reference to a component this one does not own: when component is
  // destroyed, this one is given Notification(component, Remove). The link
  // runs both ways, so whichever of the two goes first undoes it and neither
  // keeps a pointer to the other.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

 protected:
  // Called on the owner when a component it owns is inserted or removed, so
  // that the owner can drop references it keeps to it; and on every
  // component that asked for a free notification of one being destroyed.
  enum class Operation { Insert, Remove };
  virtual void Notification(TComponent* component, Operation operation);
  // Gives the free notifications now. A subclass whose destructor still runs
  // handler code (destroying its window does) calls it first, so that no one
  // reaches it half destroyed; later calls find nothing left to do.
  void NotifyFreeing();

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  // Both directions of every free-notification link this component is in.
  std::vector<TComponent*> freeNotifies_;
  uint32_t state_ = 0;
  int tag_ = 0;
  bool subComponent_ = false;
  int32_t designLeft_ = 0;
  int32_t designTop_ = 0;
};

// True when text is a valid identifier: a letter or underscore, then letters,
// digits or underscores (ASCII only).
bool IsValidIdent(const std::string& text);

// Case-insensitive comparison over ASCII letters, as identifiers compare.
bool SameText(const std::string& a, const std::string& b);

}  // namespace qv
