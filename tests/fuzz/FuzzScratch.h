#pragma once
// Scratch classes the fuzzed streams are read into: a window with published
// properties of every kind, sub-objects (font, line list, collection), an
// event, a reference, a read-only property, plain and binary defined
// properties, and a page container that owns its children and, like a
// windowed control, destroys the controls parented to it.
#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Component.h"
#include "formstream/ComponentReader.h"
#include "PropertyBag.h"

namespace qv::fuzz {

// The class names a seed may use, besides the window's.
inline constexpr const char* kControlClass = "TFuzzControl";
inline constexpr const char* kBookClass = "TFuzzBook";
inline constexpr const char* kWindowClass = "TFuzzWindow";

using TNotifyEvent = std::function<void(TObject* sender)>;

using Values = test::Bag;

class TFuzzFont : public TPersistent, public Values {
  QV_TYPE_INFO
};

class TFuzzStrings : public TPersistent {
  QV_TYPE_INFO
 public:
  std::vector<std::string> lines;
  void DefineProperties(TFiler& filer) override;
};

class TFuzzItem : public TPersistent, public Values {
  QV_TYPE_INFO
};

class TFuzzItems : public TPersistent, public TReadableCollection {
  QV_TYPE_INFO
 public:
  std::vector<std::unique_ptr<TFuzzItem>> items;
  void ClearItems() override { items.clear(); }
  TPersistent* AddItem() override;
};

class TFuzzControl : public TComponent, public Values {
  QV_TYPE_INFO
 public:
  explicit TFuzzControl(TComponent* owner) : TComponent(owner) {}
  ~TFuzzControl() override;

  void SetParentComponent(TComponent* parent) override;
  void DefineProperties(TFiler& filer) override;

  TFuzzFont font;
  TFuzzStrings lines;
  TFuzzItems items;
  TNotifyEvent onClick;
  TComponent* peer = nullptr;
  std::vector<uint8_t> data;
  std::string extra;

 private:
  TFuzzControl* parent_ = nullptr;
  std::vector<TFuzzControl*> children_;
};

class TFuzzBook : public TFuzzControl {
  QV_TYPE_INFO
 public:
  using TFuzzControl::TFuzzControl;
  TComponent* ChildOwnerForReading() override { return this; }
  // Like a page container, it drops its pages when its record starts.
  void BeginReadRecord() override { DestroyComponents(); }
};

class TFuzzWindow : public TFuzzControl {
  QV_TYPE_INFO
 public:
  using TFuzzControl::TFuzzControl;
  TFuzzControl* btnNext = nullptr;
  TFuzzControl* qvdaemon = nullptr;
  TFuzzBook* Notebook = nullptr;
  int clicks = 0;
  void btnNextClick(TObject*) { ++clicks; }
  // Of another event type than OnClick's: a seed may try to assign it.
  void FormClose(TObject*, int&) {}
};

// Registers the classes and identifier tables; idempotent.
void RegisterFuzzClasses();

}  // namespace qv::fuzz
