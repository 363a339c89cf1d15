#include "formstream/FormWriter.h"

#include <cstring>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "core/Stream.h"

namespace qv {

TFormWriter::TFormWriter(TStream& stream) : stream_(stream) {}

void TFormWriter::WriteBytes(const void* data, size_t size) {
  stream_.WriteBuffer(data, static_cast<int64_t>(size));
}

void TFormWriter::WriteLittleEndian(uint64_t value, size_t size) {
  uint8_t bytes[8];
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  WriteBytes(bytes, size);
}

void TFormWriter::WriteUInt32(uint32_t value) {
  WriteLittleEndian(value, 4);
}

void TFormWriter::WriteValue(TValueType tag) {
  const auto byte = static_cast<uint8_t>(tag);
  WriteBytes(&byte, 1);
}

void TFormWriter::WriteStr(const std::string& text) {
  if (text.size() > kShortStringMax) {
    throw EWriteError("Name longer than 255 bytes: " + text.substr(0, 32) + "...");
  }
  const auto length = static_cast<uint8_t>(text.size());
  WriteBytes(&length, 1);
  WriteBytes(text.data(), text.size());
}

void TFormWriter::WriteSignature() {
  WriteUInt32(kFilerSignature);
}

void TFormWriter::WriteObjectHeader(const std::string& className, const std::string& name,
                                    uint8_t flags, int32_t childPos) {
  if (flags != 0) {
    const auto prefix = static_cast<uint8_t>(kPrefixMark | (flags & 0x0F));
    WriteBytes(&prefix, 1);
    if ((flags & kFilerChildPos) != 0)
      WriteInteger(childPos);
  }
  WriteStr(className);
  WriteStr(name);
}

void TFormWriter::WritePropName(const std::string& path) {
  WriteStr(path);
}

void TFormWriter::WriteInteger(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    WriteValue(TValueType::vaInt8);
    WriteLittleEndian(static_cast<uint64_t>(value), 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    WriteValue(TValueType::vaInt16);
    WriteLittleEndian(static_cast<uint64_t>(value), 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteValue(TValueType::vaInt32);
    WriteLittleEndian(static_cast<uint64_t>(value), 4);
  } else {
    WriteInt64(value);
  }
}

void TFormWriter::WriteInt64(int64_t value) {
  WriteValue(TValueType::vaInt64);
  WriteLittleEndian(static_cast<uint64_t>(value), 8);
}

void TFormWriter::WriteFloat(long double value) {
  uint8_t bytes[kExtendedSize];
  LongDoubleToExtended(value, bytes);
  WriteValue(TValueType::vaExtended);
  WriteBytes(bytes, kExtendedSize);
}

void TFormWriter::WriteSingle(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  WriteValue(TValueType::vaSingle);
  WriteLittleEndian(bits, 4);
}

void TFormWriter::WriteCurrency(int64_t value) {
  WriteValue(TValueType::vaCurrency);
  WriteLittleEndian(static_cast<uint64_t>(value), 8);
}

void TFormWriter::WriteDate(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  WriteValue(TValueType::vaDate);
  WriteLittleEndian(bits, 8);
}

void TFormWriter::WriteString(const std::string& value) {
  if (value.size() > kShortStringMax)
    return WriteLongString(value);
  WriteValue(TValueType::vaString);
  WriteStr(value);
}

void TFormWriter::WriteLongString(const std::string& value) {
  WriteValue(TValueType::vaLString);
  WriteUInt32(static_cast<uint32_t>(value.size()));
  WriteBytes(value.data(), value.size());
}

void TFormWriter::WriteWideString(const std::u16string& value) {
  WriteValue(TValueType::vaWString);
  WriteUInt32(static_cast<uint32_t>(value.size()));
  for (char16_t unit : value)
    WriteLittleEndian(unit, 2);
}

void TFormWriter::WriteUtf8String(const std::string& utf8) {
  WriteValue(TValueType::vaUTF8String);
  WriteUInt32(static_cast<uint32_t>(utf8.size()));
  WriteBytes(utf8.data(), utf8.size());
}

void TFormWriter::WriteIdent(const std::string& value) {
  if (SameText(value, "False"))
    return WriteValue(TValueType::vaFalse);
  if (SameText(value, "True"))
    return WriteValue(TValueType::vaTrue);
  if (SameText(value, "nil"))
    return WriteValue(TValueType::vaNil);
  WriteValue(TValueType::vaIdent);
  WriteStr(value);
}

void TFormWriter::WriteBoolean(bool value) {
  WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TFormWriter::WriteNil() {
  WriteValue(TValueType::vaNil);
}

void TFormWriter::WriteSet(const std::vector<std::string>& elements) {
  WriteValue(TValueType::vaSet);
  for (const std::string& element : elements) {
    if (element.empty())
      throw EWriteError("Empty set element name");
    WriteStr(element);
  }
  WriteStr("");
}

void TFormWriter::WriteBinary(const void* data, uint32_t size) {
  WriteValue(TValueType::vaBinary);
  WriteUInt32(size);
  WriteBytes(data, size);
}

void TFormWriter::WriteListBegin() {
  WriteValue(TValueType::vaList);
}

void TFormWriter::WriteListEnd() {
  WriteValue(TValueType::vaNull);
}

void TFormWriter::WriteCollectionBegin() {
  WriteValue(TValueType::vaCollection);
}

void TFormWriter::WriteCollectionItem(std::optional<int32_t> order) {
  if (order)
    WriteInteger(*order);
  WriteListBegin();
}

}  // namespace qv
