// bench_payloads: writing the wizard's nine payloads to disk the product's
// way (TCompressedBinaryData::SaveToFile, as the installation calls it,
// inflating through the zlib stream wrappers straight into the file of the
// native file layer) against the least a program could do with zlib alone
// (inflate each block into one buffer, write it with write(2)). Best of
// several runs; their ratio is the cost of the product's layers.
//
//   bench_payloads STREAM [--runs N] [--payload-list FILE]
//
// FILE is the build's payload-files.txt ("component=path" per line): it
// names the file each payload is written to and the source file it must
// equal. Without it the files are named after their components and only
// the two ways' outputs are compared with each other. Any difference
// exits 1: a figure for writing the wrong bytes would be meaningless.
#define ZLIB_CONST
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "BenchSupport.h"
#include "MirrorWindow.h"
#include "core/Exceptions.h"
#include "core/Stream.h"
#include "formstream/FileLayer.h"

namespace {

using namespace qv::bench;
namespace fs = std::filesystem;

constexpr double kTargetRatio = 1.25;

struct Payload {
  std::string component;
  std::string fileName;
  std::string source;          // empty: no source file to compare with
  std::vector<uint8_t> block;  // the stored zlib stream
};

// The time one way spends in each half of its work, over all nine files.
struct Split {
  double inflate = 0;
  double write = 0;
  double Total() const { return inflate + write; }
};

std::map<std::string, std::string> ReadPayloadList(const std::string& path) {
  std::map<std::string, std::string> list;
  if (path.empty())
    return list;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos)
      list[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return list;
}

std::vector<uint8_t> InflateBare(const std::vector<uint8_t>& block) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK)
    throw std::runtime_error("inflateInit failed");
  // The inflated size is not stored: start from a guess and double.
  std::vector<uint8_t> out(std::max<size_t>(block.size() * 4, 65536));
  zs.next_in = block.data();
  zs.avail_in = static_cast<uInt>(block.size());
  for (;;) {
    zs.next_out = out.data() + zs.total_out;
    zs.avail_out = static_cast<uInt>(out.size() - zs.total_out);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END)
      break;
    if (rc != Z_OK) {
      inflateEnd(&zs);
      throw std::runtime_error("zlib inflate failed");
    }
    if (zs.avail_out == 0)
      out.resize(out.size() * 2);
  }
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

void WriteBare(const fs::path& path, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw std::runtime_error(path.string() + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      const int error = errno;
      ::close(fd);
      throw std::runtime_error(path.string() + ": " + std::strerror(error));
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0)
    throw std::runtime_error(path.string() + ": " + std::strerror(errno));
}

void RemoveFiles(const std::vector<Payload>& payloads, const fs::path& dir) {
  for (const Payload& payload : payloads)
    fs::remove(dir / payload.fileName);
}

Split RunProduct(const TfrmDialog& window, const std::vector<Payload>& payloads,
                 const fs::path& dir) {
  Split split;
  const auto components = window.Payloads();
  for (size_t i = 0; i < payloads.size(); ++i) {
    // Inflating and writing interleave inside it: the whole call counts as
    // writing.
    const Stopwatch write;
    components[i]->SaveToFile((dir / payloads[i].fileName).string(), qv::NativeFileLayer());
    split.write += write.Milliseconds();
  }
  return split;
}

Split RunBare(const std::vector<Payload>& payloads, const fs::path& dir) {
  Split split;
  // Kept until the end, so that freeing them is not measured.
  std::vector<std::vector<uint8_t>> plain(payloads.size());
  for (size_t i = 0; i < payloads.size(); ++i) {
    const Stopwatch inflate;
    plain[i] = InflateBare(payloads[i].block);
    split.inflate += inflate.Milliseconds();
    const Stopwatch write;
    WriteBare(dir / payloads[i].fileName, plain[i]);
    split.write += write.Milliseconds();
  }
  return split;
}

// Each column's own best or median over the runs: the halves of one way
// need not have their best in the same run.
TimingSummary Column(const std::vector<Split>& runs, double (*part)(const Split&)) {
  std::vector<double> values;
  for (const Split& run : runs)
    values.push_back(part(run));
  return Summarize(values);
}

double TotalOf(const Split& split) {
  return split.Total();
}
double InflateOf(const Split& split) {
  return split.inflate;
}
double WriteOf(const Split& split) {
  return split.write;
}

std::unique_ptr<TfrmDialog> ReadCheckedWindow(const std::vector<uint8_t>& stream) {
  std::unique_ptr<TfrmDialog> window = ReadWizardWindow(stream);
  const std::vector<std::string> faults = CheckWizardWindow(*window);
  for (const std::string& fault : faults)
    std::fprintf(stderr, "bench_payloads: %s\n", fault.c_str());
  if (!faults.empty())
    throw std::runtime_error("the wizard window was not read completely");
  return window;
}

int Run(const std::string& streamPath, const std::string& listPath, int runs) {
  RegisterMirrorClasses();
  const std::vector<uint8_t> stream = ReadWholeFile(streamPath);
  const std::map<std::string, std::string> list = ReadPayloadList(listPath);

  std::vector<Payload> payloads;
  {
    const std::unique_ptr<TfrmDialog> window = ReadCheckedWindow(stream);
    const auto components = window->Payloads();
    for (size_t i = 0; i < components.size(); ++i) {
      Payload payload;
      payload.component = kPayloadNames[i];
      payload.fileName = payload.component;
      const auto listed = list.find(payload.component);
      if (listed != list.end()) {
        payload.fileName = fs::path(listed->second).filename().string();
        if (fs::is_regular_file(listed->second))
          payload.source = listed->second;
      }
      // The Payload block: the stored size, then the stored bytes.
      qv::TMemoryStream block;
      components[i]->WriteData(block);
      payload.block.assign(block.Memory() + 4, block.Memory() + block.Size());
      payloads.push_back(std::move(payload));
    }
  }

  const TempDir temp;
  const fs::path layerDir = temp.Path() / "layer";
  const fs::path bareDir = temp.Path() / "bare";
  fs::create_directory(layerDir);
  fs::create_directory(bareDir);

  std::vector<Split> product;
  std::vector<Split> bare;
  for (int run = 0; run < runs; ++run) {
    // A fresh window each run, as an installation writes each payload of
    // its window once.
    const std::unique_ptr<TfrmDialog> window = ReadCheckedWindow(stream);
    // New files each run: a file replaced by truncation is pushed to the
    // disk on close by some file systems, and the figures would time the
    // disk instead of the code.
    RemoveFiles(payloads, layerDir);
    RemoveFiles(payloads, bareDir);
    // Alternating which way goes first keeps cache and page-cache warmth
    // from favouring one of them.
    if (run % 2 == 0) {
      product.push_back(RunProduct(*window, payloads, layerDir));
      bare.push_back(RunBare(payloads, bareDir));
    } else {
      bare.push_back(RunBare(payloads, bareDir));
      product.push_back(RunProduct(*window, payloads, layerDir));
    }
  }

  std::printf("bench_payloads: %s\n", streamPath.c_str());
  std::printf("  %-10s %-14s %10s %10s  %s\n", "component", "file", "stored", "inflated",
              "written file");
  int mismatches = 0;
  int checkedAgainstSource = 0;
  uint64_t storedTotal = 0;
  uint64_t inflatedTotal = 0;
  for (const Payload& payload : payloads) {
    const std::vector<uint8_t> layer = ReadWholeFile((layerDir / payload.fileName).string());
    const std::vector<uint8_t> reference = ReadWholeFile((bareDir / payload.fileName).string());
    std::string verdict;
    if (layer != reference) {
      verdict = "DIFFERS from zlib's inflation";
      ++mismatches;
    } else if (payload.source.empty()) {
      verdict = "equals zlib's inflation (no source to compare)";
    } else if (layer != ReadWholeFile(payload.source)) {
      verdict = "DIFFERS from " + payload.source;
      ++mismatches;
    } else {
      verdict = "equals the source";
      ++checkedAgainstSource;
    }
    storedTotal += payload.block.size();
    inflatedTotal += layer.size();
    std::printf("  %-10s %-14s %10zu %10zu  %s\n", payload.component.c_str(),
                payload.fileName.c_str(), payload.block.size(), layer.size(), verdict.c_str());
  }

  const TimingSummary productTotal = Column(product, TotalOf);
  const TimingSummary bareTotal = Column(bare, TotalOf);
  const double ratio = productTotal.best / bareTotal.best;
  const double medianRatio = productTotal.median / bareTotal.median;
  const long peak = PeakMemoryKiB();
  std::printf("  total      %-14s %10llu %10llu\n", "",
              static_cast<unsigned long long>(storedTotal),
              static_cast<unsigned long long>(inflatedTotal));
  std::printf("  %d runs, each column's best (median)\n", runs);
  std::printf("  %-22s %-20s %-20s %-20s\n", "", "total", "inflate", "write");
  const auto row = [](const char* way, const std::vector<Split>& splits) {
    const TimingSummary total = Column(splits, TotalOf);
    const TimingSummary inflate = Column(splits, InflateOf);
    const TimingSummary write = Column(splits, WriteOf);
    std::printf("  %-22s %6.3f (%6.3f) ms   %6.3f (%6.3f) ms   %6.3f (%6.3f) ms\n", way, total.best,
                total.median, inflate.best, inflate.median, write.best, write.median);
  };
  std::printf("  %-22s %6.3f (%6.3f) ms   inflates while it writes\n", "SaveToFile",
              productTotal.best, productTotal.median);
  row("bare zlib + write(2)", bare);
  std::printf("  ratio                  %.3fx best, %.3fx median\n", ratio, medianRatio);
  std::printf("  peak memory            %ld KiB (ru_maxrss)\n", peak);

  char value[96];
  std::snprintf(value, sizeof value, "best %.2f ms", productTotal.best);
  PrintSummaryRow("payloads: SaveToFile (" + std::to_string(inflatedTotal) + " bytes)", value, "-",
                  "-");
  std::snprintf(value, sizeof value, "best %.2f ms", bareTotal.best);
  PrintSummaryRow("payloads: bare zlib inflate + write(2)", value, "-", "-");
  std::snprintf(value, sizeof value, "%.3fx (median %.3fx)", ratio, medianRatio);
  PrintSummaryRow("payloads: ratio product / bare", value, "<= 1.25x",
                  ratio <= kTargetRatio ? "met" : "MISSED");
  PrintSummaryRow("payloads: written files",
                  mismatches != 0 ? std::to_string(mismatches) + " differ"
                  : checkedAgainstSource == static_cast<int>(payloads.size())
                      ? "9 of 9 equal their sources"
                      : std::to_string(checkedAgainstSource) + " of 9 checked against sources",
                  "all equal", mismatches == 0 ? "met" : "FAILED");
  PrintSummaryRow("bench_payloads peak memory", std::to_string(peak) + " KiB", "-", "-");
  return mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string stream;
    std::string list;
    int runs = 30;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--runs" && i + 1 < argc) {
        runs = ParseCount(argv[++i]);
      } else if (arg == "--payload-list" && i + 1 < argc) {
        list = argv[++i];
      } else if (stream.empty() && !arg.starts_with("--")) {
        stream = arg;
      } else {
        usage = true;
      }
    }
    if (usage || stream.empty()) {
      std::fprintf(stderr, "usage: bench_payloads STREAM [--runs N] [--payload-list FILE]\n");
      return 2;
    }
    return Run(stream, list, runs);
  } catch (const qv::Exception& e) {
    std::fprintf(stderr, "bench_payloads: %s: %s\n", e.ClassName(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_payloads: %s\n", e.what());
  }
  return 1;
}
