#include "shell/FormResources.h"

#include <windows.h>

#include <memory>
#include <string>

#include "core/Stream.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/ComponentReader.h"
#include "formstream/FileLayer.h"
#include "formstream/TextEncoding.h"
#include "shell/FormsHost.h"
#include "controls/ExtCtrls.h"
#include "controls/StdCtrls.h"
#include "controls/Timer.h"
#include "win32/FileSystem.h"
#include "win32/WindowsFileLayer.h"

namespace qv {

namespace {

// The application's windows are the global components: a second window of
// a stored name is renamed "%s_%d".
class ApplicationNameSpace : public TGlobalNameSpace {
 public:
  TComponent* FindGlobalComponent(const std::string& name,
                                  const TComponent* except) const override {
    TFormsHost* host = FormsHost();
    if (host == nullptr)
      return nullptr;
    const TComponent& windows = host->WindowOwner();
    for (int i = 0; i < windows.ComponentCount(); ++i) {
      TComponent* c = windows.Components(i);
      if (c != except && SameText(c->Name(), name))
        return c;
    }
    return nullptr;
  }
};

std::unique_ptr<TStream> FindFormStream(const std::string& className) {
  std::string name = className;
  for (char& c : name)
    c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  HMODULE module = ::GetModuleHandleA(nullptr);
  HRSRC resource = ::FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));
  if (resource == nullptr)
    return nullptr;
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr)
    return nullptr;
  // Read in place from the mapped module image.
  return std::make_unique<TReadOnlyMemoryStream>(bytes, ::SizeofResource(module, resource), true);
}

std::string SystemWideToAnsi(std::u16string_view text) {
  if (text.empty())
    return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(std::max(size, 0)), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, length, result.data(), size, nullptr, nullptr);
  return result;
}

std::u16string SystemAnsiToWide(std::string_view text) {
  if (text.empty())
    return {};
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::u16string result(static_cast<size_t>(std::max(size, 0)), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(result.data()),
                        size);
  return result;
}

}  // namespace

void ReadFormResource(TComponent& window) {
  static const ApplicationNameSpace names;
  InitInheritedComponent(window, &FindFormStream, names);
}

void RegisterFrameworkClasses() {
  static bool done = false;
  if (done)
    return;
  done = true;
  RegisterGraphicsIdents();
  for (const TClassInfo* info :
       {&TButton::StaticClassInfo(), &TLabel::StaticClassInfo(), &TEdit::StaticClassInfo(),
        &TCheckBox::StaticClassInfo(), &TGroupBox::StaticClassInfo(), &TMemo::StaticClassInfo(),
        &TPanel::StaticClassInfo(), &TBevel::StaticClassInfo(), &TImage::StaticClassInfo(),
        &TNotebook::StaticClassInfo(), &TPage::StaticClassInfo(), &TProgressBar::StaticClassInfo(),
        &TTimer::StaticClassInfo()}) {
    RegisterComponentClass(*info);
  }
  RegisterDataComponents();
  SetAnsiConversion(&SystemWideToAnsi, &SystemAnsiToWide);
  UseAnsiCodePageForPaths();
  SetDefaultFileLayer(&WindowsFileLayer());
}

}  // namespace qv
