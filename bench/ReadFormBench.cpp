// bench_read_form: the time to read the wizard's form stream into a new
// window, natively: the window's construction finds the stream of its
// class, every child is created through the class registry, its
// properties set, its events bound, the payload blocks copied, and the
// loaded notifications given, as the product does before OnCreate.
//
//   bench_read_form STREAM [--runs N]
//
// Exits 1 when a read leaves the window incomplete: a figure for a read
// that did not happen would be meaningless.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MirrorWindow.h"
#include "core/Exceptions.h"

namespace {

constexpr double kTargetMilliseconds = 20.0;

int CountComponents(const qv::TComponent& component) {
  int count = 0;
  for (int i = 0; i < component.ComponentCount(); ++i)
    count += 1 + CountComponents(*component.Components(i));
  return count;
}

int Run(const std::string& path, int runs) {
  using namespace qv::bench;
  RegisterMirrorClasses();
  const std::vector<uint8_t> stream = ReadWholeFile(path);

  std::vector<double> reads;
  std::vector<double> releases;
  int components = 0;
  for (int run = 0; run < runs; ++run) {
    const Stopwatch read;
    std::unique_ptr<TfrmDialog> window = ReadWizardWindow(stream);
    reads.push_back(read.Milliseconds());

    const std::vector<std::string> faults = CheckWizardWindow(*window);
    for (const std::string& fault : faults)
      std::fprintf(stderr, "bench_read_form: read %d: %s\n", run + 1, fault.c_str());
    if (!faults.empty())
      return 1;
    components = CountComponents(*window);

    const Stopwatch release;
    window.reset();
    releases.push_back(release.Milliseconds());
  }

  const TimingSummary read = Summarize(reads);
  const TimingSummary release = Summarize(releases);
  const long peak = PeakMemoryKiB();
  std::printf("bench_read_form: %s\n", path.c_str());
  std::printf("  stream            %zu bytes, %d components per window, 9 payloads checked\n",
              stream.size(), components);
  std::printf("  read (%d runs)    first %.3f ms   best %.3f ms   median %.3f ms\n", runs,
              read.first, read.best, read.median);
  std::printf("  destroy           best %.3f ms   median %.3f ms\n", release.best, release.median);
  std::printf("  read rate         %.0f MB/s at the median\n",
              static_cast<double>(stream.size()) / 1e3 / read.median);
  std::printf("  peak memory       %ld KiB (ru_maxrss)\n", peak);

  char value[96];
  std::snprintf(value, sizeof value, "best %.2f ms, median %.2f ms", read.best, read.median);
  PrintSummaryRow("read frmDialog.bin (" + std::to_string(stream.size()) + " bytes, " +
                      std::to_string(runs) + " runs)",
                  value, "< 20 ms", read.median < kTargetMilliseconds ? "met" : "MISSED");
  PrintSummaryRow("bench_read_form peak memory", std::to_string(peak) + " KiB", "-", "-");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string path;
    int runs = 50;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--runs" && i + 1 < argc) {
        runs = qv::bench::ParseCount(argv[++i]);
      } else if (path.empty() && !arg.starts_with("--")) {
        path = arg;
      } else {
        path.clear();
        break;
      }
    }
    if (path.empty()) {
      std::fprintf(stderr, "usage: bench_read_form STREAM [--runs N]\n");
      return 2;
    }
    return Run(path, runs);
  } catch (const qv::Exception& e) {
    std::fprintf(stderr, "bench_read_form: %s: %s\n", e.ClassName(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_read_form: %s\n", e.what());
  }
  return 1;
}
