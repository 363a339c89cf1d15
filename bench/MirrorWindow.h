#pragma once
// Native stand-ins for the wizard window and its controls. The real window
// classes need Windows; these carry the same class names and the published
// properties, sub-objects, events and component fields the wizard's form
// stream stores, and keep every value as plain data (no window is ever
// made), so that the benchmarks read the real stream through the real
// component reader. The nine payloads are the real TCompressedBinaryData.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Component.h"
#include "formstream/CompressedBinaryData.h"

namespace qv::bench {

using TNotifyEvent = std::function<void(TObject* sender)>;
enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

class TFont : public TPersistent {
  QV_TYPE_INFO
 public:
  int32_t charset = 1;
  int32_t color = 0;
  int32_t height = 0;
  std::string name;
  uint32_t style = 0;  // bit mask over the style ordinals
};

// A memo's lines, stored as the defined property "Strings".
class TStrings : public TPersistent {
  QV_TYPE_INFO
 public:
  std::vector<std::string> lines;
  void DefineProperties(TFiler& filer) override;
};

// An icon or a picture: the bytes of its binary defined property "Data",
// kept undecoded.
class TGraphicData : public TPersistent {
  QV_TYPE_INFO
 public:
  std::vector<uint8_t> data;
  void DefineProperties(TFiler& filer) override;
};

// What every control of the stream has. The parent link is not ownership:
// the owner destroys, the parent only lists its controls.
class TControl : public TComponent {
  QV_TYPE_INFO
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override;

  void SetParentComponent(TComponent* parent) override;
  TControl* Parent() const noexcept { return parent_; }
  const std::vector<TControl*>& Controls() const noexcept { return controls_; }

  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t align = 0;  // ordinals of the stream's enumerations
  bool visible = true;
  int32_t color = 0;
  std::string caption;
  int32_t tabOrder = 0;
  bool parentFont = true;
  TFont font;
  TNotifyEvent onClick;

 private:
  TControl* parent_ = nullptr;
  std::vector<TControl*> controls_;
};

class TBevel : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  int32_t shape = 0;
};

class TPanel : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  int32_t bevelOuter = 0;
};

class TButton : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
};

// Owns its pages, as the real page container does; the pages' own controls
// belong to the window.
class TNotebook : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  TComponent* ChildOwnerForReading() override { return this; }
  TNotifyEvent onPageChanged;
};

class TPage : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
};

class TImage : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  TGraphicData picture;
};

class TLabel : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  bool transparent = false;
};

class TMemo : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  TStrings lines;
  int32_t scrollBars = 0;
};

class TCheckBox : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
};

class TGroupBox : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
};

class TEdit : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  std::string text;
};

class TProgressBar : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;
  int32_t min = 0;
  int32_t max = 100;
};

// The payload components, in the order the stream stores them.
inline constexpr std::array<const char*, 9> kPayloadNames = {"qvdaemon",  "qvmanager", "qvscanner",
                                                             "licence",   "readme",    "register2",
                                                             "uninstall", "qvmonitor", "helpfile"};

// The wizard window's root: its published fields are bound by the reader,
// its handlers are bound by name and do nothing.
class TfrmDialog : public TControl {
  QV_TYPE_INFO
 public:
  using TControl::TControl;

  uint32_t borderIcons = 0;
  int32_t borderStyle = 0;
  int32_t clientHeight = 0;
  int32_t clientWidth = 0;
  TGraphicData icon;
  bool oldCreateOrder = true;
  int32_t position = 0;
  int32_t pixelsPerInch = 0;
  int32_t textHeight = 0;
  TCloseEvent onClose;
  TNotifyEvent onCreate;

  TBevel* Bevel1 = nullptr;
  TPanel* Panel1 = nullptr;
  TButton* btnBack = nullptr;
  TButton* btnNext = nullptr;
  TButton* btnExit = nullptr;
  TNotebook* Notebook = nullptr;
  TMemo* Memo1 = nullptr;
  TCheckBox* cbAgree = nullptr;
  TMemo* Memo2 = nullptr;
  TGroupBox* GroupBox1 = nullptr;
  TEdit* editDir = nullptr;
  TButton* btnBrowse = nullptr;
  TLabel* lblFileName = nullptr;
  TProgressBar* pbar = nullptr;
  TCompressedBinaryData* qvdaemon = nullptr;
  TCompressedBinaryData* qvmanager = nullptr;
  TCompressedBinaryData* qvscanner = nullptr;
  TCompressedBinaryData* licence = nullptr;
  TCompressedBinaryData* readme = nullptr;
  TCompressedBinaryData* register2 = nullptr;
  TCompressedBinaryData* uninstall = nullptr;
  TCompressedBinaryData* qvmonitor = nullptr;
  TCompressedBinaryData* helpfile = nullptr;

  void FormCreate(TObject*) {}
  void FormClose(TObject*, TCloseAction&) {}
  void btnNextClick(TObject*) {}
  void btnBackClick(TObject*) {}
  void btnExitClick(TObject*) {}
  void cbAgreeClick(TObject*) {}
  void btnBrowseClick(TObject*) {}
  void NotebookPageChanged(TObject*) {}

  // The payload fields in kPayloadNames order (null where the stream had
  // no such component).
  std::array<TCompressedBinaryData*, 9> Payloads() const;
};

// Registers the stand-in classes, the data components and the identifier
// tables the stream's values use; once, before the first read.
void RegisterMirrorClasses();

// What a window's construction does: a new window, read from the stream
// (held by the caller, read in place) as the resource of its class.
std::unique_ptr<TfrmDialog> ReadWizardWindow(const std::vector<uint8_t>& stream);

// What a complete read must have produced; one entry per fault found.
std::vector<std::string> CheckWizardWindow(const TfrmDialog& window);

}  // namespace qv::bench
