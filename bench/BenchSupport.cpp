#include "BenchSupport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qv::bench {

TimingSummary Summarize(const std::vector<double>& milliseconds) {
  if (milliseconds.empty())
    throw std::invalid_argument("no timings to summarize");
  std::vector<double> sorted = milliseconds;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  const double median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  return TimingSummary{milliseconds.front(), sorted.front(), median, sorted.back()};
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qv-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary directory: " +
                             std::string(std::strerror(errno)));
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

long PeakMemoryKiB() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0)
    return 0;
  // In kilobytes on the systems the native build runs on.
  return usage.ru_maxrss;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad())
    throw std::runtime_error("cannot read " + path);
  return bytes;
}

void PrintSummaryRow(const std::string& figure, const std::string& value, const std::string& target,
                     const std::string& verdict) {
  std::printf("summary\t%s\t%s\t%s\t%s\n", figure.c_str(), value.c_str(), target.c_str(),
              verdict.c_str());
}

int ParseCount(const std::string& text) {
  size_t used = 0;
  const int value = std::stoi(text, &used);
  if (used != text.size() || value <= 0)
    throw std::invalid_argument("not a positive count: " + text);
  return value;
}

}  // namespace qv::bench
