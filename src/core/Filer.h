#pragma once
// The filer interfaces objects see while a form stream is read or written:
// the define-properties step (properties an object stores itself) and the
// value-level operations its read and write routines call. The form stream
// layer implements them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class TStream;

// One tagged value at a time, as the stream format defines them.
class TReader {
 public:
  virtual ~TReader();
  virtual int32_t ReadInteger() = 0;
  virtual int64_t ReadInt64() = 0;
  virtual long double ReadFloat() = 0;
  virtual std::string ReadString() = 0;
  virtual std::u16string ReadWideString() = 0;
  virtual std::string ReadIdent() = 0;
  virtual bool ReadBoolean() = 0;
  virtual void ReadListBegin() = 0;
  virtual void ReadListEnd() = 0;
  virtual bool EndOfList() = 0;
  virtual void SkipValue() = 0;
};

// A list of strings, as line lists store their lines.
std::vector<std::string> ReadStringList(TReader& reader);

class TWriter {
 public:
  virtual ~TWriter();
  virtual void WriteInteger(int64_t value) = 0;
  virtual void WriteFloat(long double value) = 0;
  virtual void WriteString(const std::string& value) = 0;
  virtual void WriteWideString(const std::u16string& value) = 0;
  virtual void WriteIdent(const std::string& value) = 0;
  virtual void WriteBoolean(bool value) = 0;
  virtual void WriteListBegin() = 0;
  virtual void WriteListEnd() = 0;
};

// The define-properties step: a reader offers the pending property name, a
// writer asks for every defined property that has data.
class TFiler {
 public:
  virtual ~TFiler();
  virtual void DefineProperty(const std::string& name, const std::function<void(TReader&)>& read,
                              const std::function<void(TWriter&)>& write, bool hasData) = 0;
  // A binary property's routines get an in-memory stream holding exactly
  // the Binary payload.
  virtual void DefineBinaryProperty(const std::string& name,
                                    const std::function<void(TStream&)>& read,
                                    const std::function<void(TStream&)>& write, bool hasData) = 0;
};

}  // namespace qv
