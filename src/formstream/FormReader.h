#pragma once
// Value-level reading of a form stream (layout in FormFormat.h): one tagged
// value per operation, through a 4,096-byte buffer over the source stream.
//
// Error contract, shared by every operation:
// - the stream ends inside a value (a refill delivers nothing), or a count
//   announces more bytes than the stream still holds: EReadError
//   "Stream read error";
// - the next tag is not one the operation accepts: EReadError "Invalid
//   property value", and the offending value is left unread, so that the
//   caller can skip it (ReadBoolean accepts every tag; ReadChar and ReadSet
//   consume the value they reject, ReadSet after skipping the rest of it);
// - ReadSignature: EReadError "Invalid stream format".
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Filer.h"
#include "formstream/FormFormat.h"

namespace qv {

class TStream;
class TMemoryStream;
struct TEnumInfo;

class TFormReader : public TReader {
 public:
  // Reads from the stream's current position; nothing is read yet.
  explicit TFormReader(TStream& stream);
  // Moves the stream back by what the buffer holds unread, so that the
  // stream stands right after the last value read.
  ~TFormReader() override;
  TFormReader(const TFormReader&) = delete;
  TFormReader& operator=(const TFormReader&) = delete;

  void ReadSignature();
  // The optional flags prefix and child position of an object record; both
  // are 0 when the record has no prefix.
  void ReadPrefix(uint8_t& flags, int32_t& childPos);

  // The next tag, consumed or only looked at. A byte above the last
  // defined tag is returned as it is.
  TValueType ReadValue();
  TValueType NextValue();
  std::string ReadStr();  // a short string (names)

  // Tags 2, 3, 4, sign-extended.
  int32_t ReadInteger() override;
  // Tag 19, or as ReadInteger.
  int64_t ReadInt64() override;
  // Tag 5, or as ReadInt64.
  long double ReadFloat() override;
  // Tags 15, 16, 17 respectively, or as ReadInt64 (currency: times 10,000,
  // saturating). Currency is the amount times 10,000.
  float ReadSingle();
  int64_t ReadCurrency();
  double ReadDate();
  // Tags 6, 12; 18 and 20 converted to ANSI.
  std::string ReadString() override;
  // Tags 18, 20; 6 and 12 converted from ANSI.
  std::u16string ReadWideString() override;
  // A string value of exactly one character.
  char ReadChar();
  // Tag 7, or the words of tags 0 ("Null"), 8 ("False"), 9 ("True"), 13 ("nil").
  std::string ReadIdent() override;
  // Consumes one tag, whichever: true exactly when it is 9.
  bool ReadBoolean() override;
  // Tag 11; the bit mask of the named elements (ordinals above 31 ignored).
  uint32_t ReadSet(const TEnumInfo& elements);
  void ReadListBegin() override;  // tag 1
  void ReadListEnd() override;    // tag 0
  bool EndOfList() override;      // peeks: is the next tag 0?
  // Tag 10: a memory stream of exactly the payload's size, positioned at 0.
  void ReadBinary(TMemoryStream& into);
  // Reads a Binary value and hands it to `use` as a stream positioned at
  // its start: the bytes in place when the form stream is memory (a
  // resource), so that a large block is never copied just to be read.
  void ReadBinary(const std::function<void(TStream&)>& use);

  void SkipValue() override;
  void SkipProperty();
  // One object record; without the header when the caller has read it.
  void SkipComponent(bool skipHeader);

  // Raw bytes of the stream.
  void Read(void* buffer, size_t count);
  void SkipBytes(uint64_t count);
  uint8_t ReadByte();

 private:
  bool IsIntegerTag(TValueType tag) const noexcept;
  [[noreturn]] void InvalidValue() const;
  void Fill();
  // Fails before a large allocation when the stream cannot hold count more bytes.
  void CheckAvailable(uint64_t count);
  uint32_t ReadUInt32();
  int64_t ReadIntegerPayload(TValueType tag);
  // Pushes List and Collection onto the skip stack; skips scalars' payloads.
  void SkipPayload(TValueType tag, std::vector<uint8_t>& open);

  TStream& stream_;
  uint8_t buffer_[kReadBufferSize];
  size_t position_ = 0;
  size_t end_ = 0;
};

}  // namespace qv
