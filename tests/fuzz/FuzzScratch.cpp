#include "FuzzScratch.h"

#include <algorithm>

#include "core/Filer.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"
#include "core/TypeInfoBuilder.h"

namespace qv::fuzz {

namespace {

using test::BagOrd;
using test::BagStr;
using test::FloatProp;
using test::OrdProp;
using test::StrProp;
using test::WideStrProp;

TPropInfo Object(const std::string& name, const TClassInfo& type,
                 std::function<TObject*(TFuzzControl&)> get) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkClass;
  p.ObjectClass = &type;
  p.GetObj = [get](TObject& o) { return get(static_cast<TFuzzControl&>(o)); };
  p.SetObj = [](TObject&, TObject*) {};
  return p;
}

}  // namespace

const TClassInfo& TFuzzFont::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFuzzFont>("TFuzzFont", &TPersistent::StaticClassInfo())
          .Integer("Height", BagOrd{"Height"}, BagOrd{"Height"})
          .String("Name", BagStr{"Name"}, BagStr{"Name"})
          .SetOf("Style", test::FontStyleEnum(), BagOrd{"Style"}, BagOrd{"Style"})
          .Integer("Color", BagOrd{"Color"}, BagOrd{"Color"}, "TColor")
          .Build();
  return info;
}

const TClassInfo& TFuzzStrings::StaticClassInfo() {
  static const TClassInfo info("TFuzzStrings", &TPersistent::StaticClassInfo());
  return info;
}

void TFuzzStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings", [this](TReader& reader) { lines = ReadStringList(reader); }, nullptr, true);
}

const TClassInfo& TFuzzItem::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFuzzItem>("TFuzzItem", &TPersistent::StaticClassInfo())
          .String("Caption", BagStr{"Caption"}, BagStr{"Caption"})
          .Integer("Width", BagOrd{"Width"}, BagOrd{"Width"})
          .Build();
  return info;
}

const TClassInfo& TFuzzItems::StaticClassInfo() {
  static const TClassInfo info("TFuzzItems", &TPersistent::StaticClassInfo());
  return info;
}

TPersistent* TFuzzItems::AddItem() {
  items.push_back(std::make_unique<TFuzzItem>());
  return items.back().get();
}

const TClassInfo& TFuzzControl::StaticClassInfo() {
  static TClassInfo c(kControlClass, &TComponent::StaticClassInfo());
  static const bool filled = [] {
    c.Create = [](TComponent* owner) -> TComponent* { return new TFuzzControl(owner); };
    c.Properties = {
        OrdProp("Left"),
        OrdProp("Color", TTypeKind::tkInteger, nullptr, "TColor"),
        OrdProp("Align", TTypeKind::tkEnumeration, &test::AlignEnum()),
        OrdProp("Visible", TTypeKind::tkEnumeration, &BooleanEnum()),
        OrdProp("Letter", TTypeKind::tkChar),
        OrdProp("Big", TTypeKind::tkInt64),
        StrProp("Caption"),
        WideStrProp("Hint"),
        FloatProp("Rate", TFloatType::ftSingle),
        FloatProp("Ratio", TFloatType::ftDouble),
        FloatProp("Price", TFloatType::ftCurr),
        FloatProp("Whole", TFloatType::ftComp),
        Object("Font", TFuzzFont::StaticClassInfo(), [](TFuzzControl& s) { return &s.font; }),
        Object("Lines", TFuzzStrings::StaticClassInfo(), [](TFuzzControl& s) { return &s.lines; }),
        Object("Items", TFuzzItems::StaticClassInfo(), [](TFuzzControl& s) { return &s.items; }),
    };
    TPropInfo count = OrdProp("Count");
    count.SetOrd = nullptr;
    c.Properties.push_back(count);
    TPropInfo peer;
    peer.Name = "Peer";
    peer.Kind = TTypeKind::tkClass;
    peer.ObjectClass = &c;
    peer.GetObj = [](TObject& o) { return static_cast<TFuzzControl&>(o).peer; };
    peer.SetObj = [](TObject& o, TObject* v) {
      static_cast<TFuzzControl&>(o).peer = static_cast<TComponent*>(v);
    };
    c.Properties.push_back(peer);
    TPropInfo click;
    click.Name = "OnClick";
    click.Kind = TTypeKind::tkMethod;
    click.SetMethod = [](TObject& o, const TMethod& m) {
      static_cast<TFuzzControl&>(o).onClick =
          m.IsNil() ? TNotifyEvent{} : std::any_cast<TNotifyEvent>(m.Code);
    };
    c.Properties.push_back(click);
    TPropInfo mystery;
    mystery.Name = "Mystery";
    mystery.Kind = TTypeKind::tkVariant;
    mystery.SetOrd = [](TObject&, int64_t) {};
    c.Properties.push_back(mystery);
    return true;
  }();
  (void)filled;
  return c;
}

TFuzzControl::~TFuzzControl() {
  // As windowed controls do: the controls parented here go first.
  while (!children_.empty())
    delete children_.back();
  if (parent_ != nullptr)
    std::erase(parent_->children_, this);
}

void TFuzzControl::SetParentComponent(TComponent* parent) {
  auto* control = dynamic_cast<TFuzzControl*>(parent);
  if (control == parent_ || control == this)
    return;
  if (parent_ != nullptr)
    std::erase(parent_->children_, this);
  parent_ = control;
  if (parent_ != nullptr)
    parent_->children_.push_back(this);
}

void TFuzzControl::DefineProperties(TFiler& filer) {
  TComponent::DefineProperties(filer);
  filer.DefineProperty(
      "Extra", [this](TReader& reader) { extra = reader.ReadString(); }, nullptr, true);
  filer.DefineBinaryProperty(
      "TheData",
      [this](TStream& stream) {
        data.resize(static_cast<size_t>(stream.Size()));
        stream.ReadBuffer(data.data(), stream.Size());
      },
      nullptr, true);
}

const TClassInfo& TFuzzBook::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFuzzBook>(kBookClass, &TFuzzControl::StaticClassInfo()).Creatable().Build();
  return info;
}

const TClassInfo& TFuzzWindow::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFuzzWindow>(kWindowClass, &TFuzzControl::StaticClassInfo())
          .Field("btnNext", &TFuzzWindow::btnNext)
          .Field("qvdaemon", &TFuzzWindow::qvdaemon)
          .Field("Notebook", &TFuzzWindow::Notebook)
          .Method("btnNextClick", &TFuzzWindow::btnNextClick)
          .Method("FormClose", &TFuzzWindow::FormClose)
          .Build();
  return info;
}

void RegisterFuzzClasses() {
  RegisterComponentClass(TFuzzControl::StaticClassInfo());
  RegisterComponentClass(TFuzzFont::StaticClassInfo());  // found, but not a component
  RegisterIntegerConsts("TColor", {{0xFF00000F, "clBtnFace"}, {0x800000, "clNavy"}});
}

}  // namespace qv::fuzz
