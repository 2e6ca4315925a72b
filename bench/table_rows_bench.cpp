// The rows a capture's files give the package, at 10k, 40k and 100k files: per file one File,
// one Component and one FeatureComponents row, per ten files one Directory row, added through
// CMsiTable into a copy of the blank template and written with the commit, as the builder does.
// Two ways of writing them are measured:
// - import: the builder's way for tables of more than CMsiTable::kDefaultBulkRows rows (one table
//   file per table, imported once);
// - insert: one parameterised INSERT per row.
// Both go through the same insert of libmsi, which looks for a duplicate key among all rows of the
// table before it adds a row, so the time per 1,000 rows grows with the table: a linear way of
// writing would print the same time per 1,000 rows at every size.
//
// With the system's libmsi each way takes one to three minutes at 100k files (--benchmark_filter
// selects sizes). Run with LD_LIBRARY_PATH naming a libmsi built with docs/libmsi-key-index.patch
// to measure that change: the same rows, flat times.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "bench_support.h"
#include "core/strings.h"
#include "package/msi_table.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 10;

struct Result {
  double addSeconds = 0;    // our checks of every row
  double writeSeconds = 0;  // Flush of the four tables and the commit
  double cpuSeconds = 0;    // both, in CPU time (steadier than wall time on a shared machine)
  int64_t rows = 0;
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The tests' fixture prefix, whose Z: drive is the host root, so that the seam maps our files.
struct BenchWorld {
  FixturePrefix prefix;
  fs::path root = prefix.Scratch();
  std::map<std::string, Result> results;  // "<mode>/<files>"

  BenchWorld() {
    prefix.Activate();
    fs::create_directories(root / "scratch");
  }
  std::wstring Windows(const fs::path& host) const { return platform::Machine::WindowsPath(host); }
};

BenchWorld& World() {
  static BenchWorld world;
  return world;
}

// Adds every row of `files` files; false (with the reason in `error`) when a row is refused.
bool AddRows(platform::InstallerDatabase& database, std::map<uint32_t, std::unique_ptr<CMsiTable>>& tables,
             int files, std::string& error) {
  auto add = [&](uint32_t kind, const MsiRow& row) {
    std::string reason;
    if (tables[kind]->Add(database, row, reason)) return true;
    error = std::string(CMsiTable::ErrorTag(kind)) + " " + row[0] + ": " + reason;
    return false;
  };
  for (int i = 0; i < files; ++i) {
    const std::string folder = FormatText("D%05d", i / kFilesPerFolder);
    if (i % kFilesPerFolder == 0 &&
        !add(DIRECTORY_TABLE, {folder, "ProgramFilesFolder", FormatText("Folder %d", i / kFilesPerFolder)})) {
      return false;
    }
    const std::string name = FormatText("file%06d.txt", i);
    const std::string component = FormatText("FILE%06d.TXTCOMP", i);
    const std::string guid = FormatText("{%08X-0000-4000-8000-%012X}", static_cast<unsigned>(i * 2654435761u), i);
    if (!add(FILE_TABLE, {name, component, name, "1234", "", "", "16384", std::to_string(i + 1)}) ||
        !add(COMPONENT_TABLE, {component, guid, folder, "8"}) ||
        !add(FEATURE_COMPONENT_TABLE, {"MSIFeature", component})) {
      return false;
    }
  }
  return true;
}

void BM_TableRows(benchmark::State& state, bool import) {
  const int files = static_cast<int>(state.range(0));
  const fs::path package = World().root / "package.msi";
  Result result;
  for (auto _ : state) {
    std::error_code ec;
    fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "Blank.msi", package, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      state.SkipWithError("cannot copy the blank template (build the program first)");
      break;
    }
    platform::InstallerDatabase database;
    if (database.Open(World().Windows(package)) != platform::kSuccess) {
      state.SkipWithError(database.lastError().c_str());
      break;
    }
    std::map<uint32_t, std::unique_ptr<CMsiTable>> tables;
    for (uint32_t kind : {DIRECTORY_TABLE, FILE_TABLE, COMPONENT_TABLE, FEATURE_COMPONENT_TABLE}) {
      tables[kind] = CMsiTable::Create(kind);
      tables[kind]->SetBulkRows(import ? CMsiTable::kDefaultBulkRows : SIZE_MAX);
    }
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    std::string error;
    if (!AddRows(database, tables, files, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    result.addSeconds = bench::Seconds(start);
    const auto write = std::chrono::steady_clock::now();
    // The order of the builder's FlushTables (by table number).
    for (auto& [kind, table] : tables) {
      if (table->Flush(database, World().Windows(World().root / "scratch"), error) != platform::kSuccess) {
        state.SkipWithError(error.c_str());
        break;
      }
    }
    if (database.Commit() != platform::kSuccess) state.SkipWithError(database.lastError().c_str());
    result.writeSeconds = bench::Seconds(write);
    result.cpuSeconds = CpuSeconds() - cpuStart;
  }
  result.rows = 3LL * files + (files + kFilesPerFolder - 1) / kFilesPerFolder;
  state.counters["rows"] = static_cast<double>(result.rows);
  state.counters["ms_per_1000_rows"] = (result.addSeconds + result.writeSeconds) * 1e6 / static_cast<double>(result.rows);
  World().results[std::string(import ? "import/" : "insert/") + std::to_string(files)] = result;
}

BENCHMARK_CAPTURE(BM_TableRows, import, true)
    ->Arg(10000)->Arg(40000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TableRows, insert, false)
    ->Arg(10000)->Arg(40000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  World();
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nTime per 1,000 rows (our checks + libmsi's writing and the commit); a linear way would keep it flat:\n");
  for (const char* mode : {"import", "insert"}) {
    double previous = 0;
    int previousFiles = 0;
    for (int files : {10000, 40000, 100000}) {
      auto found = World().results.find(std::string(mode) + "/" + std::to_string(files));
      if (found == World().results.end()) continue;
      const Result& r = found->second;
      const double perThousand = (r.addSeconds + r.writeSeconds) * 1e6 / static_cast<double>(r.rows);
      std::printf("  %-6s %6d files (%6lld rows): %8.2f s in all, %7.2f ms per 1,000 rows (checks %.2f ms, writing %.2f ms;"
                  " CPU %.2f ms)",
                  mode, files, static_cast<long long>(r.rows), r.addSeconds + r.writeSeconds, perThousand,
                  r.addSeconds * 1e6 / static_cast<double>(r.rows), r.writeSeconds * 1e6 / static_cast<double>(r.rows),
                  r.cpuSeconds * 1e6 / static_cast<double>(r.rows));
      const double cpuPerThousand = r.cpuSeconds * 1e6 / static_cast<double>(r.rows);
      if (previous > 0) std::printf("; CPU per 1,000 rows x%.1f for x%.1f files", cpuPerThousand / previous,
                                    static_cast<double>(files) / previousFiles);
      std::printf("\n");
      previous = cpuPerThousand;
      previousFiles = files;
    }
  }
  benchmark::Shutdown();
  return 0;
}
