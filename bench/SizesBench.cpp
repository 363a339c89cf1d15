// bench_sizes: what Setup.exe costs beyond what it carries. Its payload
// bytes are the nine stored blocks of the wizard's form stream, read with
// the product's own component reader; the program cost is the file's size
// less those. Beside it, optionally, an installer that NSIS built from the
// same nine files: its install data as makensis reported it, and an NSIS
// installer with no files, whose size the full one exceeds by roughly what
// the files cost there.
//
//   bench_sizes --label NAME --setup EXE --stream STREAM
//               [--nsis EXE --nsis-data BYTES --nsis-empty EXE]
//
// Exits 1 when the stream is not the one Setup.exe carries: payload bytes
// taken from another build would make its program cost meaningless.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MirrorWindow.h"
#include "core/Exceptions.h"

namespace {

using namespace qv::bench;
namespace fs = std::filesystem;

constexpr uint64_t kTargetProgramCost = 300 * 1024;

struct Options {
  std::string label;
  std::string setup;
  std::string stream;
  std::string nsis;
  std::string nsisEmpty;
  uint64_t nsisData = 0;
  bool haveNsisData = false;
};

// "1685504" as "1,685,504": the sizes are compared by eye across rows.
std::string Grouped(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string Bytes(uint64_t value) {
  char kib[32];
  std::snprintf(kib, sizeof kib, "%.1f", static_cast<double>(value) / 1024.0);
  return Grouped(value) + " bytes (" + kib + " KiB)";
}

uint64_t FileSize(const std::string& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  if (error)
    throw std::runtime_error(path + ": " + error.message());
  return size;
}

uint64_t ParseBytes(const std::string& text) {
  size_t used = 0;
  const unsigned long long value = std::stoull(text, &used);
  if (used != text.size())
    throw std::invalid_argument("not a byte count: " + text);
  return value;
}

int Run(const Options& options) {
  RegisterMirrorClasses();
  const std::vector<uint8_t> stream = ReadWholeFile(options.stream);
  const std::vector<uint8_t> setup = ReadWholeFile(options.setup);
  // The stream travels whole as a resource: if it is not in the file, it
  // belongs to another build than the program measured.
  if (std::search(setup.begin(), setup.end(), stream.begin(), stream.end()) == setup.end()) {
    std::fprintf(stderr, "bench_sizes: %s does not carry %s\n", options.setup.c_str(),
                 options.stream.c_str());
    return 1;
  }

  const std::unique_ptr<TfrmDialog> window = ReadWizardWindow(stream);
  const std::vector<std::string> faults = CheckWizardWindow(*window);
  for (const std::string& fault : faults)
    std::fprintf(stderr, "bench_sizes: %s\n", fault.c_str());
  if (!faults.empty())
    return 1;
  uint64_t payloadBytes = 0;
  uint64_t inflatedBytes = 0;
  for (qv::TCompressedBinaryData* payload : window->Payloads()) {
    // Compressed, so the stored size is the block's, not the data's.
    payloadBytes += static_cast<uint64_t>(payload->GetDataSize());
    inflatedBytes += static_cast<uint64_t>(payload->GetData().Size());
  }

  const uint64_t setupSize = setup.size();
  const uint64_t programCost = setupSize - payloadBytes;
  const std::string& label = options.label;
  std::printf("bench_sizes (%s): %s\n", label.c_str(), options.setup.c_str());
  std::printf("  Setup.exe            %s\n", Bytes(setupSize).c_str());
  std::printf("  payloads stored      %s, %s inflated (%.1f%%)\n", Bytes(payloadBytes).c_str(),
              Grouped(inflatedBytes).c_str(),
              100.0 * static_cast<double>(payloadBytes) / static_cast<double>(inflatedBytes));
  std::printf("  program cost         %s\n", Bytes(programCost).c_str());
  PrintSummaryRow("size " + label + ": Setup.exe", Bytes(setupSize), "-", "-");
  PrintSummaryRow("size " + label + ": Setup.exe payload bytes (9 stored blocks)",
                  Bytes(payloadBytes), "-", "-");
  PrintSummaryRow("size " + label + ": Setup.exe program cost (size - payloads)",
                  Bytes(programCost), "<= " + Grouped(kTargetProgramCost) + " bytes",
                  programCost <= kTargetProgramCost ? "met" : "MISSED");

  if (options.nsis.empty())
    return 0;
  const uint64_t nsisSize = FileSize(options.nsis);
  std::printf("  NSIS installer       %s\n", Bytes(nsisSize).c_str());
  PrintSummaryRow("size " + label + ": NSIS installer (zlib, same 9 files)", Bytes(nsisSize), "-",
                  "-");
  if (options.haveNsisData) {
    if (options.nsisData > nsisSize)
      throw std::runtime_error("the NSIS install data is larger than its installer");
    std::printf("  NSIS install data    %s\n", Bytes(options.nsisData).c_str());
    std::printf("  NSIS program cost    %s\n", Bytes(nsisSize - options.nsisData).c_str());
    PrintSummaryRow("size " + label + ": NSIS install data (makensis)", Bytes(options.nsisData),
                    "-", "-");
    PrintSummaryRow("size " + label + ": NSIS program cost (size - install data)",
                    Bytes(nsisSize - options.nsisData), "-", "-");
  }
  if (!options.nsisEmpty.empty()) {
    const uint64_t emptySize = FileSize(options.nsisEmpty);
    std::printf("  NSIS with no files   %s\n", Bytes(emptySize).c_str());
    PrintSummaryRow("size " + label + ": NSIS installer with no files", Bytes(emptySize), "-", "-");
    if (nsisSize >= emptySize) {
      PrintSummaryRow("size " + label + ": NSIS full - empty (~ payload cost)",
                      Bytes(nsisSize - emptySize), "-", "-");
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      const bool valued = i + 1 < argc;
      if (arg == "--label" && valued) {
        options.label = argv[++i];
      } else if (arg == "--setup" && valued) {
        options.setup = argv[++i];
      } else if (arg == "--stream" && valued) {
        options.stream = argv[++i];
      } else if (arg == "--nsis" && valued) {
        options.nsis = argv[++i];
      } else if (arg == "--nsis-data" && valued) {
        options.nsisData = ParseBytes(argv[++i]);
        options.haveNsisData = true;
      } else if (arg == "--nsis-empty" && valued) {
        options.nsisEmpty = argv[++i];
      } else {
        usage = true;
      }
    }
    if (usage || options.label.empty() || options.setup.empty() || options.stream.empty()) {
      std::fprintf(stderr,
                   "usage: bench_sizes --label NAME --setup EXE --stream STREAM\n"
                   "                   [--nsis EXE --nsis-data BYTES --nsis-empty EXE]\n");
      return 2;
    }
    return Run(options);
  } catch (const qv::Exception& e) {
    std::fprintf(stderr, "bench_sizes: %s: %s\n", e.ClassName(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_sizes: %s\n", e.what());
  }
  return 1;
}
