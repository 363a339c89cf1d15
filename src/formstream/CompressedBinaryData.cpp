#include "formstream/CompressedBinaryData.h"

#include <any>
#include <vector>

#include "core/Exceptions.h"
#include "core/TypeInfoBuilder.h"

namespace qv {

float CompressionRateOf(int64_t compressedSize, int64_t sourceSize) {
  if (sourceSize <= 0)
    return 0.0f;
  const long double ratio =
      static_cast<long double>(compressedSize) / static_cast<long double>(sourceSize);
  return static_cast<float>(100.0L - ratio * 100.0L);
}

const TClassInfo& TCompressedBinaryData::StaticClassInfo() {
  using Self = TCompressedBinaryData;
  static const TClassInfo info = [] {
    TClassInfo c =
        ClassInfoBuilder<Self>("TCompressedBinaryData", &TBinaryData::StaticClassInfo())
            .Creatable()
            .Boolean("Compressed", &Self::Compressed, &Self::SetCompressed)
            .Default(0)
            .Enumeration("CompressionLevel", CompressionLevelEnum(), &Self::CompressionLevel,
                         &Self::SetCompressionLevel)
            .Default(clMax)
            // Republished so that it stands between the level and the rate
            // and is stored only while it describes the data itself.
            .Integer("DataSize", &Self::GetDataSize, &Self::SetDataSize)
            .StoredWhen([](TObject& o) { return !static_cast<Self&>(o).Compressed(); })
            .Float("CompressionRate", TFloatType::ftSingle, &Self::CompressionRate,
                   &Self::SetCompressionRate)
            .StoredWhen([](TObject& o) { return static_cast<Self&>(o).CompressionRate() != 0; })
            .Build();
    c.Properties.back().TypeName = "Single";

    // Kept as the whole method, name included, so that a writer can store
    // the handler's name.
    TPropInfo event;
    event.Name = "OnCompressionProgress";
    event.Kind = TTypeKind::tkMethod;
    event.TypeName = "TCompressionProgressEvent";
    event.GetMethod = [](TObject& o) { return static_cast<Self&>(o).onProgressMethod_; };
    event.SetMethod = [](TObject& o, const TMethod& method) {
      auto& self = static_cast<Self&>(o);
      if (method.IsNil()) {
        self.SetOnCompressionProgress(nullptr);
        return;
      }
      const auto* handler = std::any_cast<TCompressionProgressEvent>(&method.Code);
      if (handler == nullptr)
        throw EReadError("Invalid property value");
      self.onProgress_ = *handler;
      self.onProgressMethod_ = method;
    };
    c.Properties.push_back(std::move(event));
    return c;
  }();
  return info;
}

void RegisterDataComponents() {
  RegisterComponentClass(TBinaryData::StaticClassInfo());
  RegisterComponentClass(TCompressedBinaryData::StaticClassInfo());
}

TCompressedBinaryData::TCompressedBinaryData(TComponent* owner) : TBinaryData(owner) {}

TCompressedBinaryData::~TCompressedBinaryData() = default;

void TCompressedBinaryData::SetOnCompressionProgress(TCompressionProgressEvent handler) {
  onProgressMethod_ = TMethod{};
  if (handler)
    onProgressMethod_.Code = handler;
  onProgress_ = std::move(handler);
}

void TCompressedBinaryData::SetCompressed(bool value) {
  if (busy_ || value == compressed_)
    return;
  compressed_ = value;
  if (FromStream())
    return;
  try {
    ReEncode(!value);
  } catch (...) {
    // Neither SetData nor a failed inflation changes the stored bytes, so
    // they are still in the previous form.
    compressed_ = !value;
    throw;
  }
}

void TCompressedBinaryData::SetCompressionLevel(TCompressionLevel value) {
  if (busy_ || value == level_)
    return;
  level_ = value;
  if (!FromStream() && compressed_)
    ReEncode(true);
}

void TCompressedBinaryData::SetDataSize(int32_t size) {
  if (compressed_)
    throw Exception("Compressed binary data not allowed to modify DataSize");
  inflated_.reset();
  TBinaryData::SetDataSize(size);
}

void TCompressedBinaryData::SetCompressionRate(float value) {
  if (!FromStream()) {
    throw Exception(
        "Make no sense to set this property manually. This is only an informative property.");
  }
  rate_ = value;
}

void TCompressedBinaryData::ReEncode(bool decodeAs) {
  TMemoryStream plain;
  {
    const bool saved = compressed_;
    compressed_ = decodeAs;
    try {
      plain.CopyFrom(GetData(), 0);
    } catch (...) {
      compressed_ = saved;
      throw;
    }
    compressed_ = saved;
  }
  plain.SetPosition(0);
  SetData(&plain);
}

void TCompressedBinaryData::SetData(TStream* source) {
  if (busy_)
    return;
  progressSource_ = source;
  rate_ = 0.0f;
  // The source may be the cache itself (SetData(&GetData())): it is
  // released only when this call is done with it.
  const std::unique_ptr<TMemoryStream> released = std::move(inflated_);
  if (!compressed_ || source == nullptr) {
    TBinaryData::SetData(source);
    return;
  }
  TMemoryStream packed;
  int64_t sourceSize = 0;
  {
    TCompressionStream compressor(level_, packed);
    compressor.SetOnProgress([this](TCustomZlibStream&) { ProgressStep(); });
    source->SetPosition(0);
    sourceSize = source->Size();
    busy_ = true;
    try {
      if (sourceSize > 0)
        compressor.CopyFrom(*source, sourceSize);
    } catch (...) {
      busy_ = false;
      throw;
    }
    busy_ = false;
    compressor.Finish();
  }
  const float rate = CompressionRateOf(packed.Size(), sourceSize);
  TBinaryData::SetData(&packed);
  rate_ = rate;
}

TStream& TCompressedBinaryData::GetData() {
  progressSource_ = &StoredData();
  if (!compressed_)
    return StoredData();
  if (inflated_)
    return *inflated_;
  StoredData().SetPosition(0);
  // Built aside: a failed inflation leaves no cache, so the next request
  // tries again instead of handing out a truncated result.
  auto cache = std::make_unique<TMemoryStream>();
  InflateTo(*cache);
  cache->SetPosition(0);
  inflated_ = std::move(cache);
  return *inflated_;
}

void TCompressedBinaryData::WriteUsableData(TStream& file) {
  if (!compressed_ || inflated_) {
    TBinaryData::WriteUsableData(file);
    return;
  }
  progressSource_ = &StoredData();
  StoredData().SetPosition(0);
  InflateTo(file);
}

void TCompressedBinaryData::InflateTo(TStream& out) {
  TDecompressionStream decompressor(StoredData());
  decompressor.SetOnProgress([this](TCustomZlibStream&) { ProgressStep(); });
  // Large steps: each one costs a call through the wrapper and a write to
  // the destination, which for a file is a system call.
  std::vector<uint8_t> buffer(256 * 1024);
  for (;;) {
    const int64_t n = decompressor.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (n <= 0)
      break;
    out.WriteBuffer(buffer.data(), n);
  }
  // A block cut short inflates to a plausible prefix: only the stream's
  // end, with its checksum, says the payload is whole.
  if (!decompressor.StreamEnded())
    throw EDecompressionError("Error");
}

void TCompressedBinaryData::ProgressStep() {
  if (progressSource_ == nullptr)
    return;
  const int64_t size = progressSource_->Size();
  const int64_t position = progressSource_->Position();
  const int percent =
      size > 0 ? static_cast<int>(static_cast<long double>(position) / size * 100.0L) : 100;
  // There is no design mode here: no progress window, and the handler is
  // always told.
  if (onProgress_)
    onProgress_(this, percent);
}

}  // namespace qv
