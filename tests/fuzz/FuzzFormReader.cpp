// libFuzzer target: an arbitrary byte string as a form stream, through the
// value-level reader (skipping and every reading operation) and through the
// component reader into a scratch window, with and without an error handler
// that lets the read go on. Failures must be Exceptions; nothing may crash,
// hang or leak.
#include <cstddef>
#include <cstdint>

#include "FuzzScratch.h"
#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"
#include "formstream/ComponentReader.h"
#include "formstream/FormReader.h"

namespace {

using namespace qv;

void SkipWholeStream(const uint8_t* data, size_t size) {
  TReadOnlyMemoryStream stream(data, size);
  TFormReader reader(stream);
  try {
    reader.ReadSignature();
    reader.SkipComponent(true);
  } catch (const Exception&) {
  }
}

// Every reading operation in turn; a refused tag stays, so the next
// operation meets it.
void ReadEveryWay(const uint8_t* data, size_t size) {
  static const TEnumInfo elements{"TFuzzSet", {"a", "b", "c"}};
  TReadOnlyMemoryStream stream(data, size);
  TFormReader reader(stream);
  for (int i = 0; i < 256; ++i) {
    try {
      switch (i % 17) {
        case 0:
          reader.ReadInteger();
          break;
        case 1:
          reader.ReadInt64();
          break;
        case 2:
          reader.ReadFloat();
          break;
        case 3:
          reader.ReadSingle();
          break;
        case 4:
          reader.ReadCurrency();
          break;
        case 5:
          reader.ReadDate();
          break;
        case 6:
          reader.ReadString();
          break;
        case 7:
          reader.ReadWideString();
          break;
        case 8:
          reader.ReadChar();
          break;
        case 9:
          reader.ReadIdent();
          break;
        case 10:
          reader.ReadSet(elements);
          break;
        case 11:
          reader.ReadListBegin();
          break;
        case 12:
          reader.ReadListEnd();
          break;
        case 13: {
          TMemoryStream block;
          reader.ReadBinary(block);
          break;
        }
        case 14:
          reader.SkipProperty();
          break;
        case 15:
          reader.ReadBoolean();
          break;
        default:
          reader.SkipValue();
          break;
      }
    } catch (const EReadError& e) {
      if (e.Message() == "Stream read error")
        return;
    }
  }
}

void ReadWindow(const uint8_t* data, size_t size, bool goOn) {
  // A window that already exists: stored names collide with it, and
  // "frmOther.x" references resolve into it.
  static fuzz::TFuzzWindow other(nullptr);
  static const bool ready = [] {
    fuzz::RegisterFuzzClasses();
    other.SetName("frmOther");
    return true;
  }();
  (void)ready;
  TComponentListNameSpace names;
  names.Add(other);
  fuzz::TFuzzWindow window(nullptr);
  names.Add(window);
  TReadOnlyMemoryStream stream(data, size);
  try {
    if (goOn) {
      TComponentReader reader(stream, names);
      reader.OnError = [](const Exception&) { return true; };
      reader.ReadRootComponent(window);
    } else {
      ReadComponentResource(window, stream, names);
    }
  } catch (const Exception&) {
  }
  if (window.onClick)
    window.onClick(&window);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SkipWholeStream(data, size);
  ReadEveryWay(data, size);
  ReadWindow(data, size, false);
  ReadWindow(data, size, true);
  return 0;
}
