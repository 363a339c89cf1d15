#pragma once
// TCompressedBinaryData: a TBinaryData whose stored bytes are one zlib
// stream. The usable data is inflated on the first GetData and cached until
// the data changes; values arriving from a form stream (loading or reading
// mark set) are taken as they are, later changes re-encode the data.
#include <functional>
#include <memory>

#include "formstream/BinaryData.h"
#include "formstream/ZlibStreams.h"

namespace qv {

// Sender is the component, Progress a percentage of the input consumed.
using TCompressionProgressEvent = std::function<void(TObject* sender, int progress)>;

class TCompressedBinaryData : public TBinaryData {
  QV_TYPE_INFO

 public:
  explicit TCompressedBinaryData(TComponent* owner);
  ~TCompressedBinaryData() override;

  // Compressed: the source deflated at the current level, the rate set to
  // 100 - compressed / source size x 100; a failure leaves the stored
  // bytes as they were and the rate 0. Uncompressed: stored as is, rate 0.
  // Either way the cache is released. Ignored while already compressing.
  void SetData(TStream* source) override;
  // Compressed: the inflated cache (made on first use, position 0 then);
  // a corrupt block raises EDecompressionError "Error" and keeps no cache.
  TStream& GetData() override;
  // Compressed and not yet inflated: inflates the block straight into the
  // file, keeping no cache (a payload is written once; holding it whole
  // would double the memory an installation needs). A corrupt or cut-short
  // block raises EDecompressionError "Error", as GetData does.
  void WriteUsableData(TStream& file) override;
  // Raises Exception "Compressed binary data not allowed to modify
  // DataSize" while compressed.
  void SetDataSize(int32_t size) override;

  bool Compressed() const noexcept { return compressed_; }
  // Outside reading, re-encodes the data into the new form; when that
  // fails the flag keeps describing the stored bytes.
  void SetCompressed(bool value);

  TCompressionLevel CompressionLevel() const noexcept { return level_; }
  // Outside reading and while compressed, re-compresses at the new level.
  void SetCompressionLevel(TCompressionLevel value);

  float CompressionRate() const noexcept { return rate_; }
  // Only from a form stream; otherwise raises Exception "Make no sense to
  // set this property manually. This is only an informative property."
  void SetCompressionRate(float value);

  const TCompressionProgressEvent& OnCompressionProgress() const noexcept { return onProgress_; }
  void SetOnCompressionProgress(TCompressionProgressEvent handler);

 protected:
  // Compressed, the stored bytes are only ever inflated, never handed out.
  bool MayBorrow() const noexcept override { return compressed_; }

 private:
  bool FromStream() const noexcept { return HasState(csLoading) || HasState(csReading); }
  // Takes the data as it is in the form decodeAs describes and stores it
  // again in the form the component's flag and level describe.
  void ReEncode(bool decodeAs);
  void ProgressStep();
  // Inflates the stored block into `out`; requires the zlib stream's end.
  void InflateTo(TStream& out);

  bool compressed_ = false;
  TCompressionLevel level_ = clMax;
  std::unique_ptr<TMemoryStream> inflated_;
  float rate_ = 0.0f;
  // The stream whose position and size give the progress percentage; only
  // read while the operation that set it runs.
  TStream* progressSource_ = nullptr;
  bool busy_ = false;
  TCompressionProgressEvent onProgress_;
  // The event as bound by the form reader, kept for type information.
  TMethod onProgressMethod_;
};

// The rate rule: 100 - compressed / source x 100, worked out in extended
// precision and kept as a single; 0 for an empty source, where the rule
// has no value.
float CompressionRateOf(int64_t compressedSize, int64_t sourceSize);

// Registers TBinaryData and TCompressedBinaryData in the class registry;
// called once at start-up, before any form stream is read.
void RegisterDataComponents();

}  // namespace qv
