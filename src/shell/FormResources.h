#pragma once
// Windows built from the form resources of the program module: the RCDATA
// resource named after each class level, read into the window object.
#include "core/Component.h"

namespace qv {

// Reads the window's resources (ancestor levels first). Raises EResNotFound
// "Resource %s not found" when no level has one, and the reader's errors
// for a damaged resource.
void ReadFormResource(TComponent& window);

// What the framework registers once per process: the control classes and
// the identifier tables of the form streams, the data components, the
// system's ANSI conversion and code page for paths, and the Windows file
// layer.
void RegisterFrameworkClasses();

}  // namespace qv
