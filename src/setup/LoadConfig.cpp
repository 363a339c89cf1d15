// The image's load configuration. Setup.exe is mostly started from a
// downloads folder, where anyone may have left a DLL named like a system
// one. Setup's first line restricts the search for DLLs loaded at run time,
// but the loader resolves the DLLs the image imports before that line runs;
// DependentLoadFlags has it look for those in System32 only. Everything else
// stays zero; in particular an empty SafeSEH table leaves exception handlers
// unrestricted and no security cookie is asked for.
//
// The linker keeps the structure under its conventional name but does not
// point data directory 10 at it; cmake/LoadConfig.cmake does that after the
// link. MinGW's headers predate DependentLoadFlags and call the field
// Reserved1.
#include <windows.h>

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY LoadConfiguration() {
  IMAGE_LOAD_CONFIG_DIRECTORY config{};
  config.Size = sizeof config;
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;  // DependentLoadFlags
  return config;
}

}  // namespace

// constinit: the loader reads the structure before any code of ours runs, so
// it must be in the file as it is, never filled in at start-up.
extern "C" __attribute__((used)) constinit const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used =
    LoadConfiguration();
