// The whole capture of the sample setup with the command line (-Capture: machine preparation,
// first snapshot, the setup's run, second snapshot, comparison, project file, package) on a fresh
// copy of a Wine prefix, against the baseline: the same setup run alone under Wine on a fresh copy
// (wine64 start /wait, then the wait for the prefix's server). Both for the sample built as it is
// (64-bit) and built as a 32-bit setup (Target x86-unicode; it runs in Wine's 32-bit half and
// starts the 32-bit loader). Reports, per build, the total time, the setup's share of it and ours,
// and the ratio of the capture to the setup alone.
//
// Needs makensis and Wine (with its 32-bit half); each run is on the tests' copy of their pristine
// prefix (tests/support/wine_prefix.h), made with scripts/make-prefix.sh when no test run has made
// it (about 15 s, once).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_support.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

struct Workplace {
  fs::path root;
  fs::path pristine;  // the tests' pristine prefix folder (made here when missing)
  fs::path setup64;
  fs::path setup32;
  bool ok = false;
  const fs::path& Setup(int64_t bits) const { return bits == 32 ? setup32 : setup64; }
};

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Workplace& Place() {
  static const Workplace place = [] {
    Workplace made;
    made.root = fs::temp_directory_path() / ("corvane-capture-bench-" + std::to_string(std::rand()));
    fs::create_directories(made.root);
    const fs::path source = CORVANE_SOURCE_DIR;
    const std::string sample = "bash " + Quote(source / "examples" / "sample-installer" / "build.sh") + " " +
                               Quote(made.root / "setup64") + " >/dev/null 2>&1";
    // The 32-bit build: a copy of the sample whose scripts name the 32-bit target.
    const fs::path copy = made.root / "sample32";
    const std::string sample32 = "cp -r " + Quote(source / "examples" / "sample-installer") + " " + Quote(copy) +
                                 " && sed -i 's/^Target amd64-unicode/Target x86-unicode/' " + Quote(copy / "app.nsi") +
                                 " " + Quote(copy / "sample.nsi") + " && bash " + Quote(copy / "build.sh") + " " +
                                 Quote(made.root / "setup32") + " >/dev/null 2>&1";
    made.pristine = bench::PristinePrefixFolder();
    made.ok = !made.pristine.empty() && std::system(sample.c_str()) == 0 && std::system(sample32.c_str()) == 0;
    made.setup64 = made.root / "setup64" / "CorvaneSampleSetup.exe";
    made.setup32 = made.root / "setup32" / "CorvaneSampleSetup.exe";
    return made;
  }();
  return place;
}

// The start of a shell command that runs in the fresh machine's clean environment, as the tests run Wine.
std::string CleanEnvironment(const WinePrefixCopy& machine) {
  std::string command = "env -i";
  for (const std::string& variable : machine.WineEnvironment()) command += " '" + variable + "'";
  return command + " ";
}

// Figures per build (index 0: 32-bit, 1: 64-bit), for the closing summary.
struct Figures {
  double captureSeconds = 0;
  double setupInCapture = 0;
  double setupAlone = 0;
};
Figures g_figures[2];
Figures& FiguresOf(int64_t bits) { return g_figures[bits == 32 ? 0 : 1]; }

// A number after `label` in the program's closing line of times.
double TimeAfter(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  return at == std::string::npos ? -1 : std::atof(text.c_str() + at + label.size());
}

void BM_CaptureOfTheSample(benchmark::State& state) {
  const Workplace& place = Place();
  if (!place.ok) {
    state.SkipWithError("no prefix or no sample setup (Wine and makensis are needed)");
    return;
  }
  double total = 0, setup = 0, ours = 0;
  for (auto _ : state) {
    WinePrefixCopy machine;  // a fresh machine: the tests' copy of the pristine prefix
    if (!machine.ok()) {
      state.SkipWithError(machine.error().c_str());
      return;
    }
    fs::remove_all(place.root / "program");
    fs::copy(CORVANE_PROGRAM_DIR, place.root / "program");
    const fs::path log = place.root / "capture.log";
    const std::string command = CleanEnvironment(machine) + Quote(place.root / "program" / "CorvaneRepackager") +
                                " -Capture=" + Quote(place.Setup(state.range(0))) + " -Path=" + Quote(place.root / "out") + " >" +
                                Quote(log) + " 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    const std::string output = ReadFile(log);
    if (status != 0) {
      state.SkipWithError(("the capture failed: " + output).c_str());
      return;
    }
    total += seconds;
    setup += TimeAfter(output, "setup ");
    ours += TimeAfter(output, "(ours ");
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["total_s"] = total / n;
  state.counters["setup_s"] = setup / n;
  state.counters["ours_s"] = ours / n;
  state.counters["ours_share"] = ours / total;
  FiguresOf(state.range(0)).captureSeconds = total / n;
  FiguresOf(state.range(0)).setupInCapture = setup / n;
}

void BM_SetupAloneBaseline(benchmark::State& state) {
  const Workplace& place = Place();
  if (!place.ok) {
    state.SkipWithError("no prefix or no sample setup (Wine and makensis are needed)");
    return;
  }
  double total = 0;
  for (auto _ : state) {
    WinePrefixCopy machine;
    if (!machine.ok()) {
      state.SkipWithError(machine.error().c_str());
      return;
    }
    const std::string env = CleanEnvironment(machine);
    const std::string command = env + "wine64 start /wait /unix " + Quote(place.Setup(state.range(0))) + " >/dev/null 2>&1 && " + env +
                                "wineserver -w";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (status != 0) {
      state.SkipWithError("the setup did not run");
      return;
    }
    total += seconds;
  }
  FiguresOf(state.range(0)).setupAlone = total / static_cast<double>(state.iterations());
  state.counters["setup_alone_s"] = FiguresOf(state.range(0)).setupAlone;
}

// The argument is the setup's bitness.
BENCHMARK(BM_SetupAloneBaseline)->Arg(64)->Arg(32)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CaptureOfTheSample)->Arg(64)->Arg(32)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int bits : {64, 32}) {
    const Figures& f = FiguresOf(bits);
    if (f.captureSeconds <= 0 || f.setupAlone <= 0) continue;
    std::printf("\nWhole capture of the %d-bit sample: %.2f s; the setup's own run inside it %.2f s (%.0f%%), ours "
                "%.2f s (%.0f%%).\nRatio against the baseline (the setup run alone under Wine, %.2f s): %.2fx\n",
                bits, f.captureSeconds, f.setupInCapture, 100.0 * f.setupInCapture / f.captureSeconds,
                f.captureSeconds - f.setupInCapture, 100.0 * (f.captureSeconds - f.setupInCapture) / f.captureSeconds,
                f.setupAlone, f.captureSeconds / f.setupAlone);
  }
  if (!Place().root.empty()) fs::remove_all(Place().root);
  return 0;
}
