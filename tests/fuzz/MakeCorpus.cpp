// Writes the fuzzer's seed streams (tests/fuzz/corpus) with the form writer:
// valid windows for the scratch classes that exercise every tag, and a few
// that fail in known ways. Usage: fuzz_make_corpus <directory>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "FuzzScratch.h"
#include "core/Stream.h"
#include "formstream/FormWriter.h"

namespace {

using namespace qv;

void Save(const std::string& directory, const std::string& name,
          const std::function<void(TFormWriter&)>& body) {
  TMemoryStream stream;
  TFormWriter w(stream);
  w.WriteSignature();
  body(w);
  const std::string path = directory + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    return;
  }
  std::fwrite(stream.Memory(), 1, static_cast<size_t>(stream.Size()), file);
  std::fclose(file);
}

void Prop(TFormWriter& w, const char* path, const std::function<void()>& value) {
  w.WritePropName(path);
  value();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];

  Save(dir, "window-every-kind", [](TFormWriter& w) {
    w.WriteObjectHeader(fuzz::kWindowClass, "frmDialog");
    Prop(w, "Left", [&] { w.WriteInteger(431); });
    Prop(w, "Color", [&] { w.WriteIdent("clBtnFace"); });
    Prop(w, "Align", [&] { w.WriteIdent("alClient"); });
    Prop(w, "Visible", [&] { w.WriteBoolean(true); });
    Prop(w, "Letter", [&] { w.WriteString("&"); });
    Prop(w, "Big", [&] { w.WriteInt64(int64_t{1} << 40); });
    Prop(w, "Caption", [&] { w.WriteString("Installing Quolvex Antivirus 5.0"); });
    Prop(w, "Hint", [&] { w.WriteWideString(u"\u0416"); });
    Prop(w, "Rate", [&] { w.WriteFloat(47.647934L); });
    Prop(w, "Ratio", [&] { w.WriteInteger(-3); });
    Prop(w, "Price", [&] { w.WriteFloat(1.23456L); });
    Prop(w, "Whole", [&] { w.WriteFloat(1e30L); });
    Prop(w, "Font.Height", [&] { w.WriteInteger(-11); });
    Prop(w, "Font.Name", [&] { w.WriteString("MS Sans Serif"); });
    Prop(w, "Font.Style", [&] { w.WriteSet({"fsBold"}); });
    Prop(w, "Lines.Strings", [&] {
      w.WriteListBegin();
      w.WriteString("LICENSE AGREEMENT");
      w.WriteWideString(u"");
      w.WriteUtf8String("\xC3\xA9");
      w.WriteLongString("long line");
      w.WriteListEnd();
    });
    Prop(w, "Items", [&] {
      w.WriteCollectionBegin();
      w.WriteCollectionItem(0);
      Prop(w, "Caption", [&] { w.WriteString("one"); });
      w.WriteListEnd();
      w.WriteCollectionItem();
      Prop(w, "Width", [&] { w.WriteInteger(80); });
      w.WriteListEnd();
      w.WriteListEnd();
    });
    Prop(w, "Peer", [&] { w.WriteIdent("btnNext"); });
    Prop(w, "OnClick", [&] { w.WriteIdent("btnNextClick"); });
    Prop(w, "Extra", [&] { w.WriteString("defined"); });
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "btnNext");
    Prop(w, "OnClick", [&] { w.WriteIdent("btnNextClick"); });
    Prop(w, "Peer", [&] { w.WriteIdent("frmOther.btnNext"); });
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kBookClass, "Notebook");
    Prop(w, "Left", [&] { w.WriteInteger(2); });
    w.WriteListEnd();
    for (int page = 0; page < 3; ++page) {
      w.WriteObjectHeader(fuzz::kControlClass, "");
      w.WriteListEnd();
      w.WriteObjectHeader(fuzz::kControlClass, "lbl" + std::to_string(page));
      Prop(w, "Caption", [&] { w.WriteString("page"); });
      w.WriteListEnd();
      w.WriteListEnd();
      w.WriteListEnd();
    }
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "qvdaemon");
    Prop(w, "Top", [&] { w.WriteInteger(300); });
    Prop(w, "TheData", [&] {
      const unsigned char block[] = {4, 0, 0, 0, 0x78, 0xDA, 0x03, 0x00};
      w.WriteBinary(block, sizeof block);
    });
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
  });

  Save(dir, "inherited-and-positions", [](TFormWriter& w) {
    w.WriteObjectHeader(fuzz::kWindowClass, "frmOther");
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "btnNext", kFilerChildPos, 1);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "btnNext", kFilerInherited | kFilerInline);
    Prop(w, "Caption", [&] { w.WriteString("again"); });
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
  });

  Save(dir, "every-value-tag", [](TFormWriter& w) {
    w.WriteObjectHeader(fuzz::kWindowClass, "frm");
    Prop(w, "Mystery", [&] {
      w.WriteListBegin();
      w.WriteInteger(1);
      w.WriteInteger(1000);
      w.WriteInteger(100000);
      w.WriteFloat(2.5L);
      w.WriteString("s");
      w.WriteIdent("ident");
      w.WriteBoolean(false);
      w.WriteBoolean(true);
      const char bytes[] = "bin";
      w.WriteBinary(bytes, 3);
      w.WriteSet({"a", "b"});
      w.WriteLongString("lstring");
      w.WriteNil();
      w.WriteCollectionBegin();
      w.WriteListEnd();
      w.WriteSingle(1.5f);
      w.WriteCurrency(10000);
      w.WriteDate(36526.0);
      w.WriteWideString(u"w");
      w.WriteInt64(-1);
      w.WriteUtf8String("u");
      w.WriteListEnd();
    });
    w.WriteListEnd();
    w.WriteListEnd();
  });

  Save(dir, "failures", [](TFormWriter& w) {
    w.WriteObjectHeader(fuzz::kWindowClass, "frm");
    Prop(w, "Nope", [&] { w.WriteInteger(1); });
    Prop(w, "Caption.Height", [&] { w.WriteInteger(1); });
    Prop(w, "Count", [&] { w.WriteInteger(1); });
    Prop(w, "OnClick", [&] { w.WriteIdent("FormClose"); });
    Prop(w, "Font.Style", [&] { w.WriteSet({"fsBold", "fsShadow"}); });
    w.WriteListEnd();
    w.WriteObjectHeader("TNoSuchThing", "x");
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteObjectHeader("TFuzzFont", "y");
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "bad name");
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteObjectHeader(fuzz::kControlClass, "qvdaemon");
    Prop(w, "TheData", [&] { w.WriteString("not binary"); });
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
  });
  return 0;
}
