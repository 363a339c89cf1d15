#pragma once
// Building a component tree from a form stream: the root's own properties,
// child components created through type information and named, published
// properties set by kind, events bound to the root's published methods,
// defined and binary defined properties handed to the objects that define
// them, component references resolved, loaded notifications given.
//
// Entry points:
// - InitInheritedComponent: what a window's construction does. Unless the
//   window is itself being loaded by an outer read (csLoading), it opens a
//   fresh loaded list for this thread (setting aside any open one), reads
//   the form stream of every class level that has one (ancestors first),
//   gives every listed component its Loaded() in list order, and restores
//   the outer list. No stream for any level: EResNotFound "Resource %s not
//   found". A failed read gives no loaded notifications.
// - ReadComponentResource: the same for a window whose one stream the
//   caller has already found.
// - TComponentReader::ReadRootComponent: one read of one stream into an
//   existing root; it joins the loaded list open on this thread, or opens
//   and notifies its own when none is.
//
// Component marks: csLoading from creation (or from the start of the root's
// read) until Loaded(); csReading only while the component's own record is
// read. BeginReadRecord()/EndReadRecord() bracket each record; the end is
// told only after a record was read completely.
//
// Failures are EReadError with the stream's fixed texts (FormReader.h) and
// "Property %s does not exist", "Invalid property path", "Property is
// read-only", "Ancestor for '%s' not found"; EClassNotFound "Class %s not
// found"; EComponentError for an invalid name. Any failure inside a property
// entry is replaced by EReadError "Error reading %s%s%s: %s" (the record's
// component name, or its class name when it has none; "."; the path as
// stored; the original message).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "core/Filer.h"
#include "formstream/FormReader.h"

namespace qv {

class TStream;
struct TLoadedList;

// The application's global components (its windows). A window's stored
// name is made unique among them ("%s_%d"), and references of the form
// "window.component" are resolved through them.
class TGlobalNameSpace {
 public:
  virtual ~TGlobalNameSpace();
  // The global component called name (case-insensitive), other than
  // except; null when there is none.
  virtual TComponent* FindGlobalComponent(const std::string& name,
                                          const TComponent* except) const = 0;
};

// A name space over components the caller lists (tools, native tests).
class TComponentListNameSpace : public TGlobalNameSpace {
 public:
  void Add(TComponent& component);
  void Remove(TComponent& component);
  TComponent* FindGlobalComponent(const std::string& name, const TComponent* except) const override;

 private:
  std::vector<TComponent*> components_;
};

// An object property whose value implements this reads a Collection value
// (tag 14) into it: the items are cleared, then one is added per stored
// item and its property entries are read into it.
class TReadableCollection {
 public:
  virtual ~TReadableCollection();
  virtual void ClearItems() = 0;
  // A new item, owned by the collection.
  virtual TPersistent* AddItem() = 0;
};

// Offered every failure of a property entry or a child record. Returning
// true lets the read go on after the failed entry or record (a failed
// record's component is freed); false, or no handler, propagates it.
using TReaderErrorHandler = std::function<bool(const Exception& error)>;

class TComponentReader : public TFiler {
 public:
  TComponentReader(TStream& stream, const TGlobalNameSpace& names);
  ~TComponentReader() override;
  TComponentReader(const TComponentReader&) = delete;
  TComponentReader& operator=(const TComponentReader&) = delete;

  // Reads the stream's signature and root record into root: the stored
  // class name is not compared with root's class; the stored name, made
  // unique among the global components other than root, becomes root's
  // name. Root, lookup root and owner of the read are root.
  void ReadRootComponent(TComponent& root);

  TReaderErrorHandler OnError;

  TFormReader& Values() noexcept { return values_; }
  TComponent* Root() const noexcept { return root_; }

  // The define-properties step: a routine whose name matches the entry
  // being read (case-insensitive) reads its value; the others are ignored.
  void DefineProperty(const std::string& name, const std::function<void(TReader&)>& read,
                      const std::function<void(TWriter&)>& write, bool hasData) override;
  void DefineBinaryProperty(const std::string& name, const std::function<void(TStream&)>& read,
                            const std::function<void(TStream&)>& write, bool hasData) override;

  // Drops what the reader holds of a component being destroyed.
  void Forget(const TComponent& component) noexcept;

 private:
  enum class RecordPhase { kProperties, kChildren, kDone };
  struct Fixup {
    TComponent* record;  // null once the record's component is gone
    TPersistent* instance;
    const TPropInfo* property;
    std::string name;
  };

  void ReadRecordBody(TComponent& component, RecordPhase& phase);
  void ReadChild();
  void SkipRestOfRecord(RecordPhase phase);
  const TClassInfo& FindComponentClass(const std::string& name) const;
  void ReadProperty(TPersistent& instance, TComponent& record);
  void ReadPropertyPath(TPersistent& instance, TComponent& record, const std::string& path);
  void ReadPropertyValue(TPersistent& instance, TComponent& record, const TPropInfo& property);
  void ReadObjectValue(TPersistent& instance, TComponent& record, const TPropInfo& property);
  void ReadMethodValue(TPersistent& instance, const TPropInfo& property);
  void ReadCollection(TReadableCollection& collection, TComponent& record);
  // Skips the next value when accepted is false and fails with "Invalid
  // property value".
  void Expect(bool accepted);
  void EnterNesting();
  void ResolveFixups();
  void AppendLoaded(TComponent& component);

  TFormReader values_;
  const TGlobalNameSpace& names_;
  TComponent* root_ = nullptr;
  TComponent* lookupRoot_ = nullptr;
  TComponent* owner_ = nullptr;
  TComponent* parent_ = nullptr;
  // The entry name offered to the define-properties step, while unclaimed.
  std::string pendingName_;
  bool pendingOpen_ = false;
  std::vector<Fixup> fixups_;
  TLoadedList* loaded_ = nullptr;
  int bodyDepth_ = 0;
  int nesting_ = 0;
};

// A window's construction, as described above. The finder returns the form
// stream stored for a class name, or null when there is none.
using TFormResourceFinder = std::function<std::unique_ptr<TStream>(const std::string& className)>;
void InitInheritedComponent(TComponent& root, const TFormResourceFinder& find,
                            const TGlobalNameSpace& names);
void ReadComponentResource(TComponent& root, TStream& stream, const TGlobalNameSpace& names);

}  // namespace qv
