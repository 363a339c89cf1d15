#pragma once
// What the benchmarks share: a monotonic stopwatch, the summary of a series
// of timings, a temporary directory, the process's peak memory, whole-file
// reading, and the summary rows that bench/run-bench collects into its table.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::bench {

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double Milliseconds() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

struct TimingSummary {
  double first = 0;  // the cold run, before caches and allocator are warm
  double best = 0;
  double median = 0;
  double worst = 0;
};
// Of a non-empty series, in run order.
TimingSummary Summarize(const std::vector<double>& milliseconds);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the benchmark ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

// The process's peak resident set so far, in KiB (0 when unknown).
long PeakMemoryKiB();

// Raises std::runtime_error naming the file when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// One row of the run-bench summary table, tab-separated after the marker
// "summary" so that the script can find and align it.
void PrintSummaryRow(const std::string& figure, const std::string& value, const std::string& target,
                     const std::string& verdict);

// A positive count from "--name N" style arguments; raises
// std::invalid_argument otherwise.
int ParseCount(const std::string& text);

}  // namespace qv::bench
