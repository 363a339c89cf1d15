#include "formstream/BinaryData.h"

#include <memory>

#include "core/Exceptions.h"
#include "core/Filer.h"
#include "core/Format.h"
#include "core/TypeInfoBuilder.h"
#include "formstream/FileLayer.h"

namespace qv {

const TClassInfo& TBinaryData::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TBinaryData>("TBinaryData", &TComponent::StaticClassInfo())
          .Creatable()
          .Integer("DataSize", &TBinaryData::GetDataSize, &TBinaryData::SetDataSize)
          .Build();
  return info;
}

TBinaryData::TBinaryData(TComponent* owner) : TComponent(owner) {}

TBinaryData::~TBinaryData() = default;

TStream& TBinaryData::StoredData() noexcept {
  if (borrowed_)
    return *borrowed_;
  return data_;
}

void TBinaryData::OwnStoredBytes() {
  if (!borrowed_)
    return;
  data_.SetSize(borrowed_->Size());
  data_.SetPosition(0);
  data_.WriteBuffer(borrowed_->Data(), borrowed_->Size());
  data_.SetPosition(0);
  borrowed_.reset();
}

void TBinaryData::SetData(TStream* source) {
  if (source == nullptr) {
    data_.Clear();
    borrowed_.reset();
    return;
  }
  source->SetPosition(0);
  const int64_t size = source->Size();
  // Read into a stream of its own first, so that a source delivering less
  // than it announced leaves the stored bytes untouched.
  TMemoryStream fresh;
  fresh.SetSize(size);
  if (size > 0)
    fresh.CopyFrom(*source, size);
  borrowed_.reset();
  data_.SetSize(size);
  data_.SetPosition(0);
  data_.WriteBuffer(fresh.Memory(), size);
  data_.SetPosition(0);
}

TStream& TBinaryData::GetData() {
  OwnStoredBytes();
  return data_;
}

int32_t TBinaryData::GetDataSize() {
  return static_cast<int32_t>(StoredData().Size());
}

void TBinaryData::SetDataSize(int32_t size) {
  OwnStoredBytes();
  data_.SetSize(size);
}

void TBinaryData::SaveToFile(const std::string& fileName) {
  SaveToFile(fileName, DefaultFileLayer());
}

void TBinaryData::WriteUsableData(TStream& file) {
  TStream& data = GetData();
  data.SetPosition(0);
  const int64_t size = data.Size();
  if (size > 0)
    file.CopyFrom(data, size, 0xF000);
}

void TBinaryData::SaveToFile(const std::string& fileName, TFileLayer& files) {
  // The target is touched only by the final replace, once the temporary
  // file holds the whole data (a compressed payload inflated to its end and
  // checked): a failure or a crash at any point leaves the old file or the
  // whole new one, never a truncated one.
  const std::string temporary = TemporaryFileName(fileName);
  uint32_t error = 0;
  std::unique_ptr<TStream> file = files.CreateNew(temporary, error);
  // The user asked for the target; the temporary name would only puzzle.
  if (!file)
    throw CannotCreateError(files, fileName, error);
  try {
    WriteUsableData(*file);
    if (!files.Flush(*file, error))
      throw CannotCreateError(files, fileName, error);
    // Closed first: a file still open cannot be moved.
    file.reset();
    if (!files.Replace(temporary, fileName, error))
      throw CannotCreateError(files, fileName, error);
  } catch (...) {
    file.reset();
    files.Delete(temporary);
    throw;
  }
}

void TBinaryData::DefineProperties(TFiler& filer) {
  TComponent::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "TheData", [this](TStream& stream) { ReadData(stream); },
      [this](TStream& stream) { WriteData(stream); }, true);
}

void TBinaryData::ReadData(TStream& stream) {
  uint8_t raw[4];
  stream.ReadBuffer(raw, sizeof raw);
  const auto size = static_cast<int32_t>(uint32_t{raw[0]} | uint32_t{raw[1]} << 8 |
                                         uint32_t{raw[2]} << 16 | uint32_t{raw[3]} << 24);
  if (size <= 0)
    return;
  if (stream.Size() - stream.Position() < size)
    throw EReadError("Stream read error");
  // A payload of the program's own image is referred to where it lies:
  // copying it would only double what it costs in memory.
  auto* memory = dynamic_cast<TReadOnlyMemoryStream*>(&stream);
  if (memory != nullptr && memory->Lasting() && MayBorrow()) {
    borrowed_ = std::make_unique<TReadOnlyMemoryStream>(memory->Data() + memory->Position(),
                                                        static_cast<size_t>(size), true);
    memory->Seek(size, TSeekOrigin::soCurrent);
    data_.Clear();
    return;
  }
  borrowed_.reset();
  data_.SetSize(size);
  data_.SetPosition(0);
  data_.CopyFrom(stream, size);
  data_.SetPosition(0);
}

void TBinaryData::WriteData(TStream& stream) {
  const uint8_t* bytes = borrowed_ ? borrowed_->Data() : data_.Memory();
  const auto size = static_cast<uint32_t>(StoredData().Size());
  const uint8_t raw[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                          static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
  stream.WriteBuffer(raw, sizeof raw);
  if (size > 0)
    stream.WriteBuffer(bytes, size);
}

}  // namespace qv
