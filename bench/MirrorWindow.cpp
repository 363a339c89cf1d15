#include "MirrorWindow.h"

#include <algorithm>

#include "core/Filer.h"
#include "core/Format.h"
#include "core/Stream.h"
#include "core/TypeInfoBuilder.h"
#include "formstream/ComponentReader.h"

namespace qv::bench {

namespace {

// Accessors of a plain data member, in the shape the builder takes.
template <class H, class T>
auto Get(T H::*member) {
  return [member](H& holder) -> T { return holder.*member; };
}
template <class H, class T>
auto Put(T H::*member) {
  return [member](H& holder, const auto& value) { holder.*member = static_cast<T>(value); };
}

// The enumerations as the stream names their values, by ordinal.
const TEnumInfo& AlignEnum() {
  static const TEnumInfo info{"TAlign",
                              {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};
  return info;
}
const TEnumInfo& FontStyleEnum() {
  static const TEnumInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  return info;
}
const TEnumInfo& BevelShapeEnum() {
  static const TEnumInfo info{
      "TBevelShape",
      {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}};
  return info;
}
const TEnumInfo& PanelBevelEnum() {
  static const TEnumInfo info{"TPanelBevel", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}};
  return info;
}
const TEnumInfo& ScrollStyleEnum() {
  static const TEnumInfo info{"TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}};
  return info;
}
const TEnumInfo& BorderStyleEnum() {
  static const TEnumInfo info{
      "TFormBorderStyle",
      {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
  return info;
}
const TEnumInfo& PositionEnum() {
  static const TEnumInfo info{"TPosition",
                              {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                               "poScreenCenter", "poDesktopCenter"}};
  return info;
}
const TEnumInfo& BorderIconEnum() {
  static const TEnumInfo info{"TBorderIcon",
                              {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
  return info;
}

// Property groups that several controls publish, each only where the
// stream stores it.
template <class C>
void Caption(ClassInfoBuilder<C>& b) {
  b.String("Caption", Get(&TControl::caption), Put(&TControl::caption));
}
template <class C>
void Color(ClassInfoBuilder<C>& b) {
  b.Integer("Color", Get(&TControl::color), Put(&TControl::color), "TColor");
}
template <class C>
void Font(ClassInfoBuilder<C>& b) {
  b.Object("Font", TFont::StaticClassInfo(), [](TControl& c) -> TObject* { return &c.font; });
  b.Boolean("ParentFont", Get(&TControl::parentFont), Put(&TControl::parentFont));
}
template <class C>
void TabOrder(ClassInfoBuilder<C>& b) {
  b.Integer("TabOrder", Get(&TControl::tabOrder), Put(&TControl::tabOrder));
}
template <class C>
void OnClick(ClassInfoBuilder<C>& b) {
  b.template EventField<TNotifyEvent>("OnClick", &TControl::onClick);
}

template <class C>
ClassInfoBuilder<C> Control(const char* name) {
  ClassInfoBuilder<C> b(name, &TControl::StaticClassInfo());
  b.Creatable();
  return b;
}

}  // namespace

// ----------------------------------------------------------- sub-objects

const TClassInfo& TFont::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFont>("TFont", &TPersistent::StaticClassInfo())
          .Integer("Charset", Get(&TFont::charset), Put(&TFont::charset), "TFontCharset")
          .Integer("Color", Get(&TFont::color), Put(&TFont::color), "TColor")
          .Integer("Height", Get(&TFont::height), Put(&TFont::height))
          .String("Name", Get(&TFont::name), Put(&TFont::name))
          .SetOf("Style", FontStyleEnum(), Get(&TFont::style), Put(&TFont::style))
          .Build();
  return info;
}

const TClassInfo& TStrings::StaticClassInfo() {
  static const TClassInfo info("TStrings", &TPersistent::StaticClassInfo());
  return info;
}

void TStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings", [this](TReader& reader) { lines = ReadStringList(reader); }, nullptr, true);
}

const TClassInfo& TGraphicData::StaticClassInfo() {
  static const TClassInfo info("TGraphicData", &TPersistent::StaticClassInfo());
  return info;
}

void TGraphicData::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& stream) {
        data.resize(static_cast<size_t>(stream.Size()));
        stream.ReadBuffer(data.data(), stream.Size());
      },
      nullptr, true);
}

// -------------------------------------------------------------- controls

const TClassInfo& TControl::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TControl>("TControl", &TComponent::StaticClassInfo())
          .Integer("Left", Get(&TControl::left), Put(&TControl::left))
          .Integer("Top", Get(&TControl::top), Put(&TControl::top))
          .Integer("Width", Get(&TControl::width), Put(&TControl::width))
          .Integer("Height", Get(&TControl::height), Put(&TControl::height))
          .Enumeration("Align", AlignEnum(), Get(&TControl::align), Put(&TControl::align))
          .Boolean("Visible", Get(&TControl::visible), Put(&TControl::visible))
          .Build();
  return info;
}

TControl::~TControl() {
  for (TControl* control : controls_)
    control->parent_ = nullptr;
  if (parent_ != nullptr)
    std::erase(parent_->controls_, this);
}

void TControl::SetParentComponent(TComponent* parent) {
  auto* control = dynamic_cast<TControl*>(parent);
  if (control == parent_ || control == this)
    return;
  if (parent_ != nullptr)
    std::erase(parent_->controls_, this);
  parent_ = control;
  if (parent_ != nullptr)
    parent_->controls_.push_back(this);
}

const TClassInfo& TBevel::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TBevel>("TBevel");
    b.Enumeration("Shape", BevelShapeEnum(), Get(&TBevel::shape), Put(&TBevel::shape));
    return b.Build();
  }();
  return info;
}

const TClassInfo& TPanel::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TPanel>("TPanel");
    Color(b);
    TabOrder(b);
    b.Enumeration("BevelOuter", PanelBevelEnum(), Get(&TPanel::bevelOuter),
                  Put(&TPanel::bevelOuter));
    return b.Build();
  }();
  return info;
}

const TClassInfo& TButton::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TButton>("TButton");
    Caption(b);
    TabOrder(b);
    OnClick(b);
    return b.Build();
  }();
  return info;
}

const TClassInfo& TNotebook::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TNotebook>("TNotebook");
    Color(b);
    Font(b);
    TabOrder(b);
    b.EventField("OnPageChanged", &TNotebook::onPageChanged);
    return b.Build();
  }();
  return info;
}

const TClassInfo& TPage::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TPage>("TPage");
    Caption(b);
    return b.Build();
  }();
  return info;
}

const TClassInfo& TImage::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TImage>("TImage");
    b.Object("Picture", TGraphicData::StaticClassInfo(),
             [](TImage& c) -> TObject* { return &c.picture; });
    return b.Build();
  }();
  return info;
}

const TClassInfo& TLabel::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TLabel>("TLabel");
    Caption(b);
    Font(b);
    b.Boolean("Transparent", Get(&TLabel::transparent), Put(&TLabel::transparent));
    return b.Build();
  }();
  return info;
}

const TClassInfo& TMemo::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TMemo>("TMemo");
    Color(b);
    TabOrder(b);
    b.Object("Lines", TStrings::StaticClassInfo(), [](TMemo& c) -> TObject* { return &c.lines; });
    b.Enumeration("ScrollBars", ScrollStyleEnum(), Get(&TMemo::scrollBars),
                  Put(&TMemo::scrollBars));
    return b.Build();
  }();
  return info;
}

const TClassInfo& TCheckBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TCheckBox>("TCheckBox");
    Caption(b);
    TabOrder(b);
    OnClick(b);
    return b.Build();
  }();
  return info;
}

const TClassInfo& TGroupBox::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TGroupBox>("TGroupBox");
    Caption(b);
    TabOrder(b);
    return b.Build();
  }();
  return info;
}

const TClassInfo& TEdit::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TEdit>("TEdit");
    TabOrder(b);
    b.String("Text", Get(&TEdit::text), Put(&TEdit::text));
    return b.Build();
  }();
  return info;
}

const TClassInfo& TProgressBar::StaticClassInfo() {
  static const TClassInfo info = [] {
    auto b = Control<TProgressBar>("TProgressBar");
    TabOrder(b);
    b.Integer("Min", Get(&TProgressBar::min), Put(&TProgressBar::min));
    b.Integer("Max", Get(&TProgressBar::max), Put(&TProgressBar::max));
    return b.Build();
  }();
  return info;
}

// ---------------------------------------------------------------- window

const TClassInfo& TfrmDialog::StaticClassInfo() {
  using Self = TfrmDialog;
  static const TClassInfo info = [] {
    ClassInfoBuilder<Self> b("TfrmDialog", &TControl::StaticClassInfo());
    Caption(b);
    Color(b);
    Font(b);
    b.SetOf("BorderIcons", BorderIconEnum(), Get(&Self::borderIcons), Put(&Self::borderIcons))
        .Enumeration("BorderStyle", BorderStyleEnum(), Get(&Self::borderStyle),
                     Put(&Self::borderStyle))
        .Integer("ClientHeight", Get(&Self::clientHeight), Put(&Self::clientHeight))
        .Integer("ClientWidth", Get(&Self::clientWidth), Put(&Self::clientWidth))
        .Object("Icon", TGraphicData::StaticClassInfo(),
                [](Self& w) -> TObject* { return &w.icon; })
        .Boolean("OldCreateOrder", Get(&Self::oldCreateOrder), Put(&Self::oldCreateOrder))
        .Enumeration("Position", PositionEnum(), Get(&Self::position), Put(&Self::position))
        .Integer("PixelsPerInch", Get(&Self::pixelsPerInch), Put(&Self::pixelsPerInch))
        .Integer("TextHeight", Get(&Self::textHeight), Put(&Self::textHeight))
        .EventField("OnClose", &Self::onClose)
        .EventField("OnCreate", &Self::onCreate)
        .Field("Bevel1", &Self::Bevel1)
        .Field("Panel1", &Self::Panel1)
        .Field("btnBack", &Self::btnBack)
        .Field("btnNext", &Self::btnNext)
        .Field("btnExit", &Self::btnExit)
        .Field("Notebook", &Self::Notebook)
        .Field("Memo1", &Self::Memo1)
        .Field("cbAgree", &Self::cbAgree)
        .Field("Memo2", &Self::Memo2)
        .Field("GroupBox1", &Self::GroupBox1)
        .Field("editDir", &Self::editDir)
        .Field("btnBrowse", &Self::btnBrowse)
        .Field("lblFileName", &Self::lblFileName)
        .Field("pbar", &Self::pbar)
        .Field("qvdaemon", &Self::qvdaemon)
        .Field("qvmanager", &Self::qvmanager)
        .Field("qvscanner", &Self::qvscanner)
        .Field("licence", &Self::licence)
        .Field("readme", &Self::readme)
        .Field("register2", &Self::register2)
        .Field("uninstall", &Self::uninstall)
        .Field("qvmonitor", &Self::qvmonitor)
        .Field("helpfile", &Self::helpfile)
        .Method("FormCreate", &Self::FormCreate)
        .Method("FormClose", &Self::FormClose)
        .Method("btnNextClick", &Self::btnNextClick)
        .Method("btnBackClick", &Self::btnBackClick)
        .Method("btnExitClick", &Self::btnExitClick)
        .Method("cbAgreeClick", &Self::cbAgreeClick)
        .Method("btnBrowseClick", &Self::btnBrowseClick)
        .Method("NotebookPageChanged", &Self::NotebookPageChanged);
    return b.Build();
  }();
  return info;
}

std::array<TCompressedBinaryData*, 9> TfrmDialog::Payloads() const {
  return {qvdaemon,  qvmanager, qvscanner, licence, readme,
          register2, uninstall, qvmonitor, helpfile};
}

void RegisterMirrorClasses() {
  RegisterDataComponents();
  for (const TClassInfo* info :
       {&TBevel::StaticClassInfo(), &TPanel::StaticClassInfo(), &TButton::StaticClassInfo(),
        &TNotebook::StaticClassInfo(), &TPage::StaticClassInfo(), &TImage::StaticClassInfo(),
        &TLabel::StaticClassInfo(), &TMemo::StaticClassInfo(), &TCheckBox::StaticClassInfo(),
        &TGroupBox::StaticClassInfo(), &TEdit::StaticClassInfo(),
        &TProgressBar::StaticClassInfo()}) {
    RegisterComponentClass(*info);
  }
  // System colours carry the high byte 0xFF and the system colour index.
  RegisterIntegerConsts("TColor", {{0x000000, "clBlack"},
                                   {0xFFFFFF, "clWhite"},
                                   {0xFF000005, "clWindow"},
                                   {0xFF000008, "clWindowText"},
                                   {0xFF00000F, "clBtnFace"}});
  RegisterIntegerConsts("TFontCharset",
                        {{0, "ANSI_CHARSET"}, {1, "DEFAULT_CHARSET"}, {204, "RUSSIAN_CHARSET"}});
}

std::unique_ptr<TfrmDialog> ReadWizardWindow(const std::vector<uint8_t>& stream) {
  // The wizard is the only window here: no other names to keep apart.
  static const TComponentListNameSpace noOtherWindows;
  auto window = std::make_unique<TfrmDialog>(nullptr);
  InitInheritedComponent(
      *window,
      [&stream](const std::string& className) -> std::unique_ptr<TStream> {
        if (className != TfrmDialog::StaticClassInfo().Name)
          return nullptr;
        return std::make_unique<TReadOnlyMemoryStream>(stream.data(), stream.size());
      },
      noOtherWindows);
  return window;
}

std::vector<std::string> CheckWizardWindow(const TfrmDialog& window) {
  std::vector<std::string> faults;
  if (window.Name() != "frmDialog")
    faults.push_back(Format("the window is named \"%s\"", window.Name()));
  // The notebook's six pages stand in the middle of the stream, the
  // payloads at its end: both present means the whole tree was read.
  if (window.Notebook == nullptr) {
    faults.push_back("the notebook is missing");
  } else if (window.Notebook->ComponentCount() != 6) {
    faults.push_back(Format("the notebook has %d pages", window.Notebook->ComponentCount()));
  }
  const auto payloads = window.Payloads();
  for (size_t i = 0; i < payloads.size(); ++i) {
    TCompressedBinaryData* payload = payloads[i];
    if (payload == nullptr) {
      faults.push_back(Format("payload %s is missing", kPayloadNames[i]));
    } else if (!payload->Compressed()) {
      faults.push_back(Format("payload %s is not compressed", kPayloadNames[i]));
    } else if (payload->GetDataSize() <= 0) {
      faults.push_back(Format("payload %s holds no data", kPayloadNames[i]));
    }
  }
  return faults;
}

}  // namespace qv::bench
