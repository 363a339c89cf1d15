#pragma once
// The binary form stream: the one definition of its layout, shared by the
// reader (TFormReader, TComponentReader) and the writer (TFormWriter).
//
// All numbers are little-endian. A short string is one length byte (0..255)
// and that many bytes of ANSI text, no terminator; class, component,
// property, identifier and set element names are short strings.
//
//   stream     := "TPF0" record                 (nothing follows the root)
//   record     := [prefix [position]] class:shortstr name:shortstr
//                 property* 00 record* 00
//   prefix     := one byte F0..FF; its low nibble holds the filer flags
//                 (kFilerInherited, kFilerChildPos, kFilerInline)
//   position   := an integer value (tag 2, 3 or 4), only with kFilerChildPos
//   property   := path:shortstr value          ("Font.Height", "Lines.Strings")
//   value      := tag:byte payload
//
//   tag  name         payload
//    0   Null         none; also the terminator of lists, properties, children
//    1   List         values until a Null tag
//    2   Int8         1 byte signed
//    3   Int16        2 bytes signed
//    4   Int32        4 bytes signed
//    5   Extended     10 bytes x87 extended: 64-bit significand with explicit
//                     integer bit, then 15-bit exponent (bias 16383) and sign
//    6   String       shortstr
//    7   Ident        shortstr
//    8   False        none
//    9   True         none
//   10   Binary       uint32 count, count bytes
//   11   Set          shortstr element names, ended by an empty one (00)
//   12   LongString   uint32 count, count ANSI bytes
//   13   Nil          none
//   14   Collection   items until a Null tag; item := [integer] 01 property* 00
//   15   Single       4 bytes IEEE binary32
//   16   Currency     8 bytes signed, the amount times 10,000
//   17   Date         8 bytes IEEE binary64
//   18   WideString   uint32 count of UTF-16LE units, 2 * count bytes
//   19   Int64        8 bytes signed
//   20   Utf8String   uint32 count, count UTF-8 bytes
#include <cstddef>
#include <cstdint>

namespace qv {

enum class TValueType : uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaSet = 11,
  vaLString = 12,
  vaNil = 13,
  vaCollection = 14,
  vaSingle = 15,
  vaCurrency = 16,
  vaDate = 17,
  vaWString = 18,
  vaInt64 = 19,
  vaUTF8String = 20,
};

// The highest tag the format defines; any byte above it is no value.
inline constexpr uint8_t kLastValueType = 20;

// "TPF0" read as one little-endian 32-bit number.
inline constexpr uint32_t kFilerSignature = 0x30465054;

// Filer flags (low nibble of the prefix byte).
inline constexpr uint8_t kFilerInherited = 0x01;
inline constexpr uint8_t kFilerChildPos = 0x02;
inline constexpr uint8_t kFilerInline = 0x04;
inline constexpr uint8_t kPrefixMark = 0xF0;

inline constexpr size_t kShortStringMax = 255;
inline constexpr size_t kExtendedSize = 10;

// The reader's value buffer and the scratch area skips read through.
inline constexpr size_t kReadBufferSize = 4096;
inline constexpr size_t kSkipScratchSize = 256;

// The x87 80-bit encoding of a number, done with arithmetic only, so that it
// gives the same bytes whatever long double is on the compiling platform.
// NaNs decode to a quiet NaN; values beyond the target range saturate to
// infinity; values below it become zero.
long double ExtendedToLongDouble(const uint8_t (&bytes)[kExtendedSize]);
void LongDoubleToExtended(long double value, uint8_t (&bytes)[kExtendedSize]);

}  // namespace qv
