#pragma once
// Payload compression for the form compiler. zopfli searches far longer
// than zlib for a short deflate encoding and writes it as an ordinary zlib
// stream, so the product's inflater reads it like any other. That search
// takes seconds per payload, so its results are kept in a cache directory,
// named by a hash of the payload's bytes and of the zopfli options.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv {

// Empty when stream, one zlib stream, inflates whole and with its checksum
// to exactly source; otherwise what is wrong with it.
std::string InflateMismatch(const uint8_t* stream, size_t size, const std::vector<uint8_t>& source);

struct PackCounts {
  int compressed = 0;  // streams zopfli made
  int fromCache = 0;   // streams taken from the cache
  int replaced = 0;    // damaged cache entries written anew
};

class PayloadPacker {
 public:
  // Without a cache directory every payload is compressed.
  explicit PayloadPacker(std::filesystem::path cacheDir = {});

  // One zlib stream that inflates to source. A cache entry is used only
  // once it inflates to source; any other entry is replaced, each entry
  // through a temporary file and a rename, so that a run cut short leaves
  // no partial entry under an entry's name. Raises std::runtime_error when
  // the cache cannot be written.
  std::vector<uint8_t> Pack(const std::vector<uint8_t>& source);

  const PackCounts& Counts() const noexcept { return counts_; }

 private:
  std::filesystem::path EntryFor(const std::vector<uint8_t>& source) const;
  void Store(const std::filesystem::path& entry, const std::vector<uint8_t>& stream) const;

  std::filesystem::path cacheDir_;
  PackCounts counts_;
};

}  // namespace qv
