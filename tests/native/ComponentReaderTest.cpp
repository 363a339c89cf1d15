// The component reader over streams written with the form writer: records,
// class finding, names, properties by kind, paths, defined and binary
// properties, events, references, collections, loaded notifications and
// marks, error texts, the error callback and window construction.
#include "formstream/ComponentReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"
#include "core/TypeInfoBuilder.h"
#include "PropertyBag.h"
#include "formstream/FormWriter.h"

namespace qv {
namespace {

using TNotifyEvent = std::function<void(TObject* sender)>;

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

using test::AlignEnum;
using test::Bag;
using test::BagOrd;
using test::BagStr;
using test::FloatProp;
using test::FontStyleEnum;
using test::OrdProp;
using test::StrProp;
using test::WideStrProp;

// ------------------------------------------------------- scratch classes

// A line list whose lines arrive through the defined property "Strings".
class TScratchStrings : public TPersistent {
  QV_TYPE_INFO
 public:
  std::vector<std::string> lines;
  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "Strings", [this](TReader& reader) { lines = ReadStringList(reader); }, nullptr,
        !lines.empty());
  }
};
const TClassInfo& TScratchStrings::StaticClassInfo() {
  static const TClassInfo info("TScratchStrings", &TPersistent::StaticClassInfo());
  return info;
}

class TScratchFont : public TPersistent, public Bag {
  QV_TYPE_INFO
};
const TClassInfo& TScratchFont::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchFont>("TScratchFont", &TPersistent::StaticClassInfo())
          .Integer("Height", BagOrd{"Height"}, BagOrd{"Height"})
          .String("Name", BagStr{"Name"}, BagStr{"Name"})
          .SetOf("Style", FontStyleEnum(), BagOrd{"Style"}, BagOrd{"Style"})
          .Integer("Charset", BagOrd{"Charset"}, BagOrd{"Charset"}, "TFontCharset")
          .Integer("Color", BagOrd{"Color"}, BagOrd{"Color"}, "TColor")
          .Build();
  return info;
}

class TScratchItem : public TPersistent, public Bag {
  QV_TYPE_INFO
};
const TClassInfo& TScratchItem::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchItem>("TScratchItem", &TPersistent::StaticClassInfo())
          .String("Caption", BagStr{"Caption"}, BagStr{"Caption"})
          .Integer("Width", BagOrd{"Width"}, BagOrd{"Width"})
          .Build();
  return info;
}

class TScratchItems : public TPersistent, public TReadableCollection {
  QV_TYPE_INFO
 public:
  std::vector<std::unique_ptr<TScratchItem>> items;
  void ClearItems() override { items.clear(); }
  TPersistent* AddItem() override {
    items.push_back(std::make_unique<TScratchItem>());
    return items.back().get();
  }
};
const TClassInfo& TScratchItems::StaticClassInfo() {
  static const TClassInfo info("TScratchItems", &TPersistent::StaticClassInfo());
  return info;
}

// A control: published values of every kind, sub-objects, an event, a
// reference, and hooks that log what the reader tells it.
class TScratchControl : public TComponent, public Bag {
  QV_TYPE_INFO
 public:
  explicit TScratchControl(TComponent* owner) : TComponent(owner) { inner.SetSubComponent(true); }
  TScratchFont font;
  TScratchStrings lines;
  TScratchItems items;
  TNotifyEvent onClick;
  std::string onClickName;
  TComponent* peer = nullptr;
  TComponent* parent = nullptr;
  // Published without a setter: "Inner" as a sub-component, "Plain" as an
  // ordinary component (unowned, so the owned counts stay the stream's).
  TComponent inner{nullptr};
  TComponent plain{nullptr};

  void SetParentComponent(TComponent* p) override { parent = p; }
  void BeginReadRecord() override { Log().push_back("begin " + Name()); }
  void EndReadRecord() override { Log().push_back("end " + Name()); }
  void SetChildOrder(TComponent* child, int order) override {
    Log().push_back("order " + child->Name() + " " + std::to_string(order));
  }
  void Loaded() override {
    Log().push_back("loaded " + Name());
    TComponent::Loaded();
  }
};

TPropInfo ObjProp(const std::string& name, const TClassInfo& type,
                  std::function<TObject*(TScratchControl&)> get, bool writable = true) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TTypeKind::tkClass;
  p.ObjectClass = &type;
  p.GetObj = [get](TObject& o) { return get(static_cast<TScratchControl&>(o)); };
  if (writable)
    p.SetObj = [](TObject&, TObject*) {};
  return p;
}

const TClassInfo& TScratchControl::StaticClassInfo() {
  // Filled after construction: "Peer" refers to this very class.
  static TClassInfo c("TScratchControl", &TComponent::StaticClassInfo());
  static const bool filled = [] {
    c.Create = [](TComponent* owner) -> TComponent* { return new TScratchControl(owner); };
    c.Properties = {
        OrdProp("Left"),
        OrdProp("Top"),
        StrProp("Caption"),
        WideStrProp("Hint"),
        OrdProp("Color", TTypeKind::tkInteger, nullptr, "TColor"),
        OrdProp("Align", TTypeKind::tkEnumeration, &AlignEnum()),
        OrdProp("Visible", TTypeKind::tkEnumeration, &BooleanEnum()),
        OrdProp("Letter", TTypeKind::tkChar),
        OrdProp("Big", TTypeKind::tkInt64),
        FloatProp("Rate", TFloatType::ftSingle),
        FloatProp("Ratio", TFloatType::ftDouble),
        FloatProp("Price", TFloatType::ftCurr),
        ObjProp("Font", TScratchFont::StaticClassInfo(),
                [](TScratchControl& s) { return &s.font; }),
        ObjProp("Lines", TScratchStrings::StaticClassInfo(),
                [](TScratchControl& s) { return &s.lines; }),
        ObjProp("Items", TScratchItems::StaticClassInfo(),
                [](TScratchControl& s) { return &s.items; }),
        ObjProp(
            "Frozen", TScratchItems::StaticClassInfo(), [](TScratchControl& s) { return &s.items; },
            false),
        ObjProp(
            "Inner", TComponent::StaticClassInfo(), [](TScratchControl& s) { return &s.inner; },
            false),
        ObjProp(
            "Plain", TComponent::StaticClassInfo(), [](TScratchControl& s) { return &s.plain; },
            false),
    };
    TPropInfo count = OrdProp("Count");
    count.SetOrd = nullptr;  // read-only
    c.Properties.push_back(count);
    TPropInfo peer;
    peer.Name = "Peer";
    peer.Kind = TTypeKind::tkClass;
    peer.ObjectClass = &c;
    peer.GetObj = [](TObject& o) { return static_cast<TScratchControl&>(o).peer; };
    peer.SetObj = [](TObject& o, TObject* v) {
      static_cast<TScratchControl&>(o).peer = static_cast<TComponent*>(v);
    };
    c.Properties.push_back(peer);
    TPropInfo click;
    click.Name = "OnClick";
    click.Kind = TTypeKind::tkMethod;
    click.TypeName = "TNotifyEvent";
    click.SetMethod = [](TObject& o, const TMethod& m) {
      auto& self = static_cast<TScratchControl&>(o);
      self.onClick = m.IsNil() ? TNotifyEvent{} : std::any_cast<TNotifyEvent>(m.Code);
      self.onClickName = m.Name;
    };
    c.Properties.push_back(click);
    TPropInfo variant;
    variant.Name = "Mystery";
    variant.Kind = TTypeKind::tkVariant;
    variant.SetOrd = [](TObject&, int64_t) {};
    c.Properties.push_back(variant);
    return true;
  }();
  (void)filled;
  return c;
}

// A page container: it owns the children read inside its record.
class TScratchBook : public TScratchControl {
  QV_TYPE_INFO
 public:
  using TScratchControl::TScratchControl;
  TComponent* ChildOwnerForReading() override { return this; }
};
const TClassInfo& TScratchBook::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchBook>("TScratchBook", &TScratchControl::StaticClassInfo())
          .Creatable()
          .Build();
  return info;
}

// A payload holder: the binary defined property "TheData" beside the
// inherited design position "Left"/"Top".
class TScratchData : public TComponent {
  QV_TYPE_INFO
 public:
  explicit TScratchData(TComponent* owner) : TComponent(owner) {}
  std::vector<uint8_t> block;
  int64_t positionAtRead = -1;
  void DefineProperties(TFiler& filer) override {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "TheData",
        [this](TStream& stream) {
          positionAtRead = stream.Position();
          block.resize(static_cast<size_t>(stream.Size()));
          stream.ReadBuffer(block.data(), stream.Size());
        },
        nullptr, true);
  }
};
const TClassInfo& TScratchData::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchData>("TScratchData", &TComponent::StaticClassInfo())
          .Creatable()
          .Build();
  return info;
}

// The root: fields bound by name, handler methods bound by name.
class TScratchWindow : public TScratchControl {
  QV_TYPE_INFO
 public:
  using TScratchControl::TScratchControl;
  TScratchControl* btnNext = nullptr;
  TScratchData* qvdaemon = nullptr;
  TScratchBook* Notebook = nullptr;
  int clicks = 0;
  TObject* lastSender = nullptr;
  void btnNextClick(TObject* sender) {
    ++clicks;
    lastSender = sender;
  }
  // A handler of a close event: of another type than OnClick's.
  void FormClose(TObject*, int&) {}
};

const TClassInfo& TScratchWindow::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchWindow>("TScratchWindow", &TScratchControl::StaticClassInfo())
          .Creatable()
          .Field("btnNext", &TScratchWindow::btnNext)
          .Field("qvdaemon", &TScratchWindow::qvdaemon)
          .Field("Notebook", &TScratchWindow::Notebook)
          .Method("btnNextClick", &TScratchWindow::btnNextClick)
          .Method("FormClose", &TScratchWindow::FormClose)
          .Build();
  return info;
}

// A window class deriving from another that has a stream of its own.
class TScratchDerived : public TScratchWindow {
  QV_TYPE_INFO
 public:
  using TScratchWindow::TScratchWindow;
};
const TClassInfo& TScratchDerived::StaticClassInfo() {
  static const TClassInfo info("TScratchDerived", &TScratchWindow::StaticClassInfo());
  return info;
}

// ----------------------------------------------------------------- fixture

std::vector<uint8_t> Stream(const std::function<void(TFormWriter&)>& write) {
  TMemoryStream stream;
  TFormWriter writer(stream);
  writer.WriteSignature();
  write(writer);
  return stream.Bytes();
}

// A root record "TScratchWindow frm" with the given properties and children.
std::vector<uint8_t> Window(const std::function<void(TFormWriter&)>& properties,
                            const std::function<void(TFormWriter&)>& children = nullptr,
                            const std::string& name = "frm") {
  return Stream([&](TFormWriter& w) {
    w.WriteObjectHeader("TScratchWindow", name);
    properties(w);
    w.WriteListEnd();
    if (children)
      children(w);
    w.WriteListEnd();
  });
}

// A child record with only properties.
void Child(TFormWriter& w, const std::string& className, const std::string& name,
           const std::function<void(TFormWriter&)>& properties = nullptr) {
  w.WriteObjectHeader(className, name);
  if (properties)
    properties(w);
  w.WriteListEnd();
  w.WriteListEnd();
}

class ComponentReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    RegisterComponentClass(TScratchControl::StaticClassInfo());
    RegisterComponentClass(TScratchBook::StaticClassInfo());
    RegisterComponentClass(TScratchFont::StaticClassInfo());
    RegisterIntegerConsts(
        "TColor", {{0xFF00000F, "clBtnFace"}, {0xFF000008, "clWindowText"}, {0x800000, "clNavy"}});
    RegisterIntegerConsts("TFontCharset", {{1, "DEFAULT_CHARSET"}, {204, "RUSSIAN_CHARSET"}});
  }

  void Read(TComponent& root, const std::vector<uint8_t>& bytes) {
    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    ReadComponentResource(root, stream, names_);
  }

  // Reads and returns the message of the exception of type E it raises.
  template <class E = EReadError>
  std::string ReadError(TComponent& root, const std::vector<uint8_t>& bytes) {
    try {
      Read(root, bytes);
    } catch (const E& e) {
      return e.Message();
    }
    return "(no error)";
  }

  // Reads one property entry of btnNext and returns the error's message.
  std::string ButtonPropertyError(const std::function<void(TFormWriter&)>& property) {
    TScratchWindow window(nullptr);
    return ReadError(
        window, Window([](TFormWriter&) {},
                       [&](TFormWriter& w) { Child(w, "TScratchControl", "btnNext", property); }));
  }

  TComponentListNameSpace names_;
};

// -------------------------------------------------------- records, classes

TEST_F(ComponentReaderTest, RootPropertiesAndNameAreSetWhateverTheStoredClass) {
  TScratchWindow window(nullptr);
  Read(window, Stream([](TFormWriter& w) {
         w.WriteObjectHeader("TSomethingElse", "frmDialog");
         w.WritePropName("Caption");
         w.WriteString("Installing Quolvex Antivirus 5.0");
         w.WritePropName("Left");
         w.WriteInteger(431);
         w.WriteListEnd();
         w.WriteListEnd();
       }));
  EXPECT_EQ(window.Name(), "frmDialog");
  EXPECT_EQ(window.strs["Caption"], "Installing Quolvex Antivirus 5.0");
  EXPECT_EQ(window.ords["Left"], 431);
  EXPECT_EQ(window.ComponentCount(), 0);
}

TEST_F(ComponentReaderTest, WrongSignatureCreatesNothing) {
  TScratchWindow window(nullptr);
  std::vector<uint8_t> bytes =
      Window([](TFormWriter&) {}, [](TFormWriter& w) { Child(w, "TScratchControl", "btnNext"); });
  bytes[3] = '1';
  EXPECT_EQ(ReadError(window, bytes), "Invalid stream format");
  EXPECT_EQ(window.ComponentCount(), 0);
  EXPECT_EQ(window.Name(), "");
}

TEST_F(ComponentReaderTest, ChildrenAreCreatedOwnedParentedNamedAndBound) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        Child(w, "TScratchControl", "btnNext");
                        // Not registered: found through the window's field of that class.
                        Child(w, "TScratchData", "qvdaemon");
                        Child(w, "TScratchControl", "");
                      }));
  ASSERT_EQ(window.ComponentCount(), 3);
  ASSERT_NE(window.btnNext, nullptr);
  EXPECT_EQ(window.btnNext, window.Components(0));
  EXPECT_EQ(window.btnNext->Name(), "btnNext");
  EXPECT_EQ(window.btnNext->Owner(), &window);
  EXPECT_EQ(window.btnNext->parent, &window);
  ASSERT_NE(window.qvdaemon, nullptr);
  EXPECT_EQ(window.qvdaemon->Name(), "qvdaemon");
  EXPECT_EQ(window.Components(2)->Name(), "");  // pages have no names and bind to nothing
  EXPECT_EQ(std::string(window.Components(2)->ClassName()), "TScratchControl");
}

TEST_F(ComponentReaderTest, UnknownOrNonComponentClassIsNotFound) {
  for (const char* className : {"TNoSuchThing", "TScratchFont", "TScratchItem"}) {
    TScratchWindow window(nullptr);
    EXPECT_EQ(
        ReadError<EClassNotFound>(
            window, Window([](TFormWriter&) {}, [&](TFormWriter& w) { Child(w, className, "x"); })),
        std::string("Class ") + className + " not found");
    EXPECT_EQ(window.ComponentCount(), 0);
  }
}

TEST_F(ComponentReaderTest, InvalidNameFreesTheNewComponentAndUnbindsNothing) {
  TScratchWindow window(nullptr);
  EXPECT_EQ(ReadError<EComponentError>(
                window, Window([](TFormWriter&) {},
                               [](TFormWriter& w) { Child(w, "TScratchControl", "1btn"); })),
            "''1btn'' is not a valid component name");
  EXPECT_EQ(window.ComponentCount(), 0);
}

TEST_F(ComponentReaderTest, FailedRecordUnbindsTheFieldItBound) {
  TScratchWindow window(nullptr);
  const std::string error =
      ReadError(window, Window([](TFormWriter&) {},
                               [](TFormWriter& w) {
                                 Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                                   w.WritePropName("Nope");
                                   w.WriteInteger(1);
                                 });
                               }));
  EXPECT_EQ(error, "Error reading btnNext.Nope: Property Nope does not exist");
  EXPECT_EQ(window.ComponentCount(), 0);
  EXPECT_EQ(window.btnNext, nullptr);
}

TEST_F(ComponentReaderTest, InheritedRecordMustFindItsAncestor) {
  TScratchWindow window(nullptr);
  EXPECT_EQ(ReadError(window, Window([](TFormWriter&) {},
                                     [](TFormWriter& w) {
                                       w.WriteObjectHeader("TScratchControl", "btnGone",
                                                           kFilerInherited);
                                       w.WriteListEnd();
                                       w.WriteListEnd();
                                     })),
            "Ancestor for 'btnGone' not found");
}

TEST_F(ComponentReaderTest, ChildPositionIsToldToTheParent) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        w.WriteObjectHeader("TScratchControl", "btnNext", kFilerChildPos, 3);
                        w.WriteListEnd();
                        w.WriteListEnd();
                      }));
  EXPECT_NE(std::find(Log().begin(), Log().end(), "order btnNext 3"), Log().end());
}

TEST_F(ComponentReaderTest, NestingBeyondTheBoundIsRefused) {
  TScratchWindow window(nullptr);
  const std::vector<uint8_t> deep = Window([](TFormWriter&) {},
                                           [](TFormWriter& w) {
                                             for (int i = 0; i < 1000; ++i) {
                                               w.WriteObjectHeader("TScratchControl", "");
                                               w.WriteListEnd();
                                             }
                                             for (int i = 0; i < 1000; ++i)
                                               w.WriteListEnd();
                                           });
  EXPECT_EQ(ReadError(window, deep), "Invalid stream format");
}

// ------------------------------------------------------------ properties

TEST_F(ComponentReaderTest, IntegerPropertiesTakeEveryIntegerTagAndRegisteredIdentifiers) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Left");
         w.WriteValue(TValueType::vaInt32);  // a small value in the widest tag
         w.WriteBytes("\x05\x00\x00\x00", 4);
         w.WritePropName("Top");
         w.WriteInteger(-300);
         w.WritePropName("Color");
         w.WriteIdent("clBtnFace");
         w.WritePropName("Font.Charset");
         w.WriteIdent("RUSSIAN_CHARSET");
         w.WritePropName("Big");
         w.WriteInt64(int64_t{1} << 40);
       }));
  EXPECT_EQ(window.ords["Left"], 5);
  EXPECT_EQ(window.ords["Top"], -300);
  EXPECT_EQ(window.ords["Color"], 0xFF00000F);
  EXPECT_EQ(window.font.ords["Charset"], 204);
  EXPECT_EQ(window.ords["Big"], int64_t{1} << 40);
}

TEST_F(ComponentReaderTest, IdentifierWithoutTableOrEntryIsInvalid) {
  EXPECT_EQ(ButtonPropertyError([](TFormWriter& w) {
              w.WritePropName("Color");
              w.WriteIdent("clPurpleHaze");
            }),
            "Error reading btnNext.Color: Invalid property value");
  EXPECT_EQ(ButtonPropertyError([](TFormWriter& w) {
              w.WritePropName("Left");
              w.WriteIdent("clNavy");
            }),
            "Error reading btnNext.Left: Invalid property value");
}

TEST_F(ComponentReaderTest, WrongTagsForEachKindAreInvalid) {
  const std::vector<std::pair<std::string, std::function<void(TFormWriter&)>>> cases = {
      {"Left", [](TFormWriter& w) { w.WriteString("5"); }},
      {"Left", [](TFormWriter& w) { w.WriteInt64(5); }},
      {"Caption", [](TFormWriter& w) { w.WriteInteger(5); }},
      {"Align", [](TFormWriter& w) { w.WriteString("alTop"); }},
      {"Align", [](TFormWriter& w) { w.WriteIdent("alSideways"); }},
      {"Rate", [](TFormWriter& w) { w.WriteString("1.5"); }},
      {"Font.Style", [](TFormWriter& w) { w.WriteIdent("fsBold"); }},
      {"Letter", [](TFormWriter& w) { w.WriteString("AB"); }},
      {"Letter", [](TFormWriter& w) { w.WriteInteger(65); }},
      {"Big", [](TFormWriter& w) { w.WriteFloat(1); }},
      {"OnClick", [](TFormWriter& w) { w.WriteString("btnNextClick"); }},
      {"Peer", [](TFormWriter& w) { w.WriteInteger(0); }},
      {"Font",
       [](TFormWriter& w) {
         w.WriteCollectionBegin();
         w.WriteListEnd();
       }},
      {"Mystery", [](TFormWriter& w) { w.WriteInteger(0); }},
  };
  for (const auto& entry : cases) {
    const std::string& path = entry.first;
    const auto& value = entry.second;
    SCOPED_TRACE(path);
    EXPECT_EQ(ButtonPropertyError([&](TFormWriter& w) {
                w.WritePropName(path);
                value(w);
              }),
              "Error reading btnNext." + path + ": Invalid property value");
  }
}

TEST_F(ComponentReaderTest, FloatPropertiesTakeExtendedAndIntegerTags) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Rate");
         w.WriteFloat(47.647934L);
         w.WritePropName("Ratio");
         w.WriteInteger(-7);
         w.WritePropName("Price");
         w.WriteFloat(1.23456L);
       }));
  EXPECT_EQ(window.floats["Rate"], static_cast<double>(47.647934f));  // stored as a single
  EXPECT_EQ(window.floats["Ratio"], -7.0);
  EXPECT_EQ(window.floats["Price"], 1.2346);  // currency keeps four decimals
}

TEST_F(ComponentReaderTest, EnumerationsAndBooleans) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Align");
         w.WriteIdent("alClient");
         w.WritePropName("Visible");
         w.WriteBoolean(true);
       }));
  EXPECT_EQ(window.ords["Align"], 3);
  EXPECT_EQ(window.ords["Visible"], 1);
  Read(window, Window(
                   [](TFormWriter& w) {
                     w.WritePropName("Visible");
                     w.WriteIdent("False");
                   },
                   nullptr, "frm2"));
  EXPECT_EQ(window.ords["Visible"], 0);
}

TEST_F(ComponentReaderTest, SetsEmptyAndWithElements) {
  TScratchWindow window(nullptr);
  window.font.ords["Style"] = 0xFF;
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Font.Style");
         w.WriteSet({});
       }));
  EXPECT_EQ(window.font.ords["Style"], 0);
  Read(window, Window(
                   [](TFormWriter& w) {
                     w.WritePropName("Font.Style");
                     w.WriteSet({"fsBold", "fsStrikeOut"});
                   },
                   nullptr, "frm2"));
  EXPECT_EQ(window.font.ords["Style"], 0b1001);
}

TEST_F(ComponentReaderTest, SetWithUnknownElementIsInvalid) {
  EXPECT_EQ(ButtonPropertyError([](TFormWriter& w) {
              w.WritePropName("Font.Style");
              w.WriteSet({"fsBold", "fsShadow"});
            }),
            "Error reading btnNext.Font.Style: Invalid property value");
}

TEST_F(ComponentReaderTest, StringPropertiesTakeEveryStringTag) {
  const std::vector<std::function<void(TFormWriter&)>> values = {
      [](TFormWriter& w) { w.WriteString("Next >"); },
      [](TFormWriter& w) { w.WriteLongString("Next >"); },
      [](TFormWriter& w) { w.WriteWideString(u"Next >"); },
      [](TFormWriter& w) { w.WriteUtf8String("Next >"); },
  };
  for (const auto& value : values) {
    TScratchWindow window(nullptr);
    Read(window, Window([&](TFormWriter& w) {
           w.WritePropName("Caption");
           value(w);
           w.WritePropName("Hint");
           value(w);
           w.WritePropName("Letter");
           w.WriteString("&");
         }));
    EXPECT_EQ(window.strs["Caption"], "Next >");
    EXPECT_EQ(window.wstrs["Hint"], u"Next >");
    EXPECT_EQ(window.ords["Letter"], '&');
  }
  // A wide-string property keeps every character; an ANSI one gets the
  // code page's; ANSI text into a wide property is widened by the code page.
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Caption");
         w.WriteWideString(u"Caf\u00E9 \u0416");
         w.WritePropName("Hint");
         w.WriteWideString(u"Caf\u00E9 \u0416");
       }));
  EXPECT_EQ(window.strs["Caption"], "Caf\xE9 ?");
  EXPECT_EQ(window.wstrs["Hint"], u"Caf\u00E9 \u0416");
  TScratchWindow ansi(nullptr);
  Read(ansi, Window([](TFormWriter& w) {
         w.WritePropName("Hint");
         w.WriteString("Caf\xE9 \x80");
       }));
  EXPECT_EQ(ansi.wstrs["Hint"], u"Caf\u00E9 \u20AC");
}

TEST_F(ComponentReaderTest, LinesMixStringAndWideStringItemsInOrder) {
  TScratchWindow window(nullptr);
  window.lines.lines = {"old"};
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Lines.Strings");
         w.WriteListBegin();
         w.WriteString("LICENSE AGREEMENT");
         w.WriteWideString(u"");
         w.WriteString("Read carefully.");
         w.WriteWideString(u"Caf\u00E9 \u0416");
         w.WriteListEnd();
       }));
  EXPECT_EQ(window.lines.lines,
            (std::vector<std::string>{"LICENSE AGREEMENT", "", "Read carefully.", "Caf\xE9 ?"}));
}

TEST_F(ComponentReaderTest, CollectionItemsAreReadIntoTheHeldCollection) {
  TScratchWindow window(nullptr);
  window.items.AddItem();
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Items");
         w.WriteCollectionBegin();
         w.WriteCollectionItem(5);
         w.WritePropName("Caption");
         w.WriteString("first");
         w.WriteListEnd();
         w.WriteCollectionItem();
         w.WritePropName("Width");
         w.WriteInteger(80);
         w.WriteListEnd();
         w.WriteListEnd();
       }));
  ASSERT_EQ(window.items.items.size(), 2u);
  EXPECT_EQ(window.items.items[0]->strs["Caption"], "first");
  EXPECT_EQ(window.items.items[1]->ords["Width"], 80);
}

// ------------------------------------------------------ property paths

TEST_F(ComponentReaderTest, PathErrorsNameThePropertyAndThePath) {
  const auto error = [this](const std::string& path) {
    return ButtonPropertyError([&](TFormWriter& w) {
      w.WritePropName(path);
      w.WriteInteger(1);
    });
  };
  EXPECT_EQ(error("Nope"), "Error reading btnNext.Nope: Property Nope does not exist");
  EXPECT_EQ(error("Font.Nope"), "Error reading btnNext.Font.Nope: Property Nope does not exist");
  EXPECT_EQ(error("Nope.Height"),
            "Error reading btnNext.Nope.Height: Property Nope does not exist");
  EXPECT_EQ(error("Caption.Height"), "Error reading btnNext.Caption.Height: Invalid property path");
  EXPECT_EQ(error("Peer.Caption"), "Error reading btnNext.Peer.Caption: Invalid property path");
  EXPECT_EQ(error("Count"), "Error reading btnNext.Count: Property is read-only");
  EXPECT_EQ(error("Frozen"), "Error reading btnNext.Frozen: Property is read-only");
  EXPECT_EQ(error("Plain"), "Error reading btnNext.Plain: Property is read-only");
  // Without a setter, a property holding a sub-component may name it (or
  // nil); anything else is no value for it.
  EXPECT_EQ(error("Inner"), "Error reading btnNext.Inner: Invalid property value");
  for (const bool named : {true, false}) {
    EXPECT_EQ(ButtonPropertyError([&](TFormWriter& w) {
                w.WritePropName("Inner");
                named ? w.WriteIdent("btnNext.Inner") : w.WriteNil();
                w.WritePropName("Caption");
                w.WriteString("after");
              }),
              "(no error)");
  }
}

TEST_F(ComponentReaderTest, UnnamedComponentIsNamedByItsClassInErrors) {
  TScratchWindow window(nullptr);
  EXPECT_EQ(ReadError(window, Window([](TFormWriter&) {},
                                     [](TFormWriter& w) {
                                       Child(w, "TScratchControl", "", [](TFormWriter& w) {
                                         w.WritePropName("Width");
                                         w.WriteInteger(1);
                                       });
                                     })),
            "Error reading TScratchControl.Width: Property Width does not exist");
}

TEST_F(ComponentReaderTest, NestedPathSetsTheHeldSubObject) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Font.Height");
         w.WriteInteger(-11);
         w.WritePropName("font.name");  // names compare case-insensitively
         w.WriteString("MS Sans Serif");
       }));
  EXPECT_EQ(window.font.ords["Height"], -11);
  EXPECT_EQ(window.font.strs["Name"], "MS Sans Serif");
}

TEST_F(ComponentReaderTest, PublishedPropertyWinsOverDefinedOne) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                          w.WritePropName("Left");
                          w.WriteInteger(12);
                        });
                        Child(w, "TScratchData", "qvdaemon", [](TFormWriter& w) {
                          w.WritePropName("Left");
                          w.WriteInteger(16);
                          w.WritePropName("Top");
                          w.WriteInteger(300);
                        });
                      }));
  EXPECT_EQ(window.btnNext->ords["Left"], 12);
  EXPECT_EQ(window.btnNext->DesignLeft(), 0);
  EXPECT_EQ(window.qvdaemon->DesignLeft(), 16);
  EXPECT_EQ(window.qvdaemon->DesignTop(), 300);
}

// ---------------------------------------------------- binary properties

std::vector<uint8_t> PayloadBlock(int32_t size) {
  std::vector<uint8_t> block(4 + static_cast<size_t>(size));
  for (int i = 0; i < 4; ++i)
    block[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
  for (size_t i = 4; i < block.size(); ++i)
    block[i] = static_cast<uint8_t>(i * 31);
  return block;
}

std::vector<uint8_t> DataWindow(const std::function<void(TFormWriter&)>& theData) {
  return Window([](TFormWriter&) {},
                [&](TFormWriter& w) {
                  Child(w, "TScratchData", "qvdaemon", [&](TFormWriter& w) {
                    w.WritePropName("TheData");
                    theData(w);
                  });
                });
}

TEST_F(ComponentReaderTest, BinaryPropertyReceivesExactlyItsPayload) {
  for (int32_t size : {0, 1, 5000, 220331}) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> block = PayloadBlock(size);  // Binary count N + 4
    TScratchWindow window(nullptr);
    Read(window, DataWindow([&](TFormWriter& w) {
           w.WriteBinary(block.data(), static_cast<uint32_t>(block.size()));
         }));
    ASSERT_NE(window.qvdaemon, nullptr);
    EXPECT_EQ(window.qvdaemon->positionAtRead, 0);
    EXPECT_EQ(window.qvdaemon->block, block);
  }
}

TEST_F(ComponentReaderTest, BinaryPropertyWithAnotherTagIsInvalid) {
  TScratchWindow window(nullptr);
  EXPECT_EQ(ReadError(window, DataWindow([](TFormWriter& w) { w.WriteString("78DA"); })),
            "Error reading qvdaemon.TheData: Invalid property value");
}

TEST_F(ComponentReaderTest, TruncatedBinaryPropertyIsAReadError) {
  TScratchWindow window(nullptr);
  std::vector<uint8_t> bytes = DataWindow([](TFormWriter& w) {
    const std::vector<uint8_t> block = PayloadBlock(100);
    w.WriteBinary(block.data(), static_cast<uint32_t>(block.size()));
  });
  bytes.resize(bytes.size() - 60);
  EXPECT_EQ(ReadError(window, bytes), "Error reading qvdaemon.TheData: Stream read error");
  EXPECT_EQ(window.ComponentCount(), 0);
}

// ---------------------------------------------------------------- events

TEST_F(ComponentReaderTest, EventIsBoundToTheRootsMethodByName) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                          w.WritePropName("OnClick");
                          w.WriteIdent("BTNNEXTCLICK");
                        });
                      }));
  ASSERT_TRUE(window.btnNext->onClick);
  EXPECT_EQ(window.btnNext->onClickName, "btnNextClick");
  window.btnNext->onClick(window.btnNext);
  EXPECT_EQ(window.clicks, 1);
  EXPECT_EQ(window.lastSender, window.btnNext);
}

TEST_F(ComponentReaderTest, NilClearsAnEvent) {
  TScratchWindow window(nullptr);
  window.onClick = [](TObject*) {};
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("OnClick");
         w.WriteNil();
       }));
  EXPECT_FALSE(window.onClick);
}

TEST_F(ComponentReaderTest, UnknownOrMistypedHandlerIsInvalid) {
  for (const char* handler : {"btnMissingClick", "FormClose"}) {
    SCOPED_TRACE(handler);
    EXPECT_EQ(ButtonPropertyError([&](TFormWriter& w) {
                w.WritePropName("OnClick");
                w.WriteIdent(handler);
              }),
              "Error reading btnNext.OnClick: Invalid property value");
  }
}

// ------------------------------------------------------------ references

TEST_F(ComponentReaderTest, ReferencesResolveAfterTheWholeTree) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                          w.WritePropName("Peer");
                          w.WriteIdent("btnBack");  // a later sibling
                        });
                        Child(w, "TScratchControl", "btnBack", [](TFormWriter& w) {
                          w.WritePropName("Peer");
                          w.WriteIdent("btnNowhere");
                        });
                        Child(w, "TScratchBook", "Notebook", [](TFormWriter& w) {
                          w.WritePropName("Peer");
                          w.WriteIdent("Notebook.pgWelcome");
                          w.WriteListEnd();
                          Child(w, "TScratchControl", "pgWelcome");
                        });
                      }));
  auto* back = static_cast<TScratchControl*>(window.FindComponent("btnBack"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(window.btnNext->peer, back);
  EXPECT_EQ(back->peer, nullptr);
  ASSERT_NE(window.Notebook, nullptr);
  EXPECT_EQ(window.Notebook->peer, window.Notebook->FindComponent("pgWelcome"));
}

TEST_F(ComponentReaderTest, UnresolvedPlainReferenceStoresNil) {
  TScratchWindow window(nullptr);
  window.peer = &window;
  Read(window, Window([](TFormWriter& w) {
         w.WritePropName("Peer");
         w.WriteIdent("btnNowhere");
       }));
  EXPECT_EQ(window.peer, nullptr);
}

TEST_F(ComponentReaderTest, ReferenceOfAnotherClassStoresNil) {
  TScratchWindow window(nullptr);
  window.peer = &window;
  Read(window, Window(
                   [](TFormWriter& w) {
                     w.WritePropName("Peer");
                     w.WriteIdent("qvdaemon");
                   },
                   [](TFormWriter& w) { Child(w, "TScratchData", "qvdaemon"); }));
  EXPECT_EQ(window.peer, nullptr);
}

TEST_F(ComponentReaderTest, ReferenceToALaterWindowResolvesWhenThatWindowIsRead) {
  TScratchWindow first(nullptr);
  names_.Add(first);
  Read(first, Window([](TFormWriter& w) {
         w.WritePropName("Peer");
         w.WriteIdent("frmOther.btnNext");
       }));
  EXPECT_EQ(first.peer, nullptr);
  TScratchWindow other(nullptr);
  names_.Add(other);
  Read(other, Window([](TFormWriter&) {},
                     [](TFormWriter& w) { Child(w, "TScratchControl", "btnNext"); }, "frmOther"));
  EXPECT_EQ(first.peer, other.btnNext);
  names_.Remove(other);
  names_.Remove(first);
}

TEST_F(ComponentReaderTest, PendingWindowReferenceDiesWithItsComponent) {
  {
    TScratchWindow first(nullptr);
    Read(first, Window([](TFormWriter&) {},
                       [](TFormWriter& w) {
                         Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                           w.WritePropName("Peer");
                           w.WriteIdent("frmLater.btnNext");
                         });
                       }));
  }
  // The holder is gone; resolving must not touch it (the sanitizer watches).
  TScratchWindow later(nullptr);
  names_.Add(later);
  Read(later, Window([](TFormWriter&) {},
                     [](TFormWriter& w) { Child(w, "TScratchControl", "btnNext"); }, "frmLater"));
  EXPECT_NE(later.btnNext, nullptr);
  names_.Remove(later);
}

// ------------------------------------------------------------- root name

TEST_F(ComponentReaderTest, TakenWindowNameGetsTheFirstFreeNumber) {
  TScratchWindow existing(nullptr);
  existing.SetName("frmDialog");
  names_.Add(existing);
  TScratchWindow second(nullptr);
  names_.Add(second);
  Read(second, Window([](TFormWriter&) {}, nullptr, "frmDialog"));
  EXPECT_EQ(second.Name(), "frmDialog_1");
  TScratchWindow third(nullptr);
  names_.Add(third);
  Read(third, Window([](TFormWriter&) {}, nullptr, "FRMDIALOG"));
  EXPECT_EQ(third.Name(), "FRMDIALOG_2");
  // Reading into a window again does not count its own name as taken.
  Read(second, Window([](TFormWriter&) {}, nullptr, "frmDialog_1"));
  EXPECT_EQ(second.Name(), "frmDialog_1");
  names_.Remove(third);
  names_.Remove(second);
  names_.Remove(existing);
}

TEST_F(ComponentReaderTest, InvalidWindowNameIsRefused) {
  TScratchWindow window(nullptr);
  EXPECT_EQ(ReadError<EComponentError>(window, Window([](TFormWriter&) {}, nullptr, "frm Dialog")),
            "''frm Dialog'' is not a valid component name");
}

// ------------------------------------------- loaded list, marks, owners

std::vector<uint8_t> TreeWindow() {
  return Window(
      [](TFormWriter& w) {
        w.WritePropName("Caption");
        w.WriteString("root");
      },
      [](TFormWriter& w) {
        w.WriteObjectHeader("TScratchControl", "A");
        w.WritePropName("Caption");
        w.WriteString("a");
        w.WriteListEnd();
        Child(w, "TScratchControl", "A1", [](TFormWriter& w) {
          w.WritePropName("Left");
          w.WriteInteger(1);
        });
        w.WriteListEnd();
        Child(w, "TScratchControl", "B", [](TFormWriter& w) {
          w.WritePropName("Left");
          w.WriteInteger(2);
        });
      });
}

TEST_F(ComponentReaderTest, LoadedGoesToTheWindowFirstThenInRecordCompletionOrder) {
  TScratchWindow window(nullptr);
  Read(window, TreeWindow());
  std::vector<std::string> loaded;
  for (const std::string& entry : Log()) {
    if (entry.rfind("loaded ", 0) == 0)
      loaded.push_back(entry.substr(7));
  }
  EXPECT_EQ(loaded, (std::vector<std::string>{"frm", "A1", "A", "B"}));
  EXPECT_EQ(Log().front(), "begin frm");
}

TEST_F(ComponentReaderTest, RecordsAreBracketedAndNestedInStreamOrder) {
  TScratchWindow window(nullptr);
  Read(window, TreeWindow());
  const std::vector<std::string> expected = {"begin frm", "begin A", "begin A1", "end A1",
                                             "end A",     "begin B", "end B",    "end frm"};
  std::vector<std::string> records;
  for (const std::string& entry : Log()) {
    if (entry.rfind("loaded", 0) != 0)
      records.push_back(entry);
  }
  EXPECT_EQ(records, expected);
}

TEST_F(ComponentReaderTest, LoadingLastsUntilLoadedAndReadingOnlyDuringTheOwnRecord) {
  TScratchWindow window(nullptr);
  Read(window, TreeWindow());
  auto* a = static_cast<TScratchControl*>(window.FindComponent("A"));
  auto* a1 = static_cast<TScratchControl*>(window.FindComponent("A1"));
  auto* b = static_cast<TScratchControl*>(window.FindComponent("B"));
  ASSERT_TRUE(a && a1 && b);
  // While A1's record was read, it was loading and reading.
  EXPECT_EQ(a1->marks["Left"] & (csLoading | csReading), csLoading | csReading);
  // B's record came after A's: B reading, and (checked below) A no longer.
  EXPECT_EQ(b->marks["Left"] & (csLoading | csReading), csLoading | csReading);
  for (TComponent* c : {static_cast<TComponent*>(&window), static_cast<TComponent*>(a),
                        static_cast<TComponent*>(a1), static_cast<TComponent*>(b)}) {
    EXPECT_FALSE(c->HasState(csLoading)) << c->Name();
    EXPECT_FALSE(c->HasState(csReading)) << c->Name();
  }
}

// Checks, from a later sibling's setter, the marks of a finished sibling.
class TMarkProbe : public TScratchControl {
  QV_TYPE_INFO
 public:
  using TScratchControl::TScratchControl;
  uint32_t siblingMarks = 0;
  uint32_t rootMarks = 0;
};
const TClassInfo& TMarkProbe::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TMarkProbe>("TMarkProbe", &TScratchControl::StaticClassInfo())
          .Creatable()
          .Integer("Probe", BagOrd{"Probe"},
                   [](TMarkProbe& self, int64_t) {
                     self.siblingMarks = self.Owner()->FindComponent("A")->ComponentState();
                     self.rootMarks = self.Owner()->ComponentState();
                   })
          .Build();
  return info;
}

TEST_F(ComponentReaderTest, FinishedSiblingKeepsLoadingButNotReading) {
  RegisterComponentClass(TMarkProbe::StaticClassInfo());
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        Child(w, "TScratchControl", "A");
                        Child(w, "TMarkProbe", "P", [](TFormWriter& w) {
                          w.WritePropName("Probe");
                          w.WriteInteger(0);
                        });
                      }));
  auto* probe = static_cast<TMarkProbe*>(window.FindComponent("P"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->siblingMarks & (csLoading | csReading), csLoading);
  EXPECT_EQ(probe->rootMarks & (csLoading | csReading), csLoading | csReading);
}

TEST_F(ComponentReaderTest, InheritedRecordCannotReopenARecordBeingRead) {
  RegisterComponentClass(TMarkProbe::StaticClassInfo());
  TScratchWindow window(nullptr);
  const std::vector<uint8_t> bytes =
      Window([](TFormWriter&) {},
             [](TFormWriter& w) {
               w.WriteObjectHeader("TScratchControl", "A");
               w.WriteListEnd();
               w.WriteObjectHeader("TScratchControl", "A", kFilerInherited);
               w.WriteListEnd();
               w.WriteListEnd();
               Child(w, "TMarkProbe", "P", [](TFormWriter& w) {
                 w.WritePropName("Probe");
                 w.WriteInteger(0);
               });
               w.WriteListEnd();
             });
  std::vector<std::string> errors;
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  TComponentReader reader(stream, names_);
  reader.OnError = [&errors](const Exception& e) {
    errors.push_back(e.Message());
    return true;
  };
  reader.ReadRootComponent(window);
  EXPECT_EQ(errors, (std::vector<std::string>{"Ancestor for 'A' not found"}));
  auto* probe = static_cast<TMarkProbe*>(window.FindComponent("P"));
  ASSERT_NE(probe, nullptr);
  // A's record was still open when P was read inside it.
  EXPECT_EQ(probe->siblingMarks & csReading, csReading);
}

TEST_F(ComponentReaderTest, ContainerOwnsItsPagesAndTheWindowOwnsWhatIsOnThem) {
  TScratchWindow window(nullptr);
  Read(window, Window([](TFormWriter&) {},
                      [](TFormWriter& w) {
                        w.WriteObjectHeader("TScratchBook", "Notebook");
                        w.WriteListEnd();
                        w.WriteObjectHeader("TScratchControl", "");  // a page
                        w.WriteListEnd();
                        Child(w, "TScratchControl", "btnNext");  // a control on the page
                        w.WriteListEnd();
                        w.WriteListEnd();
                      }));
  ASSERT_NE(window.Notebook, nullptr);
  ASSERT_EQ(window.Notebook->ComponentCount(), 1);
  auto* page = static_cast<TScratchControl*>(window.Notebook->Components(0));
  EXPECT_EQ(page->parent, window.Notebook);
  ASSERT_NE(window.btnNext, nullptr);
  EXPECT_EQ(window.btnNext->Owner(), &window);
  EXPECT_EQ(window.btnNext->parent, page);
}

TEST_F(ComponentReaderTest, FailedReadGivesNoLoadedNotifications) {
  TScratchWindow window(nullptr);
  std::vector<uint8_t> bytes = TreeWindow();
  bytes.pop_back();
  EXPECT_EQ(ReadError(window, bytes), "Stream read error");
  EXPECT_EQ(std::count_if(Log().begin(), Log().end(),
                          [](const std::string& e) { return e.rfind("loaded", 0) == 0; }),
            0);
}

// ---------------------------------------------------------- error handler

TEST_F(ComponentReaderTest, ErrorHandlerLetsTheReadGoOnPastFailedEntriesAndRecords) {
  TScratchWindow window(nullptr);
  const std::vector<uint8_t> bytes =
      Window([](TFormWriter&) {},
             [](TFormWriter& w) {
               Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
                 w.WritePropName("Nope");
                 w.WriteSet({"a", "b"});
                 w.WritePropName("Caption");
                 w.WriteString("kept");
               });
               w.WriteObjectHeader("TNoSuchThing", "lost");
               w.WritePropName("Caption");
               w.WriteString("x");
               w.WriteListEnd();
               Child(w, "TScratchControl", "lostChild");
               w.WriteListEnd();
               w.WriteObjectHeader("TScratchBook", "Notebook");
               w.WriteListEnd();
               Child(w, "TScratchControl", "pg1");
               Child(w, "TScratchControl", "bad name");
               Child(w, "TScratchControl", "pg3");
               w.WriteListEnd();
               Child(w, "TScratchControl", "btnLast");
             });
  std::vector<std::string> errors;
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  TComponentReader reader(stream, names_);
  reader.OnError = [&errors](const Exception& e) {
    errors.push_back(e.Message());
    return true;
  };
  reader.ReadRootComponent(window);
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "Error reading btnNext.Nope: Property Nope does not exist",
                        "Class TNoSuchThing not found",
                        "''bad name'' is not a valid component name",
                    }));
  ASSERT_NE(window.btnNext, nullptr);
  EXPECT_EQ(window.btnNext->strs["Caption"], "kept");
  EXPECT_EQ(window.FindComponent("lostChild"), nullptr);
  ASSERT_NE(window.Notebook, nullptr);
  EXPECT_EQ(window.Notebook->ComponentCount(), 2);
  EXPECT_NE(window.FindComponent("btnLast"), nullptr);
  EXPECT_FALSE(window.FindComponent("btnLast")->HasState(csLoading));
}

TEST_F(ComponentReaderTest, DeclinedErrorPropagates) {
  TScratchWindow window(nullptr);
  const std::vector<uint8_t> bytes = Window([](TFormWriter& w) {
    w.WritePropName("Nope");
    w.WriteInteger(1);
  });
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  TComponentReader reader(stream, names_);
  int offered = 0;
  reader.OnError = [&offered](const Exception&) {
    ++offered;
    return false;
  };
  EXPECT_THROW(reader.ReadRootComponent(window), EReadError);
  EXPECT_EQ(offered, 1);
}

// ------------------------------------------------------ window construction

TEST_F(ComponentReaderTest, ConstructionReadsAncestorStreamsFirstAndNotifiesOnce) {
  const std::vector<uint8_t> ancestor = Window(
      [](TFormWriter& w) {
        w.WritePropName("Caption");
        w.WriteString("ancestor");
      },
      [](TFormWriter& w) {
        Child(w, "TScratchControl", "btnNext", [](TFormWriter& w) {
          w.WritePropName("Caption");
          w.WriteString("Next");
        });
      });
  const std::vector<uint8_t> own = Stream([](TFormWriter& w) {
    w.WriteObjectHeader("TScratchDerived", "frmDerived");
    w.WritePropName("Caption");
    w.WriteString("derived");
    w.WriteListEnd();
    w.WriteObjectHeader("TScratchControl", "btnNext", kFilerInherited);
    w.WritePropName("Left");
    w.WriteInteger(9);
    w.WriteListEnd();
    w.WriteListEnd();
    Child(w, "TScratchControl", "btnExtra");
    w.WriteListEnd();
  });
  std::vector<std::string> asked;
  const TFormResourceFinder find = [&](const std::string& className) -> std::unique_ptr<TStream> {
    asked.push_back(className);
    const std::vector<uint8_t>* bytes = className == "TScratchWindow"    ? &ancestor
                                        : className == "TScratchDerived" ? &own
                                                                         : nullptr;
    if (bytes == nullptr)
      return nullptr;
    return std::make_unique<TReadOnlyMemoryStream>(bytes->data(), bytes->size());
  };
  TScratchDerived window(nullptr);
  InitInheritedComponent(window, find, names_);
  EXPECT_EQ(asked.front(), "TObject");
  EXPECT_EQ(asked.back(), "TScratchDerived");
  EXPECT_EQ(window.Name(), "frmDerived");
  EXPECT_EQ(window.strs["Caption"], "derived");
  ASSERT_NE(window.btnNext, nullptr);
  EXPECT_EQ(window.btnNext->strs["Caption"], "Next");
  EXPECT_EQ(window.btnNext->ords["Left"], 9);
  EXPECT_EQ(window.ComponentCount(), 2);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "loaded btnNext"), 1);
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "loaded frmDerived"), 1);
  EXPECT_FALSE(window.btnNext->HasState(csLoading));
}

TEST_F(ComponentReaderTest, ConstructionWithoutAnyStreamIsResourceNotFound) {
  TScratchDerived window(nullptr);
  try {
    InitInheritedComponent(
        window, [](const std::string&) { return nullptr; }, names_);
    FAIL() << "no error";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource TScratchDerived not found");
  }
}

TEST_F(ComponentReaderTest, WindowBeingLoadedJoinsTheOpenListAndAFreshOneSetsItAside) {
  TScratchWindow joining(nullptr);
  joining.SetState(csLoading);  // as if created by the outer read
  TScratchWindow fresh(nullptr);
  bool joiningStillLoading = false;
  bool freshLoaded = false;
  const std::vector<uint8_t> outerBytes = Window([](TFormWriter&) {}, nullptr, "frmOuter");
  const TFormResourceFinder find = [&](const std::string& className) -> std::unique_ptr<TStream> {
    if (className != "TScratchWindow")
      return nullptr;
    Read(joining, TreeWindow());
    joiningStillLoading = joining.FindComponent("A")->HasState(csLoading);
    Read(fresh, TreeWindow());
    freshLoaded = !fresh.FindComponent("A")->HasState(csLoading);
    return std::make_unique<TReadOnlyMemoryStream>(outerBytes.data(), outerBytes.size());
  };
  TScratchWindow outer(nullptr);
  InitInheritedComponent(outer, find, names_);
  EXPECT_TRUE(joiningStillLoading);
  EXPECT_TRUE(freshLoaded);
  EXPECT_FALSE(joining.FindComponent("A")->HasState(csLoading));
  EXPECT_FALSE(joining.HasState(csLoading));
  EXPECT_FALSE(outer.HasState(csLoading));
}

// ----------------------------------------------- worked example, round trip

// The progress window, as its form text describes it.
std::vector<uint8_t> ProgressWindowStream() {
  return Stream([](TFormWriter& w) {
    const auto integer = [&w](const char* name, int64_t value) {
      w.WritePropName(name);
      w.WriteInteger(value);
    };
    const auto ident = [&w](const char* name, const char* value) {
      w.WritePropName(name);
      w.WriteIdent(value);
    };
    w.WriteObjectHeader("TFormProgress", "FormProgress");
    integer("Left", 431);
    integer("Top", 375);
    w.WritePropName("BorderIcons");
    w.WriteSet({});
    ident("BorderStyle", "bsSingle");
    w.WritePropName("Caption");
    w.WriteString("Progress");
    integer("ClientHeight", 31);
    integer("ClientWidth", 346);
    ident("Color", "clBtnFace");
    ident("Font.Charset", "DEFAULT_CHARSET");
    ident("Font.Color", "clWindowText");
    integer("Font.Height", -11);
    w.WritePropName("Font.Name");
    w.WriteString("MS Sans Serif");
    w.WritePropName("Font.Style");
    w.WriteSet({});
    w.WritePropName("OldCreateOrder");
    w.WriteBoolean(false);
    ident("Position", "poScreenCenter");
    integer("PixelsPerInch", 96);
    integer("TextHeight", 13);
    w.WriteListEnd();
    w.WriteObjectHeader("TProgressBar", "ProgressBar");
    integer("Left", 10);
    integer("Top", 10);
    integer("Width", 326);
    integer("Height", 13);
    integer("Min", 0);
    integer("Max", 100);
    integer("TabOrder", 0);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
  });
}

std::vector<uint8_t> Hex(std::initializer_list<std::variant<int, const char*>> parts) {
  std::vector<uint8_t> bytes;
  for (const auto& part : parts) {
    if (std::holds_alternative<int>(part)) {
      bytes.push_back(static_cast<uint8_t>(std::get<int>(part)));
    } else {
      for (const char* c = std::get<const char*>(part); *c != '\0'; ++c)
        bytes.push_back(*c);
    }
  }
  return bytes;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

TEST_F(ComponentReaderTest, ProgressWindowStreamMatchesTheDocumentedBytes) {
  const std::vector<uint8_t> bytes = ProgressWindowStream();
  EXPECT_EQ(bytes.size(), 407u);
  const std::vector<uint8_t> opening =
      Hex({0x54, 0x50,           0x46,       0x30,           0x0D,      "TFormProgress",
           0x0C, "FormProgress", 0x04,       "Left",         0x03,      0xAF,
           0x01, 0x03,           "Top",      0x03,           0x77,      0x01,
           0x0B, "BorderIcons",  0x0B,       0x00,           0x0B,      "BorderStyle",
           0x07, 0x08,           "bsSingle", 0x07,           "Caption", 0x06,
           0x08, "Progress",     0x0C,       "ClientHeight", 0x02,      0x1F});
  ASSERT_GE(bytes.size(), opening.size());
  EXPECT_TRUE(std::equal(opening.begin(), opening.end(), bytes.begin()));
  EXPECT_TRUE(Contains(bytes, Hex({0x0A, "TextHeight", 0x02, 0x0D, 0x00, 0x0C, "TProgressBar", 0x0B,
                                   "ProgressBar", 0x04, "Left", 0x02, 0x0A})));
  const std::vector<uint8_t> closing = Hex({0x08, "TabOrder", 0x02, 0x00, 0x00, 0x00, 0x00});
  EXPECT_TRUE(std::equal(closing.rbegin(), closing.rend(), bytes.rbegin()));
}

// Scratch stand-ins for the progress window's classes.
const TEnumInfo& BorderIconEnum() {
  static const TEnumInfo info{"TBorderIcon", {"biSystemMenu", "biMinimize", "biMaximize"}};
  return info;
}
const TEnumInfo& BorderStyleEnum() {
  static const TEnumInfo info{"TFormBorderStyle", {"bsNone", "bsSingle", "bsSizeable"}};
  return info;
}
const TEnumInfo& PositionEnum() {
  static const TEnumInfo info{"TPosition", {"poDesigned", "poDefault", "poScreenCenter"}};
  return info;
}

class TScratchProgressBar : public TScratchControl {
  QV_TYPE_INFO
 public:
  using TScratchControl::TScratchControl;
};
const TClassInfo& TScratchProgressBar::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TScratchProgressBar>("TProgressBar", &TScratchControl::StaticClassInfo())
          .Creatable()
          .Integer("Width", BagOrd{"Width"}, BagOrd{"Width"})
          .Integer("Height", BagOrd{"Height"}, BagOrd{"Height"})
          .Integer("Min", BagOrd{"Min"}, BagOrd{"Min"})
          .Integer("Max", BagOrd{"Max"}, BagOrd{"Max"})
          .Integer("TabOrder", BagOrd{"TabOrder"}, BagOrd{"TabOrder"})
          .Build();
  return info;
}

class TScratchProgressForm : public TScratchControl {
  QV_TYPE_INFO
 public:
  using TScratchControl::TScratchControl;
  TScratchProgressBar* ProgressBar = nullptr;
};
const TClassInfo& TScratchProgressForm::StaticClassInfo() {
  using Self = TScratchProgressForm;
  static const TClassInfo info =
      ClassInfoBuilder<Self>("TFormProgress", &TScratchControl::StaticClassInfo())
          .SetOf("BorderIcons", BorderIconEnum(), BagOrd{"BorderIcons"}, BagOrd{"BorderIcons"})
          .Enumeration("BorderStyle", BorderStyleEnum(), BagOrd{"BorderStyle"},
                       BagOrd{"BorderStyle"})
          .Integer("ClientHeight", BagOrd{"ClientHeight"}, BagOrd{"ClientHeight"})
          .Integer("ClientWidth", BagOrd{"ClientWidth"}, BagOrd{"ClientWidth"})
          .Boolean("OldCreateOrder", BagOrd{"OldCreateOrder"}, BagOrd{"OldCreateOrder"})
          .Enumeration("Position", PositionEnum(), BagOrd{"Position"}, BagOrd{"Position"})
          .Integer("PixelsPerInch", BagOrd{"PixelsPerInch"}, BagOrd{"PixelsPerInch"})
          .Integer("TextHeight", BagOrd{"TextHeight"}, BagOrd{"TextHeight"})
          .Field("ProgressBar", &Self::ProgressBar)
          .Build();
  return info;
}

TEST_F(ComponentReaderTest, ProgressWindowStreamReadsBack) {
  TScratchProgressForm form(nullptr);
  Read(form, ProgressWindowStream());
  EXPECT_EQ(form.Name(), "FormProgress");
  EXPECT_EQ(form.strs["Caption"], "Progress");
  EXPECT_EQ(form.ords["BorderIcons"], 0);
  EXPECT_EQ(form.ords["BorderStyle"], 1);
  EXPECT_EQ(form.ords["Position"], 2);
  EXPECT_EQ(form.ords["ClientWidth"], 346);
  EXPECT_EQ(form.ords["Color"], 0xFF00000F);
  EXPECT_EQ(form.font.ords["Charset"], 1);
  EXPECT_EQ(form.font.ords["Color"], 0xFF000008);
  EXPECT_EQ(form.font.strs["Name"], "MS Sans Serif");
  ASSERT_NE(form.ProgressBar, nullptr);
  EXPECT_EQ(form.ProgressBar->ords["Width"], 326);
  EXPECT_EQ(form.ProgressBar->ords["Max"], 100);
}

}  // namespace
}  // namespace qv
