#pragma once
// TBinaryData: a non-visual component holding one block of bytes that
// travels in a form stream as the binary defined property "TheData" and can
// be written out as a file.
//
// Payload block (the Binary value of "TheData"; the form stream's own count
// L = N + 4 precedes it):
//   offset 0  int32 LE  N, the data size (0 or negative: no data)
//   offset 4  N bytes   the stored bytes
#include <cstdint>
#include <memory>
#include <string>

#include "core/Component.h"
#include "core/Stream.h"

namespace qv {

class TFileLayer;

class TBinaryData : public TComponent {
  QV_TYPE_INFO

 public:
  explicit TBinaryData(TComponent* owner);
  ~TBinaryData() override;

  // Replaces the stored bytes by a copy of the whole source (null: empty).
  // The source must deliver its full size (EReadError "Stream read error";
  // the stored bytes then stay as they were); it is left at its end.
  virtual void SetData(TStream* source);
  // The stream holding the usable data, owned by the component; its
  // position is wherever its last user left it.
  virtual TStream& GetData();
  // The size of the stored bytes.
  virtual int32_t GetDataSize();
  // Resizes the stored bytes: growing keeps them (the new bytes are
  // undefined), shrinking cuts, a position beyond the end moves to it.
  virtual void SetDataSize(int32_t size);

  // Writes the usable data to the file, replacing it whole: the data goes
  // to TemporaryFileName(fileName) first, which must not exist, and that
  // file then takes the target's place. Raises EFCreateError "Cannot create
  // file \"%s\". %s" (the target's name, the system's reason) when a step
  // fails, and the stream errors of an incomplete copy; either way the
  // target stays as it was and the temporary file is removed. The
  // one-argument form writes through DefaultFileLayer().
  void SaveToFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName, TFileLayer& files);

  // The inherited design position, then "TheData".
  void DefineProperties(TFiler& filer) override;

  // Writes the usable data to `file`, from its start; what SaveToFile
  // calls between creating the temporary file and flushing it.
  virtual void WriteUsableData(TStream& file);

  // The read and write routines of "TheData", over the Payload block.
  // ReadData stores the bytes as they are; a block shorter than it
  // announces raises EReadError "Stream read error" and changes nothing.
  void ReadData(TStream& stream);
  void WriteData(TStream& stream);

 protected:
  // The stored bytes: the component's own, or borrowed (see MayBorrow).
  TStream& StoredData() noexcept;
  // Whether a block read from lasting memory may be referred to instead of
  // copied: only while nothing hands the stored bytes out to be changed.
  virtual bool MayBorrow() const noexcept { return false; }

 private:
  // Makes borrowed bytes the component's own, before they are changed.
  void OwnStoredBytes();

  TMemoryStream data_;
  std::unique_ptr<TReadOnlyMemoryStream> borrowed_;
};

}  // namespace qv
