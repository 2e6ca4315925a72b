// Package build: a generated project of many files built into a package, against wixl building a
// package of the same files (the baseline), and the build time as the file count grows.
//
//   package_build_bench                       all benchmarks but the 3 GB one
//   BM_BuildVersusWixl/2000/4                 2,000 small files (about 4 KB): our build and wixl's
//   BM_BuildVersusWixl/10000/50               10,000 files of about 50 KB
//   BM_BuildVersusWixl/3000/1024              3,000 files of about 1 MB (3 GB; needs about 8 GB of
//                                             free disk): run only with CORVANE_BENCH_LARGE=1, and
//                                             its files are deleted afterwards
//   BM_BuildBigRandom/2500/1024               2,500 files of 1 MiB of random bytes: a package over
//                                             2 GB on disk (the cabinets cannot shrink it); only
//                                             with CORVANE_BENCH_LARGE=1, no wixl (it would hold
//                                             the 2.6 GB cabinet in memory), deleted afterwards
//   BM_BuildScaling/{1000,10000,40000}        small files: how the table writing grows
//   BM_BuildScalingRowByRow/{10000,40000}     the same with every row inserted one by one
//
// Peak memory is the process's peak resident size (VmHWM, reset before our build), and wixl's as
// reported by /usr/bin/time. VmHWM starts from what this process already holds (the benchmark
// library, the engine's libraries), which differs from what the program holds, so each wixl case
// also runs the program itself (`CorvaneRepackager <project> -Path=...`) under /usr/bin/time,
// measured exactly as wixl is: "the program" line. CPU time (user + system, every thread) is printed beside the wall
// time: on a machine shared with other work, wall times swing with the load, CPU times do not. wixl (0.101) makes one cabinet whatever the size (its Media rows other
// than 1 are refused), so for 3 GB it may fail: its time and peak are printed with its exit status.
//
// CORVANE_BENCH_WRAP=<command> runs the program's build under that command (between /usr/bin/time
// and the program), e.g. "perf record -g -o /tmp/build.data" or "heaptrack -o /tmp/build".
//
// CORVANE_BENCH_KEEP=<folder> keeps the big package and its source files there (for
// scripts/check-big-package.sh, which installs it with Wine and compares every file).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "bench_support.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/machine.h"
#include "session/work_context_setup.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

// The tests' fixture prefix (C: a folder of ours, Z: the host root); our files in its scratch folder.
struct BenchMachine {
  FixturePrefix prefix;
  fs::path root = prefix.Scratch();
  BenchMachine() {
    fs::create_directories(root / "out");
    prefix.InDriveC("Temp/Temp", true);
    prefix.Activate();
  }
};

BenchMachine& Machine() {
  static BenchMachine machine;
  return machine;
}

// `count` files in folders of 100, each about `size` bytes of seeded random words (compressible
// like text), or exactly `size` random bytes when `incompressible`, and the project naming them.
// Returns the project's host path.
fs::path MakeProject(const std::string& name, int count, size_t size, bool incompressible = false) {
  const fs::path folder = Machine().prefix.driveC() / name;
  // Big sets are made by blocks of words drawn at random from a pool (as fast as the disk).
  std::string pool;
  if (size >= 256 * 1024) {
    std::mt19937 poolRandom(7);
    while (pool.size() < (8u << 20)) pool += "word" + std::to_string(poolRandom() % 50000) + ((poolRandom() % 12) ? " " : "\n");
  }
  const fs::path project = Machine().root / (name + ".xml");
  if (fs::exists(project)) return project;
  std::mt19937 random(42);
  static const char* kWords[] = {"installer", "package", "folder", "registry", "value", "cabinet", "stream",
                                 "table", "shortcut", "icon", "feature", "component", "product", "sequence"};
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project><FileSystem><AddedItems><DirectoryList>";
  for (int dir = 0; dir * 100 < count; ++dir) {
    const std::string dirName = "dir" + std::to_string(dir);
    fs::create_directories(folder / dirName);
    xml << "<Directory Name=\"C:\\" << name << "\\" << dirName << "\">";
    for (int i = dir * 100; i < std::min(count, dir * 100 + 100); ++i) {
      const std::string fileName = "file" + std::to_string(i) + ".txt";
      std::string text;
      text.reserve(size + 4096);
      if (incompressible) {
        std::mt19937_64 bytes(static_cast<uint64_t>(i) * 7919 + 1);
        text.resize(size);
        for (size_t at = 0; at + 8 <= size; at += 8) {
          const uint64_t word = bytes();
          std::memcpy(&text[at], &word, 8);
        }
      }
      if (!pool.empty() && !incompressible) {
        while (text.size() < size) text.append(pool, random() % (pool.size() - 4096), 4096);
      }
      while (text.size() < size) {
        text += kWords[random() % 14];
        text += (random() % 12 == 0) ? '\n' : ' ';
        if (random() % 7 == 0) text += std::to_string(random() % 100000);
      }
      std::ofstream(folder / dirName / fileName, std::ios::binary) << text;
      xml << "<File Name=\"" << fileName << "\"/>";
    }
    xml << "</Directory>";
  }
  xml << "</DirectoryList></AddedItems><ModifiedItems><DirectoryList/></ModifiedItems>"
         "<DeletedItems><DirectoryList/></DeletedItems></FileSystem>"
         "<RegistrySystem><AddedItems><SubKeyList/></AddedItems><ModifiedItems><SubKeyList/></ModifiedItems>"
         "<DeletedItems><SubKeyList/></DeletedItems></RegistrySystem><INIFileSystem/><ShortcutList/><ShortcutICONs/>"
         "<ProductInformation><ProductInformation ApplicationName=\"Bench\" Version=\"1.0\" CompanyName=\"Bench\"/>"
         "</ProductInformation></Project>\n";
  std::ofstream(project) << xml.str();
  return project;
}

// User and system CPU time of this process, every thread.
double ProcessCpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Our build of a project; the package's size, or 0 when the build failed.
uintmax_t BuildOurs(const fs::path& project, size_t bulkRows) {
  CWorkContext context;
  SetupWorkContext(context, platform::Machine::WindowsPath(Machine().root / "out"), L"ours.msi");
  context.ProgramFolder = WideToUtf8(platform::Machine::WindowsPath(CORVANE_PROGRAM_DIR));
  context.WorkFolder = "C:\\Temp";
  CMSIHandler handler(context);
  handler.SetBulkRows(bulkRows);
  int ok = handler.Initialize(nullptr, WideToUtf8(platform::Machine::WindowsPath(project)).c_str());
  if (ok == 1) ok = handler.BuildMSI();
  if (ok != 1)
    for (const auto& error : handler.errors()) std::fprintf(stderr, "build: %s\n", error.c_str());
  handler.CloseDatabase();
  std::error_code ec;
  const uintmax_t size = fs::file_size(Machine().root / "out/ours.msi", ec);
  return ok == 1 && !ec ? size : 0;
}

// The same build by the program itself, a process of its own as a user runs it
// (`CorvaneRepackager <project> -Path=<folder> -File=<name>`), timed like wixl by /usr/bin/time:
// its peak holds what the program loads (the wizard's libraries among them) and nothing of this
// benchmark's. The wall time, the peak in KB and the CPU time go to the out-values; false when the
// build failed.
bool BuildProgram(const fs::path& project, double& seconds, uint64_t& peakKb, double& cpuSeconds) {
  const fs::path timing = Machine().root / "program.time";
  const fs::path package = Machine().root / "out/program.msi";
  std::error_code ec;
  fs::remove(package, ec);
  const char* wrap = std::getenv("CORVANE_BENCH_WRAP");
  const std::string command = "/usr/bin/time -f '%e %M %U %S' -o '" + timing.string() + "' " + std::string(wrap ? wrap : "") + " '" +
                              CORVANE_PROGRAM_DIR + "/CorvaneRepackager' '" + project.string() + "' '-Path=" +
                              (Machine().root / "out").string() + "' -File=program.msi >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  double user = 0;
  double system = 0;
  seconds = -1;
  std::ifstream(timing) >> seconds >> peakKb >> user >> system;
  cpuSeconds = user + system;
  const bool built = status == 0 && fs::exists(package, ec);
  fs::remove(package, ec);
  return built;
}

// wixl on the same files: one component with one file each, as a capture gives. Its exit status
// goes to `status`.
double BuildWixl(const std::string& name, int count, uint64_t& peakKb, int& status, double& cpuSeconds) {
  const fs::path wxs = Machine().root / (name + ".wxs");
  const fs::path folder = Machine().prefix.driveC() / name;
  {
    std::ofstream out(wxs);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">"
           "<Product Id=\"*\" Name=\"Bench\" Language=\"1033\" Version=\"1.0.0\" Manufacturer=\"Bench\" "
           "UpgradeCode=\"6F4C2B8A-0D3E-4C71-9A55-3B7E2D1C8F41\"><Package InstallerVersion=\"200\" Compressed=\"yes\"/>"
           "<Media Id=\"1\" Cabinet=\"bench.cab\" EmbedCab=\"yes\"/><Directory Id=\"TARGETDIR\" Name=\"SourceDir\">"
           "<Directory Id=\"ProgramFilesFolder\"><Directory Id=\"BENCH\" Name=\"Bench\">";
    for (int dir = 0; dir * 100 < count; ++dir) {
      out << "<Directory Id=\"D" << dir << "\" Name=\"dir" << dir << "\">";
      for (int i = dir * 100; i < std::min(count, dir * 100 + 100); ++i)
        out << "<Component Id=\"C" << i << "\" Guid=\"*\"><File Id=\"F" << i << "\" Source=\"dir" << dir << "/file" << i
            << ".txt\"/></Component>";
      out << "</Directory>";
    }
    out << "</Directory></Directory></Directory><Feature Id=\"F\" Level=\"1\">";
    for (int i = 0; i < count; ++i) out << "<ComponentRef Id=\"C" << i << "\"/>";
    out << "</Feature></Product></Wix>\n";
  }
  const fs::path timing = Machine().root / "wixl.time";
  // wixl looks sources up relative to the folder it runs in.
  const std::string command = "cd '" + folder.string() + "' && /usr/bin/time -f '%e %M %U %S' -o '" + timing.string() + "' wixl -o '" +
                              (Machine().root / "out/wixl.msi").string() + "' '" + wxs.string() + "' >/dev/null 2>&1";
  status = std::system(command.c_str());
  double seconds = -1;
  double user = 0;
  double system = 0;
  std::ifstream(timing) >> seconds >> peakKb >> user >> system;
  cpuSeconds = user + system;
  return seconds;
}

// Gigabytes are not left behind, unless CORVANE_BENCH_KEEP names a folder to keep our package and
// its source files in for scripts/check-big-package.sh.
void RemoveLargeSet(const std::string& name, const fs::path& project) {
  std::error_code ec;
  if (const char* keep = std::getenv("CORVANE_BENCH_KEEP")) {
    fs::create_directories(keep, ec);
    fs::rename(Machine().root / "out/ours.msi", fs::path(keep) / "big.msi", ec);
    fs::rename(Machine().prefix.driveC() / name, fs::path(keep) / "files", ec);
    std::ofstream(fs::path(keep) / "files.root") << "C:\\" << name << "\n";
  }
  fs::remove_all(Machine().prefix.driveC() / name, ec);
  fs::remove(Machine().root / "out/ours.msi", ec);
  fs::remove(Machine().root / "out/wixl.msi", ec);
  fs::remove(project, ec);
}

void BM_BuildVersusWixl(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const size_t size = static_cast<size_t>(state.range(1)) * 1024;
  const bool large = static_cast<uint64_t>(count) * size > (1ull << 30);
  if (large && std::getenv("CORVANE_BENCH_LARGE") == nullptr) {
    state.SkipWithError("set CORVANE_BENCH_LARGE=1 to run the 3 GB build");
    for (auto _ : state) {
    }
    return;
  }
  const std::string name = "wide" + std::to_string(count) + "x" + std::to_string(state.range(1));
  const fs::path project = MakeProject(name, count, size);
  double ours = 0;
  double oursCpu = 0;
  long oursPeakKb = 0;
  for (auto _ : state) {
    // The peak resident size from here on is our build's alone.
    std::ofstream("/proc/self/clear_refs") << "5";
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    const uintmax_t packageSize = BuildOurs(project, CMsiTable::kDefaultBulkRows);
    ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    oursCpu = ProcessCpuSeconds() - cpuStart;
    oursPeakKb = bench::StatusValueKb("VmHWM");
    if (packageSize == 0) state.SkipWithError("the build failed");
    state.counters["package_MB"] = static_cast<double>(packageSize) / 1e6;
  }
  state.counters["ours_peak_MB"] = static_cast<double>(oursPeakKb) / 1024.0;
  double program = 0;
  double programCpu = 0;
  uint64_t programPeak = 0;
  if (!BuildProgram(project, program, programPeak, programCpu)) state.SkipWithError("the program's build failed");
  uint64_t wixlPeak = 0;
  int wixlStatus = 0;
  double wixlCpu = 0;
  const double wixl = BuildWixl(name, count, wixlPeak, wixlStatus, wixlCpu);
  state.counters["ours_cpu_s"] = oursCpu;
  state.counters["wixl_cpu_s"] = wixlCpu;
  state.counters["wixl_failed"] = wixlStatus != 0 ? 1 : 0;
  state.counters["ours_s"] = ours;
  state.counters["wixl_s"] = wixl;
  state.counters["wixl_peak_MB"] = static_cast<double>(wixlPeak) / 1024.0;
  if (wixl > 0) {
    state.counters["time_ratio_vs_wixl"] = ours / wixl;
    state.counters["peak_ratio_vs_wixl"] = static_cast<double>(oursPeakKb) / static_cast<double>(wixlPeak);
    state.counters["program_s"] = program;
    state.counters["program_cpu_s"] = programCpu;
    state.counters["program_peak_MB"] = static_cast<double>(programPeak) / 1024.0;
    state.counters["program_time_ratio_vs_wixl"] = program / wixl;
    state.counters["program_peak_ratio_vs_wixl"] = static_cast<double>(programPeak) / static_cast<double>(wixlPeak);
    std::printf("package build of %d files of %zu KB: ours %.2f s (CPU %.2f s), wixl %.2f s (CPU %.2f s), ratio %.2f; "
                "peak memory ours %.0f MB, wixl %.0f MB, ratio %.3f%s\n",
                count, size / 1024, ours, oursCpu, wixl, wixlCpu, ours / wixl, static_cast<double>(oursPeakKb) / 1024.0,
                static_cast<double>(wixlPeak) / 1024.0, static_cast<double>(oursPeakKb) / static_cast<double>(wixlPeak),
                wixlStatus != 0 ? " (wixl failed)" : "");
    std::printf("  the program (CorvaneRepackager <project>): %.2f s (CPU %.2f s), ratio %.2f; peak %.1f MB, ratio %.3f\n",
                program, programCpu, program / wixl, static_cast<double>(programPeak) / 1024.0,
                static_cast<double>(programPeak) / static_cast<double>(wixlPeak));
  }
  if (large) RemoveLargeSet(name, project);
}

// A big capture of incompressible files: a package over 2 GB on disk. Ours only.
void BM_BuildBigRandom(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const size_t size = static_cast<size_t>(state.range(1)) * 1024;
  if (std::getenv("CORVANE_BENCH_LARGE") == nullptr) {
    state.SkipWithError("set CORVANE_BENCH_LARGE=1 to run the big random build");
    for (auto _ : state) {
    }
    return;
  }
  const std::string name = "random" + std::to_string(count) + "x" + std::to_string(state.range(1));
  const fs::path project = MakeProject(name, count, size, true);
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    const uintmax_t packageSize = BuildOurs(project, CMsiTable::kDefaultBulkRows);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const long peakKb = bench::StatusValueKb("VmHWM");
    if (packageSize == 0) state.SkipWithError("the build failed");
    state.counters["package_MB"] = static_cast<double>(packageSize) / 1e6;
    state.counters["ours_s"] = seconds;
    state.counters["ours_cpu_s"] = cpu;
    state.counters["ours_peak_MB"] = static_cast<double>(peakKb) / 1024.0;
    std::printf("package build of %d random files of %zu KB: %.1f s (CPU %.1f s), package %.0f MB, peak %.0f MB\n",
                count, size / 1024, seconds, cpu, static_cast<double>(packageSize) / 1e6,
                static_cast<double>(peakKb) / 1024.0);
  }
  RemoveLargeSet(name, project);
}

void Scaling(benchmark::State& state, size_t bulkRows) {
  const int count = static_cast<int>(state.range(0));
  const fs::path project = MakeProject("small" + std::to_string(count), count, 200);
  for (auto _ : state) {
    if (BuildOurs(project, bulkRows) == 0) state.SkipWithError("the build failed");
  }
  state.counters["files"] = count;
}

void BM_BuildScaling(benchmark::State& state) { Scaling(state, CMsiTable::kDefaultBulkRows); }
void BM_BuildScalingRowByRow(benchmark::State& state) { Scaling(state, static_cast<size_t>(-1)); }

}  // namespace

BENCHMARK(BM_BuildVersusWixl)
    ->Args({2000, 4})
    ->Args({10000, 50})
    ->Args({3000, 1024})
    ->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildBigRandom)->Args({2500, 1024})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildScaling)->Arg(1000)->Arg(10000)->Arg(40000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildScalingRowByRow)->Arg(10000)->Arg(40000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
