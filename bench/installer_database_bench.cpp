// Filling the package's biggest tables: one INSERT statement per row (how rows are written one by
// one) against importing the same rows as table files (InstallerDatabase::ImportTable), each with
// the commit. Baseline: the per-row INSERTs. libmsi looks for a duplicate key among all rows of the
// table on every insert, so the per-row cost grows with the table: quadratic in total.
//
// Rows per file: one Component, one File, one FeatureComponents row (as the builder writes them).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/strings.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// The tests' fixture prefix, whose Z: drive is the host root, so that the seam maps our files
// (kept in its scratch folder).
struct BenchWorld {
  FixturePrefix prefix;
  fs::path root = prefix.Scratch();
  fs::path templatePackage;
  fs::path package;
  std::map<std::string, double> seconds;     // "<kind>/<files>" -> wall seconds per build
  std::map<std::string, double> cpuSeconds;  // the same in CPU time (steadier on a busy machine)

  BenchWorld() {
    prefix.Activate();

    Write("cp.idt", "\r\n\r\n65001\t_ForceCodepage\r\n");
    Write("Property.idt", "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\nProductLanguage\t1033\r\n");
    Write("Component.idt", ComponentHeader());
    Write("File.idt", FileHeader());
    Write("FeatureComponents.idt", FeatureComponentsHeader());
    templatePackage = root / "Blank.msi";
    package = root / "package.msi";
    std::string command = "cd '" + root.string() + "' && msibuild Blank.msi -i cp.idt -i Property.idt -i Component.idt"
                          " -i File.idt -i FeatureComponents.idt 2>/dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "msibuild failed: the benchmark is void\n");
  }

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(root / name, std::ios::binary) << text;
  }
  std::wstring Windows(const fs::path& host) const { return Machine::WindowsPath(host); }

  static std::string ComponentHeader() {
    return "Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath\r\n"
           "s72\tS38\ts72\ti2\tS255\tS72\r\nComponent\tComponent\r\n";
  }
  static std::string FileHeader() {
    return "File\tComponent_\tFileName\tFileSize\tVersion\tLanguage\tAttributes\tSequence\r\n"
           "s72\ts72\tl255\ti4\tS72\tS20\tI2\ti4\r\nFile\tFile\r\n";
  }
  static std::string FeatureComponentsHeader() {
    return "Feature_\tComponent_\r\ns38\ts72\r\nFeatureComponents\tFeature_\tComponent_\r\n";
  }
};

BenchWorld& World() {
  static BenchWorld world;
  return world;
}

std::string Key(const char* kind, int index) { return FormatText("%s%06d", kind, index); }

void FreshPackage(benchmark::State& state) {
  std::error_code ec;
  fs::copy_file(World().templatePackage, World().package, fs::copy_options::overwrite_existing, ec);
  if (ec) state.SkipWithError("cannot copy the template");
}

void BM_PerRowInsert(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    FreshPackage(state);
    state.ResumeTiming();
    InstallerDatabase db;
    if (db.Open(World().Windows(World().package)) != kSuccess) {
      state.SkipWithError(db.lastError().c_str());
      break;
    }
    for (int i = 0; i < files; ++i) {
      db.Execute("INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, `Attributes`) VALUES ('" +
                 Key("C", i) + "', '{00000000-0000-0000-0000-000000000000}', 'TARGETDIR', 0)");
      db.Execute("INSERT INTO `File` (`File`, `Component_`, `FileName`, `FileSize`, `Attributes`, `Sequence`) VALUES ('" +
                 Key("F", i) + "', '" + Key("C", i) + "', 'file" + std::to_string(i) + ".txt', 1234, 16384, " +
                 std::to_string(i + 1) + ")");
      db.Execute("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) VALUES ('Complete', '" + Key("C", i) + "')");
    }
    if (db.Commit() != kSuccess) state.SkipWithError(db.lastError().c_str());
  }
  state.counters["rows"] = 3.0 * files;
}

void BM_ImportTables(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    FreshPackage(state);
    state.ResumeTiming();
    // Writing the table files is part of the cost.
    std::string component = BenchWorld::ComponentHeader();
    std::string file = BenchWorld::FileHeader();
    std::string featureComponents = BenchWorld::FeatureComponentsHeader();
    for (int i = 0; i < files; ++i) {
      component += Key("C", i) + "\t{00000000-0000-0000-0000-000000000000}\tTARGETDIR\t0\t\t\r\n";
      file += Key("F", i) + "\t" + Key("C", i) + "\tfile" + std::to_string(i) + ".txt\t1234\t\t\t16384\t" +
              std::to_string(i + 1) + "\r\n";
      featureComponents += "Complete\t" + Key("C", i) + "\r\n";
    }
    World().Write("Component.idt", component);
    World().Write("File.idt", file);
    World().Write("FeatureComponents.idt", featureComponents);
    InstallerDatabase db;
    if (db.Open(World().Windows(World().package)) != kSuccess) {
      state.SkipWithError(db.lastError().c_str());
      break;
    }
    for (const char* table : {"Component.idt", "File.idt", "FeatureComponents.idt"}) {
      if (db.ImportTable(World().Windows(World().root / table)) != kSuccess) {
        state.SkipWithError(db.lastError().c_str());
      }
    }
    if (db.Commit() != kSuccess) state.SkipWithError(db.lastError().c_str());
  }
  state.counters["rows"] = 3.0 * files;
}

BENCHMARK(BM_PerRowInsert)->Arg(1000)->Arg(10000)->Arg(40000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportTables)->Arg(1000)->Arg(10000)->Arg(40000)->Iterations(3)->Unit(benchmark::kMillisecond);

// Collects the times so that the ratios can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0 && !run.error_occurred) {
        World().seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        World().cpuSeconds[run.benchmark_name()] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  World();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nImport of table files against per-row INSERTs (baseline), commit included:\n");
  for (int files : {1000, 10000, 40000}) {
    std::string perRow = "BM_PerRowInsert/" + std::to_string(files) + "/iterations:1";
    std::string import = "BM_ImportTables/" + std::to_string(files) + "/iterations:3";
    if (World().seconds.count(perRow) == 0 || World().seconds.count(import) == 0) continue;
    double wallRatio = World().seconds[perRow] / World().seconds[import];
    double cpuRatio = World().cpuSeconds[perRow] / World().cpuSeconds[import];
    std::printf("  %6d files (%6d rows): per-row %8.3f s, import %7.3f s (wall); per-row/import = %.1fx wall, %.1fx CPU\n",
                files, 3 * files, World().seconds[perRow], World().seconds[import], wallRatio, cpuRatio);
  }
  benchmark::Shutdown();
  return 0;
}
