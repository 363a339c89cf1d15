// bench_startup: how long an administrator waits for the wizard, from
// starting Setup.exe to the wizard window being on the screen (visible,
// found by its class and caption as the end-to-end scenarios find it).
// Setup shows the wizard from a 300 ms timer started with its background
// window, a wait it makes on purpose; that is taken off the figure.
//
//   bench_startup SETUP_EXE [RUNS]
//
// Meant for a Wine prefix of its own (bench/run-bench makes one): it
// creates the host mail server's registry key, without which the
// pre-install checks end Setup before the wizard. Each run ends Setup as a
// user would (Exit, then Yes), so that the next one starts as this one
// did. Prints one line per run, then summary rows for run-bench's table;
// exits 1 when a run does not reach the wizard.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "Driver.h"

namespace e2e = qv::e2e;

namespace {

constexpr char kCaption[] = "Installing Quolvex Antivirus 5.0";
constexpr char kBackgroundClass[] = "TfrmBackground";
constexpr char kWizardClass[] = "TfrmDialog";
constexpr char kMessageClass[] = "TMessageForm";
constexpr char kHostKey[] = "SOFTWARE\\Ipswitch\\IMail";
constexpr double kStartTimerMs = 300;
// Finding a window asks the window server about every top-level window;
// polling much faster would take the processor from Setup itself.
constexpr DWORD kPollMs = 5;
// A first start in a fresh prefix is slow under Wine.
constexpr DWORD kStartTimeoutMs = 60000;

#if defined(_WIN64)
constexpr char kArch[] = "win64";
#else
constexpr char kArch[] = "win32";
#endif

double Now() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

struct Run {
  double background = 0;  // from the start, ms; 0 when no poll saw it
  double wizard = 0;
};

// One start of Setup up to its wizard, and its end.
Run TimeOneStart(const std::string& setup) {
  Run run;
  const double start = Now();
  e2e::Process process = e2e::Launch(setup, DirectoryOf(setup));
  HWND wizard = nullptr;
  for (;;) {
    if (run.background == 0 && e2e::FindTopWindow(kCaption, kBackgroundClass, &process)) {
      run.background = Now() - start;
    }
    wizard = e2e::FindTopWindow(kCaption, kWizardClass, &process);
    if (wizard != nullptr) {
      run.wizard = Now() - start;
      break;
    }
    if (!process.Running()) {
      throw e2e::DriverError("Setup ended before its wizard came up\n" +
                             e2e::DumpTopLevelWindows());
    }
    if (Now() - start > kStartTimeoutMs) {
      throw e2e::DriverError("no wizard within " + std::to_string(kStartTimeoutMs) + " ms\n" +
                             e2e::DumpTopLevelWindows());
    }
    ::Sleep(kPollMs);
  }

  e2e::Click(e2e::RequireControl(wizard, "Button", "Exit"));
  const HWND question = e2e::WaitWindow("Information", kMessageClass, 10000, &process);
  e2e::Click(e2e::RequireControl(question, "Button", "Yes"));
  if (!e2e::WaitExit(process, 15000)) {
    throw e2e::DriverError("Setup did not end after Exit and Yes");
  }
  return run;
}

struct Spread {
  double min = 0;
  double median = 0;
  double max = 0;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return Spread{values.front(), median, values.back()};
}

std::string Text(const Spread& spread) {
  char text[96];
  std::snprintf(text, sizeof text, "%.0f / %.0f / %.0f ms", spread.min, spread.median, spread.max);
  return text;
}

void SummaryRow(const std::string& figure, const std::string& value) {
  std::printf("summary\t%s\t%s\t-\t-\n", figure.c_str(), value.c_str());
}

int Main(const std::string& setup, int runs) {
  e2e::CreateRegistryKey(HKEY_LOCAL_MACHINE, kHostKey);
  std::vector<double> wizard;
  std::vector<double> background;
  std::printf("bench_startup (%s): %s, %d runs, polled every %lu ms\n", kArch, setup.c_str(), runs,
              kPollMs);
  for (int i = 0; i < runs; ++i) {
    const Run run = TimeOneStart(setup);
    wizard.push_back(run.wizard - kStartTimerMs);
    if (run.background > 0) {
      background.push_back(run.background);
    }
    std::printf(
        "  run %d: background after %.0f ms, wizard after %.0f ms (%.0f without the timer)\n",
        i + 1, run.background, run.wizard, run.wizard - kStartTimerMs);
    std::fflush(stdout);
  }
  const std::string label = std::string("start-up ") + kArch + ": ";
  const std::string count = " (" + std::to_string(runs) + " runs, min/med/max)";
  SummaryRow(label + "Setup.exe to wizard visible, less the 300 ms timer" + count,
             Text(SpreadOf(wizard)));
  if (!background.empty()) {
    SummaryRow(label + "Setup.exe to background visible (" + std::to_string(background.size()) +
                   " runs seen, min/med/max)",
               Text(SpreadOf(background)));
  }
  char first[64];
  std::snprintf(first, sizeof first, "%.0f ms", wizard.front());
  SummaryRow(label + "first run, wizard less the timer (fresh prefix)", first);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: bench_startup SETUP_EXE [RUNS]\n");
    return 2;
  }
  const int runs = argc == 3 ? std::atoi(argv[2]) : 5;
  if (runs <= 0) {
    std::fprintf(stderr, "bench_startup: not a positive count: %s\n", argv[2]);
    return 2;
  }
  try {
    return Main(argv[1], runs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_startup: %s\n", e.what());
  }
  return 1;
}
