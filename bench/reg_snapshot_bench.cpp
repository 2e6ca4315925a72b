// Registry snapshot of all five roots of a fresh prefix (the files CRegSnapshot writes), against
// the baseline of Wine's own "reg export" of the same five roots (one cmd run that exports them
// all, Wine start and server shutdown included, as a user would run it).
// The prefix is a copy of $WINEPREFIX when that holds system.reg; otherwise the tests' copy of
// their pristine prefix (tests/support/wine_prefix.h).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "core/status_values.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/include_exclude_rules.h"
#include "session/work_context_setup.h"
#include "snapshot/reg_snapshot.h"
#include "snapshot/registry_enumerate.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

fs::path g_folder;
fs::path g_prefix;
fs::path g_home;
std::unique_ptr<WinePrefixCopy> g_machine;  // the tests' copy of their pristine prefix
CWorkContext g_context;
const wchar_t* const kRoots[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                 L"HKEY_CURRENT_CONFIG"};
long g_keys = 0;
uintmax_t g_bytes = 0;

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

bool PreparePrefix() {
  g_folder = fs::temp_directory_path() / ("corvane-regsnap-bench-" + std::to_string(std::rand()));
  fs::create_directories(g_folder / "out");
  const char* given = std::getenv("WINEPREFIX");
  if (given != nullptr && fs::exists(fs::path(given) / "system.reg")) {
    g_home = g_folder / "home";
    fs::create_directories(g_home);
    g_prefix = g_folder / "prefix";
    if (std::system(("cp -a " + Quote(given) + " " + Quote(g_prefix)).c_str()) != 0) return false;
  } else {
    if (bench::PristinePrefixFolder().empty()) return false;
    g_machine = std::make_unique<WinePrefixCopy>();
    if (!g_machine->ok()) return false;
    g_prefix = g_machine->prefix();
    g_home = g_machine->home();
  }
  setenv("WINEPREFIX", g_prefix.c_str(), 1);
  platform::Machine::Reset();
  SetupWorkContext(g_context, std::wstring(), std::wstring());
  return fs::exists(g_prefix / "system.reg");
}

void TakeAll() {
  CIncludeExcludeRules rules;
  CRegistryEnumerate enumerator(g_context, rules);
  KeyCounter.store(0);
  g_bytes = 0;
  for (size_t i = 0; i < std::size(kRoots); ++i) {
    const fs::path file = g_folder / "out" / ("RegSnapShot" + std::to_string(i) + ".reg");
    enumerator.TakeSnapShot(kRoots[i], platform::Machine::WindowsPath(file));
    g_bytes += fs::file_size(file);
  }
  g_keys = KeyCounter.load();
}

void BM_SnapshotFiveRoots(benchmark::State& state) {
  for (auto _ : state) TakeAll();
  state.counters["keys"] = static_cast<double>(g_keys);
  state.counters["MB"] = static_cast<double>(g_bytes) / 1e6;
}
BENCHMARK(BM_SnapshotFiveRoots)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double MillisecondsOf(void (*work)()) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void RegExport() {
  {
    std::ofstream batch(g_prefix / "drive_c" / "export.bat", std::ios::binary);
    const char* roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
    for (const char* root : roots) batch << "reg export " << root << " C:\\export-" << root << ".reg /y\r\n";
  }
  const std::string command = "env -i PATH=/usr/lib/wine:/usr/bin:/bin HOME=" + Quote(g_home) +
                              " USER=root WINEPREFIX=" + Quote(g_prefix) +
                              " WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d'"
                              " sh -c 'wine64 cmd /c C:\\\\export.bat >/dev/null 2>&1; wineserver -w'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "reg export failed\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (!PreparePrefix()) {
    std::fprintf(stderr, "no usable prefix: the benchmark is void\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  // The ratio, each side the best of three runs.
  double ours = 1e30;
  double baseline = 1e30;
  for (int run = 0; run < 3; ++run) {
    ours = std::min(ours, MillisecondsOf(TakeAll));
    baseline = std::min(baseline, MillisecondsOf(RegExport));
  }
  std::printf("snapshot of the five roots: %ld keys, %.1f MB written, %.1f ms\n", g_keys,
              static_cast<double>(g_bytes) / 1e6, ours);
  std::printf("baseline wine reg export of the five roots: %.1f ms\n", baseline);
  std::printf("ratio snapshot / reg export: %.3f\n", ours / baseline);

  benchmark::Shutdown();
  g_machine.reset();
  std::error_code ec;
  fs::remove_all(g_folder, ec);
  return 0;
}
