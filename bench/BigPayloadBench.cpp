// bench_big_payload: one payload of tens or hundreds of MiB, inflated and
// written to disk the product's way against a bare zlib baseline.
//
// The benchmark makes its own data: a deterministic mix of text-like,
// code-like and random chunks, blended so that zlib at level 9 shrinks it
// about as much as the real payloads are shrunk (--like STREAM gives their
// ratio). It stores the block in a form stream laid out as the form
// compiler writes a payload (Compressed, CompressionRate, TheData) and
// measures two ways, each run in a process of its own so that its peak
// memory is its alone:
//
// - ours: the stream mapped into memory, as Setup.exe's resources are,
//   read into a component by the product's reader, then
//   TCompressedBinaryData::SaveToFile through the native file layer, as
//   the installation writes a payload (inflating into the file, syncing
//   it). The read is timed apart and left out of the ratio: Setup does it
//   when its window is made, not while it writes; its memory counts, as it
//   stays until the window goes;
// - bare: one streaming pass over the same block, fread, inflate into a
//   fixed buffer, fwrite, then fsync as the product does.
//
//   bench_big_payload [--size-mib N]... [--runs N] [--like STREAM]
//   bench_big_payload ours STREAM OUT              (one case; run by the above)
//   bench_big_payload bare STREAM OFFSET LENGTH OUT
//
// Every written file is checked against the generated data (size and
// CRC-32); any difference exits 1. Everything generated is removed.
#define ZLIB_CONST
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MirrorWindow.h"
#include "core/Exceptions.h"
#include "core/Stream.h"
#include "core/TypeInfoBuilder.h"
#include "formstream/ComponentReader.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FileLayer.h"
#include "formstream/FormWriter.h"

namespace {

using namespace qv::bench;
namespace fs = std::filesystem;

constexpr double kTargetRatio = 1.10;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kMemorySlack = 32 * kMiB;
constexpr size_t kChunk = 64 * 1024;

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// ------------------------------------------------------------------ data

// xoshiro256**, seeded through splitmix64: fast, and the same bytes on
// every machine, so that runs and machines compare.
class Random {
 public:
  explicit Random(uint64_t seed) {
    for (uint64_t& word : state_) {
      seed += 0x9E3779B97F4A7C15ull;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      word = z ^ (z >> 31);
    }
  }
  uint64_t Next() {
    const uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>((Next() >> 32) * bound >> 32); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<uint64_t, 4> state_{};
};

enum class Kind { kText, kCode, kNoise };

// Fills chunks of one payload. Text is prose over a made-up vocabulary
// whose words recur with a skewed frequency, as words do; code is a stream
// of x86-like functions (prologue, moves relative to the frame, calls,
// compares and jumps, epilogue, padding); noise is what already compressed
// resources look like to zlib.
class Generator {
 public:
  explicit Generator(uint64_t seed) : random_(seed) {
    static const char* const kOnsets[] = {"b",  "c",  "d",  "f",  "g",  "h",  "k",  "l",
                                          "m",  "n",  "p",  "r",  "s",  "t",  "v",  "w",
                                          "st", "tr", "pr", "ch", "sh", "th", "qu", "cl"};
    static const char* const kNuclei[] = {"a", "e", "i", "o", "u", "ai", "ea", "ou", "io"};
    static const char* const kCodas[] = {"", "", "", "n", "r", "s", "t", "l", "nd", "st", "ng"};
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      const uint32_t syllables = 1 + random_.Below(4);
      for (uint32_t s = 0; s < syllables; ++s) {
        word += kOnsets[random_.Below(std::size(kOnsets))];
        word += kNuclei[random_.Below(std::size(kNuclei))];
        word += kCodas[random_.Below(std::size(kCodas))];
      }
      words_.push_back(word);
    }
    for (uint32_t& target : callTargets_)
      target = 0x00401000u + random_.Below(0x80000u);
  }

  void Fill(Kind kind, uint8_t* out, size_t size) {
    switch (kind) {
      case Kind::kText:
        FillFrom(pendingText_, out, size, [this] { AppendSentence(); });
        break;
      case Kind::kCode:
        FillFrom(pendingCode_, out, size, [this] { AppendFunction(); });
        break;
      case Kind::kNoise:
        for (size_t i = 0; i < size; i += 8) {
          const uint64_t word = random_.Next();
          std::memcpy(out + i, &word, std::min<size_t>(8, size - i));
        }
        break;
    }
  }

 private:
  template <class Append>
  void FillFrom(std::string& pending, uint8_t* out, size_t size, Append append) {
    while (pending.size() < size)
      append();
    std::memcpy(out, pending.data(), size);
    pending.erase(0, size);
  }

  void AppendSentence() {
    std::string& text = pendingText_;
    const uint32_t length = 5 + random_.Below(14);
    for (uint32_t i = 0; i < length; ++i) {
      // Cubing a uniform number favours the first words of the list.
      const double u = random_.Unit();
      std::string word = words_[static_cast<size_t>(u * u * u * words_.size())];
      if (i == 0)
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
      if (random_.Below(40) == 0)
        word = std::to_string(random_.Below(10000));
      text += word;
      if (i + 1 < length)
        text += random_.Below(9) == 0 ? ", " : " ";
      lineLength_ += word.size() + 1;
      if (lineLength_ > 72) {
        text += "\r\n";
        lineLength_ = 0;
      }
    }
    text += random_.Below(6) == 0 ? "\r\n\r\n" : ". ";
  }

  void Byte(uint32_t value) { pendingCode_.push_back(static_cast<char>(value & 0xFF)); }
  void Dword(uint32_t value) {
    for (int i = 0; i < 4; ++i)
      Byte(value >> (8 * i));
  }
  // A frame offset: small, negative, aligned, as locals are.
  uint32_t Local() { return 0x100 - 4 * (1 + random_.Below(24)); }

  void AppendFunction() {
    static const uint8_t kRegs[] = {0x45, 0x4D, 0x55, 0x5D, 0x75, 0x7D};
    Byte(0x55);  // push ebp; mov ebp, esp; sub esp, n
    Byte(0x8B);
    Byte(0xEC);
    Byte(0x83);
    Byte(0xEC);
    Byte(4 * (1 + random_.Below(24)));
    const uint32_t instructions = 8 + random_.Below(60);
    for (uint32_t i = 0; i < instructions; ++i) {
      switch (random_.Below(10)) {
        case 0:
        case 1:  // mov reg, [ebp-n]
          Byte(0x8B);
          Byte(kRegs[random_.Below(std::size(kRegs))]);
          Byte(Local());
          break;
        case 2:  // mov [ebp-n], reg
          Byte(0x89);
          Byte(kRegs[random_.Below(std::size(kRegs))]);
          Byte(Local());
          break;
        case 3:  // push imm32 of a known address, call rel32
          Byte(0x68);
          Dword(callTargets_[random_.Below(std::size(callTargets_))] + 0x40000);
          Byte(0xE8);
          Dword(callTargets_[random_.Below(std::size(callTargets_))] - 0x00401000u -
                static_cast<uint32_t>(pendingCode_.size()));
          break;
        case 4:  // test eax, eax; jz/jnz short
          Byte(0x85);
          Byte(0xC0);
          Byte(0x74 + random_.Below(2));
          Byte(random_.Below(0x40));
          break;
        case 5:  // cmp reg, [ebp-n]; jcc near
          Byte(0x3B);
          Byte(kRegs[random_.Below(std::size(kRegs))]);
          Byte(Local());
          Byte(0x0F);
          Byte(0x84 + random_.Below(4));
          Dword(random_.Below(0x400));
          break;
        case 6:  // mov eax, small constant
          Byte(0xB8);
          Dword(random_.Below(4) == 0 ? random_.Below(0x10000) : random_.Below(2));
          break;
        case 7:  // lea ecx, [ebp-n]; push ecx
          Byte(0x8D);
          Byte(0x4D);
          Byte(Local());
          Byte(0x51);
          break;
        case 8:  // add esp, n after a call's arguments
          Byte(0x83);
          Byte(0xC4);
          Byte(4 * (1 + random_.Below(4)));
          break;
        default:  // push reg
          Byte(0x50 + random_.Below(8));
          break;
      }
    }
    Byte(0x8B);  // mov esp, ebp; pop ebp; ret
    Byte(0xE5);
    Byte(0x5D);
    Byte(0xC3);
    while (pendingCode_.size() % 16 != 0)
      Byte(0xCC);
  }

  Random random_;
  std::vector<std::string> words_;
  std::array<uint32_t, 512> callTargets_{};
  std::string pendingText_;
  std::string pendingCode_;
  size_t lineLength_ = 0;
};

// How chunks are chosen: a position on text -> code -> noise. Below 1 it
// blends text and code, above it code and noise; the compressed size grows
// with it.
Kind ChooseKind(Random& random, double blend) {
  const double u = random.Unit();
  if (blend <= 1.0)
    return u < blend ? Kind::kCode : Kind::kText;
  return u < blend - 1.0 ? Kind::kNoise : Kind::kCode;
}

double Level9Ratio(const std::vector<uint8_t>& plain) {
  uLongf size = compressBound(plain.size());
  std::vector<uint8_t> packed(size);
  if (compress2(packed.data(), &size, plain.data(), plain.size(), 9) != Z_OK)
    throw std::runtime_error("zlib compress2 failed");
  return static_cast<double>(size) / static_cast<double>(plain.size());
}

// The blend whose compressed share should come nearest the target,
// interpolated between the shares of pure samples of each kind.
double BlendFor(double targetRatio, uint64_t seed) {
  Generator generator(seed);
  std::array<double, 3> ratios{};
  for (Kind kind : {Kind::kText, Kind::kCode, Kind::kNoise}) {
    std::vector<uint8_t> sample(4 * kMiB);
    for (size_t at = 0; at < sample.size(); at += kChunk)
      generator.Fill(kind, sample.data() + at, kChunk);
    ratios[static_cast<size_t>(kind)] = Level9Ratio(sample);
  }
  if (targetRatio <= ratios[0])
    return 0.0;
  if (targetRatio <= ratios[1])
    return (targetRatio - ratios[0]) / (ratios[1] - ratios[0]);
  if (targetRatio <= ratios[2])
    return 1.0 + (targetRatio - ratios[1]) / (ratios[2] - ratios[1]);
  return 2.0;
}

// The form stream's root: one published payload, as the wizard window has
// nine.
class TBigPayloadForm : public qv::TComponent {
  QV_TYPE_INFO
 public:
  using TComponent::TComponent;
  qv::TCompressedBinaryData* payload = nullptr;
};

const qv::TClassInfo& TBigPayloadForm::StaticClassInfo() {
  static const qv::TClassInfo info =
      qv::ClassInfoBuilder<TBigPayloadForm>("TBigPayloadForm", &TComponent::StaticClassInfo())
          .Field("payload", &TBigPayloadForm::payload)
          .Build();
  return info;
}

struct GeneratedStream {
  fs::path path;
  uint64_t plainSize = 0;
  uint32_t plainCrc = 0;
  uint64_t blockOffset = 0;  // of the stored zlib bytes in the file
  uint64_t blockSize = 0;
};

void WriteAll(int fd, const void* data, size_t size, const fs::path& path) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      throw std::runtime_error(Errno(path.string()));
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

void PatchAt(int fd, uint64_t offset, const void* data, size_t size, const fs::path& path) {
  if (::pwrite(fd, data, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size))
    throw std::runtime_error(Errno(path.string()));
}

// Streams the generated data through deflate straight into the file, so
// that this process stays small (a child's peak starts from its parent's
// size at fork); the sizes the header needs ahead of the block are patched
// in at the end.
GeneratedStream WriteStream(const fs::path& path, uint64_t size, double blend, uint64_t seed) {
  qv::TMemoryStream head;
  qv::TFormWriter writer(head);
  writer.WriteSignature();
  writer.WriteObjectHeader("TBigPayloadForm", "BigPayloadForm");
  writer.WriteListEnd();
  writer.WriteObjectHeader("TCompressedBinaryData", "payload");
  writer.WritePropName("Compressed");
  writer.WriteBoolean(true);
  writer.WritePropName("CompressionRate");
  // As the form compiler writes it, an Extended; its value is patched in.
  const uint64_t rateAt = static_cast<uint64_t>(head.Size());
  writer.WriteFloat(0);
  writer.WritePropName("TheData");
  writer.WriteValue(qv::TValueType::vaBinary);
  const uint64_t countAt = static_cast<uint64_t>(head.Size());
  const uint8_t placeholder[8] = {};
  writer.WriteBytes(placeholder, sizeof placeholder);

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    throw std::runtime_error(Errno(path.string()));
  GeneratedStream result;
  result.path = path;
  result.blockOffset = countAt + 8;
  try {
    WriteAll(fd, head.Memory(), static_cast<size_t>(head.Size()), path);
    z_stream zs{};
    if (deflateInit(&zs, 9) != Z_OK)
      throw std::runtime_error("deflateInit failed");
    Generator generator(seed);
    Random chooser(seed ^ 0x5DEECE66Dull);
    std::vector<uint8_t> plain(kChunk);
    std::vector<uint8_t> packed(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t left = size;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
      if (n > 0) {
        generator.Fill(ChooseKind(chooser, blend), plain.data(), n);
        crc = crc32(crc, plain.data(), static_cast<uInt>(n));
      }
      left -= n;
      zs.next_in = plain.data();
      zs.avail_in = static_cast<uInt>(n);
      const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
      do {
        zs.next_out = packed.data();
        zs.avail_out = static_cast<uInt>(packed.size());
        rc = deflate(&zs, flush);
        if (rc == Z_STREAM_ERROR) {
          deflateEnd(&zs);
          throw std::runtime_error("deflate failed");
        }
        WriteAll(fd, packed.data(), packed.size() - zs.avail_out, path);
      } while (zs.avail_out == 0);
    }
    result.blockSize = zs.total_out;
    deflateEnd(&zs);
    result.plainSize = size;
    result.plainCrc = static_cast<uint32_t>(crc);
    // Properties end, children end (none), the root's children end.
    const uint8_t tail[3] = {0, 0, 0};
    WriteAll(fd, tail, sizeof tail, path);

    if (result.blockSize > 0x7FFFFFFBull)
      throw std::runtime_error("the block is too large for a form stream");
    const auto stored = static_cast<uint32_t>(result.blockSize);
    const uint32_t count = stored + 4;
    uint8_t sizes[8];
    for (int i = 0; i < 4; ++i) {
      sizes[i] = static_cast<uint8_t>(count >> (8 * i));
      sizes[4 + i] = static_cast<uint8_t>(stored >> (8 * i));
    }
    PatchAt(fd, countAt, sizes, sizeof sizes, path);
    qv::TMemoryStream rate;
    qv::TFormWriter(rate).WriteFloat(
        qv::CompressionRateOf(static_cast<int64_t>(stored), static_cast<int64_t>(size)));
    PatchAt(fd, rateAt, rate.Memory(), static_cast<size_t>(rate.Size()), path);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0)
    throw std::runtime_error(Errno(path.string()));
  return result;
}

// ----------------------------------------------------- the measured cases

// The native file layer, timing how long it spends making the file reach
// the disk, which both ways do and which the disk decides.
class TimedFileLayer : public qv::TFileLayer {
 public:
  std::unique_ptr<qv::TStream> CreateNew(const std::string& fileName, uint32_t& error) override {
    return inner_.CreateNew(fileName, error);
  }
  bool Flush(qv::TStream& stream, uint32_t& error) override {
    const Stopwatch watch;
    const bool done = inner_.Flush(stream, error);
    flushMilliseconds += watch.Milliseconds();
    return done;
  }
  bool Replace(const std::string& source, const std::string& target, uint32_t& error) override {
    return inner_.Replace(source, target, error);
  }
  void Delete(const std::string& fileName) noexcept override { inner_.Delete(fileName); }
  std::string ExpandFileName(const std::string& fileName) override {
    return inner_.ExpandFileName(fileName);
  }
  std::string SysErrorMessage(uint32_t error) override { return inner_.SysErrorMessage(error); }

  double flushMilliseconds = 0;

 private:
  qv::TFileLayer& inner_ = qv::NativeFileLayer();
};

// The process's own peak resident set, from its memory map: unlike the
// rusage a parent sees, it never includes what the process had before exec.
long OwnPeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:"))
      return std::stol(line.substr(6));
  }
  return 0;
}

class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      throw std::runtime_error(Errno(path));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      ::close(fd);
      throw std::runtime_error(Errno(path));
    }
    size_ = static_cast<size_t>(info.st_size);
    data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (data_ == MAP_FAILED)
      throw std::runtime_error(Errno(path));
  }
  ~MappedFile() { ::munmap(data_, size_); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  const void* Data() const noexcept { return data_; }
  size_t Size() const noexcept { return size_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

// Setup.exe reads its windows from resources mapped with the image; the
// mapping here stands for that, and stays for the whole case as the image
// does.
int RunOurs(const std::string& streamPath, const std::string& outPath) {
  qv::RegisterDataComponents();
  const MappedFile mapped(streamPath);
  static const qv::TComponentListNameSpace noOtherWindows;
  TBigPayloadForm form(nullptr);

  const Stopwatch read;
  qv::TReadOnlyMemoryStream resource(mapped.Data(), mapped.Size());
  qv::ReadComponentResource(form, resource, noOtherWindows);
  const double readMs = read.Milliseconds();
  if (form.payload == nullptr || !form.payload->Compressed())
    throw std::runtime_error("the stream did not give a compressed payload");

  TimedFileLayer files;
  const Stopwatch write;
  form.payload->SaveToFile(outPath, files);
  const double writeMs = write.Milliseconds();
  std::printf("case\t%.3f\t%.3f\t%.3f\t%ld\n", readMs, writeMs, files.flushMilliseconds,
              OwnPeakKiB());
  return 0;
}

int RunBare(const std::string& streamPath, uint64_t offset, uint64_t length,
            const std::string& outPath) {
  const Stopwatch total;
  FILE* in = std::fopen(streamPath.c_str(), "rb");
  if (in == nullptr)
    throw std::runtime_error(Errno(streamPath));
  FILE* out = std::fopen(outPath.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    throw std::runtime_error(Errno(outPath));
  }
  z_stream zs{};
  if (fseeko(in, static_cast<off_t>(offset), SEEK_SET) != 0 || inflateInit(&zs) != Z_OK) {
    std::fclose(in);
    std::fclose(out);
    throw std::runtime_error("cannot start inflating " + streamPath);
  }
  // Output in the steps the product inflates in: a smaller buffer costs
  // zlib more calls and would slow the baseline, not the product.
  static uint8_t input[kChunk];
  static uint8_t output[256 * 1024];
  uint64_t left = length;
  int rc = Z_OK;
  bool failed = false;
  while (rc != Z_STREAM_END && !failed) {
    if (zs.avail_in == 0) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, sizeof input));
      const size_t got = want == 0 ? 0 : std::fread(input, 1, want, in);
      if (got == 0) {
        failed = true;  // the block ended before its zlib stream did
        break;
      }
      left -= got;
      zs.next_in = input;
      zs.avail_in = static_cast<uInt>(got);
    }
    zs.next_out = output;
    zs.avail_out = sizeof output;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      failed = true;
      break;
    }
    const size_t produced = sizeof output - zs.avail_out;
    if (std::fwrite(output, 1, produced, out) != produced)
      failed = true;
  }
  inflateEnd(&zs);
  std::fclose(in);
  double syncMs = 0;
  if (!failed && std::fflush(out) == 0) {
    const Stopwatch sync;
    failed = ::fsync(fileno(out)) != 0;
    syncMs = sync.Milliseconds();
  } else {
    failed = true;
  }
  failed = std::fclose(out) != 0 || failed;
  if (failed)
    throw std::runtime_error("inflating " + streamPath + " to " + outPath + " failed");
  std::printf("case\t0\t%.3f\t%.3f\t%ld\n", total.Milliseconds(), syncMs, OwnPeakKiB());
  return 0;
}

// ------------------------------------------------------------ the parent

struct CaseResult {
  double readMs = 0;
  double workMs = 0;  // inflate and write, sync included
  double syncMs = 0;
  long peakKiB = 0;    // the child's own high-water mark
  long rusageKiB = 0;  // what wait4 reports for it, for comparison
};

CaseResult RunCase(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    throw std::runtime_error(Errno("pipe"));
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  // fork, not posix_spawn: a vfork-style child would carry this process's
  // own high-water mark into its rusage.
  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error(Errno("fork"));
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  ::close(pipeFds[1]);
  std::string output;
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    output.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR)
      throw std::runtime_error(Errno("wait4"));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("the case \"" + args[1] + "\" failed");
  CaseResult result;
  if (std::sscanf(output.c_str(), "case\t%lf\t%lf\t%lf\t%ld", &result.readMs, &result.workMs,
                  &result.syncMs, &result.peakKiB) != 4)
    throw std::runtime_error("the case \"" + args[1] + "\" said: " + output);
  result.rusageKiB = usage.ru_maxrss;
  return result;
}

// Size and CRC-32 of a written file, read in pieces so that this process
// stays small.
bool SameAsGenerated(const fs::path& path, const GeneratedStream& stream) {
  std::error_code error;
  if (fs::file_size(path, error) != stream.plainSize || error)
    return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  std::vector<uint8_t> buffer(kMiB);
  uLong crc = crc32(0, nullptr, 0);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
  }
  ::close(fd);
  return static_cast<uint32_t>(crc) == stream.plainCrc;
}

// The share the real payloads keep of their size when stored, read with
// the product's reader as bench_payloads reads them.
double RealPayloadRatio(const std::string& path) {
  RegisterMirrorClasses();
  const std::vector<uint8_t> stream = ReadWholeFile(path);
  const std::unique_ptr<TfrmDialog> window = ReadWizardWindow(stream);
  const std::vector<std::string> faults = CheckWizardWindow(*window);
  if (!faults.empty())
    throw std::runtime_error(path + ": " + faults.front());
  uint64_t stored = 0;
  uint64_t inflated = 0;
  for (qv::TCompressedBinaryData* payload : window->Payloads()) {
    stored += static_cast<uint64_t>(payload->GetDataSize());
    inflated += static_cast<uint64_t>(payload->GetData().Size());
  }
  return static_cast<double>(stored) / static_cast<double>(inflated);
}

std::string MinMedianMax(const TimingSummary& t) {
  char text[96];
  std::snprintf(text, sizeof text, "%.0f / %.0f / %.0f ms", t.best, t.median, t.worst);
  return text;
}

std::string MiB(long kib) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kib) / 1024.0);
  return text;
}

struct Options {
  std::vector<uint64_t> sizesMiB;
  int runs = 5;
  std::string like;
};

// Returns the number of files that differed from the generated data.
int MeasureOne(uint64_t sizeMiB, int runs, double blend, double likeRatio, const fs::path& dir,
               const std::string& self) {
  const uint64_t size = sizeMiB * kMiB;
  const std::string label = "big " + std::to_string(sizeMiB) + " MiB";
  const Stopwatch generating;
  const GeneratedStream stream =
      WriteStream(dir / ("stream-" + std::to_string(sizeMiB) + ".bin"), size, blend, sizeMiB);
  const double storedRatio =
      static_cast<double>(stream.blockSize) / static_cast<double>(stream.plainSize);
  std::printf(
      "bench_big_payload: %s: %llu bytes, stored %llu (%.1f%%; real payloads %.1f%%),"
      " made in %.1f s\n",
      label.c_str(), static_cast<unsigned long long>(stream.plainSize),
      static_cast<unsigned long long>(stream.blockSize), 100.0 * storedRatio, 100.0 * likeRatio,
      generating.Milliseconds() / 1000.0);

  const fs::path oursOut = dir / "ours.out";
  const fs::path bareOut = dir / "bare.out";
  std::vector<CaseResult> ours;
  std::vector<CaseResult> bare;
  int differing = 0;
  const auto check = [&](const fs::path& path) {
    if (!SameAsGenerated(path, stream)) {
      std::fprintf(stderr, "bench_big_payload: %s differs from the generated data\n", path.c_str());
      ++differing;
    }
    fs::remove(path);
  };
  const auto runOurs = [&] {
    ours.push_back(RunCase({self, "ours", stream.path.string(), oursOut.string()}));
    check(oursOut);
  };
  const auto runBare = [&] {
    bare.push_back(RunCase({self, "bare", stream.path.string(), std::to_string(stream.blockOffset),
                            std::to_string(stream.blockSize), bareOut.string()}));
    check(bareOut);
  };
  for (int run = 0; run < runs; ++run) {
    // Alternating which goes first keeps the page cache from favouring one.
    if (run % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
  }
  fs::remove(stream.path);

  const auto column = [](const std::vector<CaseResult>& results, double CaseResult::*field) {
    std::vector<double> values;
    for (const CaseResult& r : results)
      values.push_back(r.*field);
    return Summarize(values);
  };
  const auto peak = [](const std::vector<CaseResult>& results, long CaseResult::*field) {
    long most = 0;
    for (const CaseResult& r : results)
      most = std::max(most, r.*field);
    return most;
  };
  const TimingSummary oursWork = column(ours, &CaseResult::workMs);
  const TimingSummary bareWork = column(bare, &CaseResult::workMs);
  const TimingSummary oursRead = column(ours, &CaseResult::readMs);
  const TimingSummary oursSync = column(ours, &CaseResult::syncMs);
  const TimingSummary bareSync = column(bare, &CaseResult::syncMs);
  std::vector<double> oursNoSync;
  std::vector<double> bareNoSync;
  for (const CaseResult& r : ours)
    oursNoSync.push_back(r.workMs - r.syncMs);
  for (const CaseResult& r : bare)
    bareNoSync.push_back(r.workMs - r.syncMs);
  const double ratio = oursWork.median / bareWork.median;
  const double ratioBest = oursWork.best / bareWork.best;
  const double ratioNoSync = Summarize(oursNoSync).median / Summarize(bareNoSync).median;
  // The baseline reads its input inside its time; ours read the block
  // earlier, with the window.
  std::vector<double> oursWithRead;
  for (const CaseResult& r : ours)
    oursWithRead.push_back(r.readMs + r.workMs);
  const double ratioWithRead = Summarize(oursWithRead).median / bareWork.median;
  const long oursPeak = peak(ours, &CaseResult::peakKiB);
  const long barePeak = peak(bare, &CaseResult::peakKiB);
  const long limitKiB = static_cast<long>((size + kMemorySlack) / 1024);

  std::printf("  %d runs each, min / median / max\n", runs);
  std::printf("  ours: read the stream          %s (not in the ratio)\n",
              MinMedianMax(oursRead).c_str());
  std::printf("  ours: SaveToFile               %s, of which fsync %s\n",
              MinMedianMax(oursWork).c_str(), MinMedianMax(oursSync).c_str());
  std::printf("  bare: inflate + fwrite + fsync %s, of which fsync %s\n",
              MinMedianMax(bareWork).c_str(), MinMedianMax(bareSync).c_str());
  std::printf(
      "  ratio ours / bare              %.3fx median, %.3fx best, %.3fx without fsync,"
      " %.3fx with ours' read\n",
      ratio, ratioBest, ratioNoSync, ratioWithRead);
  std::printf("  peak memory ours               %s (wait4 rusage %s)\n", MiB(oursPeak).c_str(),
              MiB(peak(ours, &CaseResult::rusageKiB)).c_str());
  std::printf("  peak memory bare               %s (wait4 rusage %s)\n", MiB(barePeak).c_str(),
              MiB(peak(bare, &CaseResult::rusageKiB)).c_str());

  char value[128];
  std::snprintf(value, sizeof value, "%llu bytes stored in %llu (%.1f%%; real %.1f%%)",
                static_cast<unsigned long long>(stream.plainSize),
                static_cast<unsigned long long>(stream.blockSize), 100.0 * storedRatio,
                100.0 * likeRatio);
  PrintSummaryRow(label + ": generated payload", value, "-", "-");
  PrintSummaryRow(label + ": ours SaveToFile (min/med/max)", MinMedianMax(oursWork), "-", "-");
  PrintSummaryRow(label + ": bare inflate + fwrite + fsync (min/med/max)", MinMedianMax(bareWork),
                  "-", "-");
  std::snprintf(value, sizeof value, "%.3fx median (best %.3fx, no fsync %.3fx)", ratio, ratioBest,
                ratioNoSync);
  char target[32];
  std::snprintf(target, sizeof target, "<= %.2fx", kTargetRatio);
  PrintSummaryRow(label + ": ratio ours / bare", value, target,
                  ratio <= kTargetRatio ? "met" : "MISSED");
  const std::string memoryTarget = "<= " + MiB(limitKiB);
  PrintSummaryRow(label + ": peak memory ours (max of runs)", MiB(oursPeak), memoryTarget,
                  oursPeak <= limitKiB ? "met" : "MISSED");
  PrintSummaryRow(label + ": peak memory bare (max of runs)", MiB(barePeak), memoryTarget,
                  barePeak <= limitKiB ? "met" : "MISSED");
  const int written = 2 * runs;
  PrintSummaryRow(label + ": written files",
                  std::to_string(written - differing) + " of " + std::to_string(written) +
                      " equal the generated data",
                  "all equal", differing == 0 ? "met" : "FAILED");
  return differing;
}

int Run(const Options& options, const std::string& self) {
  const double likeRatio = RealPayloadRatio(options.like);
  const TempDir temp;
  int differing = 0;
  for (const uint64_t sizeMiB : options.sizesMiB) {
    const double blend = BlendFor(likeRatio, sizeMiB);
    differing += MeasureOne(sizeMiB, options.runs, blend, likeRatio, temp.Path(), self);
  }
  return differing == 0 ? 0 : 1;
}

uint64_t ParseUnsigned(const std::string& text) {
  size_t used = 0;
  const unsigned long long value = std::stoull(text, &used);
  if (used != text.size())
    throw std::invalid_argument("not a number: " + text);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ours" && args.size() == 3)
      return RunOurs(args[1], args[2]);
    if (!args.empty() && args[0] == "bare" && args.size() == 5)
      return RunBare(args[1], ParseUnsigned(args[2]), ParseUnsigned(args[3]), args[4]);

    Options options;
    bool usage = false;
    for (size_t i = 0; i < args.size(); ++i) {
      const bool valued = i + 1 < args.size();
      if (args[i] == "--size-mib" && valued) {
        options.sizesMiB.push_back(static_cast<uint64_t>(ParseCount(args[++i])));
      } else if (args[i] == "--runs" && valued) {
        options.runs = ParseCount(args[++i]);
      } else if (args[i] == "--like" && valued) {
        options.like = args[++i];
      } else {
        usage = true;
      }
    }
    if (usage || options.like.empty() || options.sizesMiB.empty()) {
      std::fprintf(stderr,
                   "usage: bench_big_payload --like STREAM --size-mib N [--size-mib N]..."
                   " [--runs N]\n");
      return 2;
    }
    return Run(options, argv[0]);
  } catch (const qv::Exception& e) {
    std::fprintf(stderr, "bench_big_payload: %s: %s\n", e.ClassName(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_big_payload: %s\n", e.what());
  }
  return 1;
}
