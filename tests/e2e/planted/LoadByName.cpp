// Loads the DLL named on its command line by name, with the ordinary search
// (its own folder first): the control case for the planted DLL. Exit code 0
// when something was loaded.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  return ::LoadLibraryA(commandLine) != nullptr ? 0 : 1;
}
