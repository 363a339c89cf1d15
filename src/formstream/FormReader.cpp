#include "formstream/FormReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfo.h"
#include "formstream/TextEncoding.h"

namespace qv {

namespace {

// What an iterative skip still has open: a list awaits values, a collection
// items, an item property entries; each ends at its own Null tag.
enum SkipFrame : uint8_t { kSkipList, kSkipCollection, kSkipItem };

template <class T>
T LoadLittleEndian(const uint8_t* bytes) {
  uint64_t value = 0;
  for (size_t i = sizeof(T); i > 0; --i)
    value = (value << 8) | bytes[i - 1];
  T result;
  if constexpr (sizeof(T) == sizeof(uint64_t)) {
    std::memcpy(&result, &value, sizeof(T));
  } else {
    const auto narrow = static_cast<std::conditional_t<
        sizeof(T) == 4, uint32_t, std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>>(value);
    std::memcpy(&result, &narrow, sizeof(T));
  }
  return result;
}

bool IsStringTag(TValueType tag) {
  return tag == TValueType::vaString || tag == TValueType::vaLString ||
         tag == TValueType::vaWString || tag == TValueType::vaUTF8String;
}

}  // namespace

TFormReader::TFormReader(TStream& stream) : stream_(stream) {}

TFormReader::~TFormReader() {
  if (end_ > position_) {
    try {
      stream_.Seek(-static_cast<int64_t>(end_ - position_), TSeekOrigin::soCurrent);
    } catch (...) {
      // A stream that cannot seek back simply stays where the buffer left it.
    }
  }
}

void TFormReader::InvalidValue() const {
  throw EReadError("Invalid property value");
}

void TFormReader::Fill() {
  const int64_t got = stream_.Read(buffer_, static_cast<int64_t>(kReadBufferSize));
  if (got <= 0)
    throw EReadError("Stream read error");
  position_ = 0;
  end_ = static_cast<size_t>(got);
}

void TFormReader::CheckAvailable(uint64_t count) {
  const uint64_t buffered = end_ - position_;
  if (count <= buffered)
    return;
  const int64_t rest = stream_.Size() - stream_.Position();
  if (rest < 0 || count - buffered > static_cast<uint64_t>(rest)) {
    throw EReadError("Stream read error");
  }
}

void TFormReader::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    if (position_ == end_)
      Fill();
    const size_t n = std::min(count, end_ - position_);
    std::memcpy(out, buffer_ + position_, n);
    position_ += n;
    out += n;
    count -= n;
  }
}

uint8_t TFormReader::ReadByte() {
  if (position_ == end_)
    Fill();
  return buffer_[position_++];
}

void TFormReader::SkipBytes(uint64_t count) {
  CheckAvailable(count);
  uint8_t scratch[kSkipScratchSize];
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kSkipScratchSize));
    Read(scratch, n);
    count -= n;
  }
}

uint32_t TFormReader::ReadUInt32() {
  uint8_t bytes[4];
  Read(bytes, 4);
  return LoadLittleEndian<uint32_t>(bytes);
}

void TFormReader::ReadSignature() {
  uint8_t bytes[4];
  try {
    Read(bytes, 4);
  } catch (const EReadError&) {
    throw EReadError("Invalid stream format");
  }
  if (LoadLittleEndian<uint32_t>(bytes) != kFilerSignature) {
    throw EReadError("Invalid stream format");
  }
}

void TFormReader::ReadPrefix(uint8_t& flags, int32_t& childPos) {
  flags = 0;
  childPos = 0;
  const auto next = static_cast<uint8_t>(NextValue());
  if ((next & 0xF0) != kPrefixMark)
    return;
  ++position_;
  flags = next & 0x0F;
  if ((flags & kFilerChildPos) != 0)
    childPos = ReadInteger();
}

TValueType TFormReader::ReadValue() {
  return static_cast<TValueType>(ReadByte());
}

TValueType TFormReader::NextValue() {
  if (position_ == end_)
    Fill();
  return static_cast<TValueType>(buffer_[position_]);
}

std::string TFormReader::ReadStr() {
  const uint8_t length = ReadByte();
  std::string text(length, '\0');
  Read(text.data(), length);
  return text;
}

bool TFormReader::IsIntegerTag(TValueType tag) const noexcept {
  return tag == TValueType::vaInt8 || tag == TValueType::vaInt16 || tag == TValueType::vaInt32;
}

int64_t TFormReader::ReadIntegerPayload(TValueType tag) {
  uint8_t bytes[8];
  switch (tag) {
    case TValueType::vaInt8:
      Read(bytes, 1);
      return LoadLittleEndian<int8_t>(bytes);
    case TValueType::vaInt16:
      Read(bytes, 2);
      return LoadLittleEndian<int16_t>(bytes);
    case TValueType::vaInt32:
      Read(bytes, 4);
      return LoadLittleEndian<int32_t>(bytes);
    default:
      Read(bytes, 8);
      return LoadLittleEndian<int64_t>(bytes);
  }
}

int32_t TFormReader::ReadInteger() {
  const TValueType tag = NextValue();
  if (!IsIntegerTag(tag))
    InvalidValue();
  ++position_;
  return static_cast<int32_t>(ReadIntegerPayload(tag));
}

int64_t TFormReader::ReadInt64() {
  if (NextValue() != TValueType::vaInt64)
    return ReadInteger();
  ++position_;
  return ReadIntegerPayload(TValueType::vaInt64);
}

long double TFormReader::ReadFloat() {
  if (NextValue() != TValueType::vaExtended)
    return static_cast<long double>(ReadInt64());
  ++position_;
  uint8_t bytes[kExtendedSize];
  Read(bytes, kExtendedSize);
  return ExtendedToLongDouble(bytes);
}

float TFormReader::ReadSingle() {
  if (NextValue() != TValueType::vaSingle)
    return static_cast<float>(ReadInt64());
  ++position_;
  uint8_t bytes[4];
  Read(bytes, 4);
  return LoadLittleEndian<float>(bytes);
}

int64_t TFormReader::ReadCurrency() {
  if (NextValue() != TValueType::vaCurrency) {
    constexpr int64_t kScale = 10000;
    const int64_t whole = ReadInt64();
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    if (whole > kMax / kScale)
      return kMax;
    if (whole < -kMax / kScale)
      return std::numeric_limits<int64_t>::min();
    return whole * kScale;
  }
  ++position_;
  return ReadIntegerPayload(TValueType::vaInt64);
}

double TFormReader::ReadDate() {
  if (NextValue() != TValueType::vaDate)
    return static_cast<double>(ReadInt64());
  ++position_;
  uint8_t bytes[8];
  Read(bytes, 8);
  return LoadLittleEndian<double>(bytes);
}

std::string TFormReader::ReadString() {
  switch (NextValue()) {
    case TValueType::vaString:
      ++position_;
      return ReadStr();
    case TValueType::vaLString: {
      ++position_;
      const uint32_t count = ReadUInt32();
      CheckAvailable(count);
      std::string text(count, '\0');
      Read(text.data(), count);
      return text;
    }
    case TValueType::vaWString:
    case TValueType::vaUTF8String:
      return WideToAnsi(ReadWideString());
    default:
      InvalidValue();
  }
}

std::u16string TFormReader::ReadWideString() {
  switch (NextValue()) {
    case TValueType::vaWString: {
      ++position_;
      const uint32_t count = ReadUInt32();
      CheckAvailable(uint64_t{count} * 2);
      std::u16string text(count, u'\0');
      uint8_t unit[2];
      for (char16_t& c : text) {
        Read(unit, 2);
        c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
      }
      return text;
    }
    case TValueType::vaUTF8String: {
      ++position_;
      const uint32_t count = ReadUInt32();
      CheckAvailable(count);
      std::string bytes(count, '\0');
      Read(bytes.data(), count);
      return Utf8ToWide(bytes);
    }
    case TValueType::vaString:
    case TValueType::vaLString:
      return AnsiToWide(ReadString());
    default:
      InvalidValue();
  }
}

char TFormReader::ReadChar() {
  if (!IsStringTag(NextValue()))
    InvalidValue();
  const std::string text = ReadString();
  if (text.size() != 1)
    InvalidValue();
  return text[0];
}

std::string TFormReader::ReadIdent() {
  switch (NextValue()) {
    case TValueType::vaIdent:
      ++position_;
      return ReadStr();
    case TValueType::vaNull:
      ++position_;
      return "Null";
    case TValueType::vaFalse:
      ++position_;
      return "False";
    case TValueType::vaTrue:
      ++position_;
      return "True";
    case TValueType::vaNil:
      ++position_;
      return "nil";
    default:
      InvalidValue();
  }
}

bool TFormReader::ReadBoolean() {
  return ReadValue() == TValueType::vaTrue;
}

uint32_t TFormReader::ReadSet(const TEnumInfo& elements) {
  if (NextValue() != TValueType::vaSet)
    InvalidValue();
  ++position_;
  uint32_t mask = 0;
  for (;;) {
    const std::string name = ReadStr();
    if (name.empty())
      return mask;
    const int ordinal = elements.ValueOf(name);
    if (ordinal < 0) {
      for (uint8_t length = ReadByte(); length != 0; length = ReadByte())
        SkipBytes(length);
      InvalidValue();
    }
    if (ordinal <= 31)
      mask |= uint32_t{1} << ordinal;
  }
}

void TFormReader::ReadListBegin() {
  if (NextValue() != TValueType::vaList)
    InvalidValue();
  ++position_;
}

void TFormReader::ReadListEnd() {
  if (NextValue() != TValueType::vaNull)
    InvalidValue();
  ++position_;
}

bool TFormReader::EndOfList() {
  return NextValue() == TValueType::vaNull;
}

void TFormReader::ReadBinary(TMemoryStream& into) {
  if (NextValue() != TValueType::vaBinary)
    InvalidValue();
  ++position_;
  const uint32_t count = ReadUInt32();
  CheckAvailable(count);
  into.SetSize(count);
  into.SetPosition(0);
  uint64_t left = count;
  while (left > 0) {
    if (position_ == end_)
      Fill();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, end_ - position_));
    into.WriteBuffer(buffer_ + position_, static_cast<int64_t>(n));
    position_ += n;
    left -= n;
  }
  into.SetPosition(0);
}

void TFormReader::ReadBinary(const std::function<void(TStream&)>& use) {
  auto* memory = dynamic_cast<TReadOnlyMemoryStream*>(&stream_);
  if (memory == nullptr) {
    TMemoryStream copy;
    ReadBinary(copy);
    use(copy);
    return;
  }
  if (NextValue() != TValueType::vaBinary)
    InvalidValue();
  ++position_;
  const uint32_t count = ReadUInt32();
  CheckAvailable(count);
  // Where the reader stands in the source: behind the source's position by
  // what is buffered and not yet read.
  const int64_t at = memory->Position() - static_cast<int64_t>(end_ - position_);
  if (count <= end_ - position_) {
    position_ += count;
  } else {
    memory->SetPosition(at + count);
    position_ = end_ = 0;
  }
  TReadOnlyMemoryStream block(memory->Data() + at, count, memory->Lasting());
  use(block);
}

void TFormReader::SkipPayload(TValueType tag, std::vector<uint8_t>& open) {
  switch (tag) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
      return;
    case TValueType::vaList:
      open.push_back(kSkipList);
      return;
    case TValueType::vaCollection:
      open.push_back(kSkipCollection);
      return;
    case TValueType::vaInt8:
      return SkipBytes(1);
    case TValueType::vaInt16:
      return SkipBytes(2);
    case TValueType::vaInt32:
    case TValueType::vaSingle:
      return SkipBytes(4);
    case TValueType::vaExtended:
      return SkipBytes(kExtendedSize);
    case TValueType::vaCurrency:
    case TValueType::vaDate:
    case TValueType::vaInt64:
      return SkipBytes(8);
    case TValueType::vaString:
    case TValueType::vaIdent:
      return SkipBytes(ReadByte());
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
      return SkipBytes(ReadUInt32());
    case TValueType::vaWString:
      return SkipBytes(uint64_t{ReadUInt32()} * 2);
    case TValueType::vaSet:
      for (uint8_t length = ReadByte(); length != 0; length = ReadByte())
        SkipBytes(length);
      return;
  }
  InvalidValue();
}

void TFormReader::SkipValue() {
  // Iterative, so that deeply nested lists cannot exhaust the stack.
  std::vector<uint8_t> open;
  SkipPayload(ReadValue(), open);
  while (!open.empty()) {
    if (NextValue() == TValueType::vaNull) {
      ++position_;
      open.pop_back();
      continue;
    }
    switch (open.back()) {
      case kSkipList:
        SkipPayload(ReadValue(), open);
        break;
      case kSkipCollection:
        if (IsIntegerTag(NextValue()))
          ReadInteger();
        ReadListBegin();
        open.push_back(kSkipItem);
        break;
      default:  // kSkipItem: one property entry
        SkipBytes(ReadByte());
        SkipPayload(ReadValue(), open);
        break;
    }
  }
}

void TFormReader::SkipProperty() {
  SkipBytes(ReadByte());
  SkipValue();
}

void TFormReader::SkipComponent(bool skipHeader) {
  // Iterative over nesting: depth counts the records whose children are open.
  const auto skipHeaderFields = [this] {
    uint8_t flags = 0;
    int32_t position = 0;
    ReadPrefix(flags, position);
    SkipBytes(ReadByte());  // class name
    SkipBytes(ReadByte());  // component name
  };
  if (skipHeader)
    skipHeaderFields();
  size_t depth = 1;
  for (;;) {
    while (!EndOfList())
      SkipProperty();
    ++position_;
    for (;;) {
      if (!EndOfList()) {
        skipHeaderFields();
        ++depth;
        break;
      }
      ++position_;
      if (--depth == 0)
        return;
    }
  }
}

}  // namespace qv
