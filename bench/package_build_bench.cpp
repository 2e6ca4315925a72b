// Package build: a generated project of many files built into a package, against wixl building a
// package of the same files (the baseline), and the build time as the file count grows.
//
//   package_build_bench                       all benchmarks
//   BM_BuildVersusWixl/10000                  10,000 files of about 50 KB: our build and wixl's
//   BM_BuildScaling/{1000,10000,40000}        small files: how the table writing grows
//   BM_BuildScalingRowByRow/{10000,40000}     the same with every row inserted one by one
//
// Peak memory is the process's peak resident size (VmHWM) after our build, and wixl's as
// reported by /usr/bin/time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
// like text), and the project naming them. Returns the project's host path.
fs::path MakeProject(const std::string& name, int count, size_t size) {
  const fs::path folder = Machine().prefix.driveC() / name;
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
      text.reserve(size + 16);
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

// wixl on the same files: one component with one file each, as a capture gives.
double BuildWixl(const std::string& name, int count, uint64_t& peakKb) {
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
  const std::string command = "cd '" + folder.string() + "' && /usr/bin/time -f '%e %M' -o '" + timing.string() + "' wixl -o '" +
                              (Machine().root / "out/wixl.msi").string() + "' '" + wxs.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  double seconds = -1;
  std::ifstream(timing) >> seconds >> peakKb;
  return seconds;
}

void BM_BuildVersusWixl(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string name = "wide" + std::to_string(count);
  const fs::path project = MakeProject(name, count, 50 * 1024);
  double ours = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const uintmax_t size = BuildOurs(project, CMsiTable::kDefaultBulkRows);
    ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (size == 0) state.SkipWithError("the build failed");
    state.counters["package_MB"] = static_cast<double>(size) / 1e6;
  }
  state.counters["ours_peak_MB"] = static_cast<double>(bench::StatusValueKb("VmHWM")) / 1024.0;
  uint64_t wixlPeak = 0;
  const double wixl = BuildWixl(name, count, wixlPeak);
  state.counters["ours_s"] = ours;
  state.counters["wixl_s"] = wixl;
  state.counters["wixl_peak_MB"] = static_cast<double>(wixlPeak) / 1024.0;
  if (wixl > 0) {
    state.counters["time_ratio_vs_wixl"] = ours / wixl;
    std::printf("package build of %d files: ours %.2f s, wixl %.2f s, ratio %.2f; peak memory ours %.0f MB, wixl %.0f MB\n",
                count, ours, wixl, ours / wixl, static_cast<double>(bench::StatusValueKb("VmHWM")) / 1024.0,
                static_cast<double>(wixlPeak) / 1024.0);
  }
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

BENCHMARK(BM_BuildVersusWixl)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildScaling)->Arg(1000)->Arg(10000)->Arg(40000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildScalingRowByRow)->Arg(10000)->Arg(40000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
