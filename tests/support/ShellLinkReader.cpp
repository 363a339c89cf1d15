#include "ShellLinkReader.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdexcept>

#include "core/ScopeExit.h"
// Header only: As() would raise a product exception and need the product's
// libraries, which the end-to-end driver does not link.
#include "win32/ComSupport.h"

namespace qv::test {

ShellLink ReadShellLink(const std::filesystem::path& file) {
  // Callers differ: a shell test's thread has the application's apartment,
  // the end-to-end driver's may have none. Made first, so that the
  // interfaces below are released before the apartment ends.
  const bool initialized = SUCCEEDED(::CoInitialize(nullptr));
  const ScopeExit uninitialize([initialized] {
    if (initialized)
      ::CoUninitialize();
  });
  ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.put()))))
    throw std::runtime_error("no shell link object");
  ComPtr<IPersistFile> persist;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))))
    throw std::runtime_error("no IPersistFile");
  if (FAILED(persist->Load(file.wstring().c_str(), STGM_READ))) {
    const std::u8string name = file.u8string();
    throw std::runtime_error("cannot load \"" + std::string(name.begin(), name.end()) + "\"");
  }
  ShellLink result;
  char text[MAX_PATH * 2] = {};
  link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
  result.target = text;
  text[0] = '\0';
  link->GetArguments(text, sizeof text);
  result.arguments = text;
  text[0] = '\0';
  link->GetDescription(text, sizeof text);
  result.description = text;
  text[0] = '\0';
  link->GetWorkingDirectory(text, sizeof text);
  result.workingDirectory = text;
  return result;
}

}  // namespace qv::test
