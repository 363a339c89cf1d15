#pragma once
// Writing a form stream (layout in FormFormat.h), for the form compiler and
// the tests: the signature, object record headers and terminators, and a
// tagged value of every kind the reader accepts. Integers take the smallest
// of tags 2, 3, 4 that holds them (19 beyond 32 bits). Values go straight to
// the stream; its write errors (EWriteError "Stream write error") propagate.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Filer.h"
#include "formstream/FormFormat.h"

namespace qv {

class TStream;

class TFormWriter : public TWriter {
 public:
  explicit TFormWriter(TStream& stream);

  void WriteSignature();
  // An object record's header: the prefix (only when flags is not 0; the
  // position only with kFilerChildPos), the class name and the name. Its
  // properties follow, then WriteListEnd, its children, WriteListEnd.
  void WriteObjectHeader(const std::string& className, const std::string& name, uint8_t flags = 0,
                         int32_t childPos = 0);
  // The path of a property entry; its value follows.
  void WritePropName(const std::string& path);

  // Tags 2, 3, 4 or 19.
  void WriteInteger(int64_t value) override;
  void WriteInt64(int64_t value);  // always tag 19
  // Tag 5, in the x87 encoding.
  void WriteFloat(long double value) override;
  void WriteSingle(float value);      // tag 15
  void WriteCurrency(int64_t value);  // tag 16: the amount times 10,000
  void WriteDate(double value);       // tag 17
  // Tag 6 up to 255 bytes, 12 beyond.
  void WriteString(const std::string& value) override;
  void WriteLongString(const std::string& value);              // always tag 12
  void WriteWideString(const std::u16string& value) override;  // tag 18
  void WriteUtf8String(const std::string& utf8);               // tag 20
  // Tag 7; the words "False", "True" and "nil" take their own tags 8, 9
  // and 13, as the reader gives them back.
  void WriteIdent(const std::string& value) override;
  void WriteBoolean(bool value) override;                   // tags 8, 9
  void WriteNil();                                          // tag 13
  void WriteSet(const std::vector<std::string>& elements);  // tag 11
  void WriteBinary(const void* data, uint32_t size);        // tag 10
  void WriteListBegin() override;                           // tag 1
  // Tag 0: the end of a list, collection, item, properties or children.
  void WriteListEnd() override;
  void WriteCollectionBegin();  // tag 14; items follow, then WriteListEnd
  // An item: its optional order, then tag 1; its property entries follow,
  // then WriteListEnd.
  void WriteCollectionItem(std::optional<int32_t> order = std::nullopt);

  // Raw pieces, for tools that need a tag the helpers above do not choose.
  void WriteValue(TValueType tag);
  void WriteStr(const std::string& text);  // a short string; longer fails
  void WriteBytes(const void* data, size_t size);

 private:
  void WriteUInt32(uint32_t value);
  void WriteLittleEndian(uint64_t value, size_t size);

  TStream& stream_;
};

}  // namespace qv
