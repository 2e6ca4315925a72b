// The file snapshot on a generated tree of 200,000 entries: the walk that writes the snapshot
// file and fills the map, against `find -printf '%T@ %s %p\n'` over the same tree written to a
// file (baseline: the least a walk that lists times, sizes and paths must do); the comparison of
// two such snapshots; and the memory the in-memory snapshot takes per entry.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "session/work_context_setup.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/file_snapshot_map.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTopFolders = 10;
constexpr int kSubFolders = 20;
constexpr int kEntries = 200000;

// The tests' fixture prefix (C: a folder of ours, Z: the host root). The tree lies at C:\tree.
struct BenchWorld {
  FixturePrefix prefix;
  CWorkContext context;
  CIncludeExcludeRules rules;
  CSkippedFiles skipped;
  fs::path tree;
  size_t entries = 0;
  double findSeconds = 0;
  double walkSeconds = 0;
  double compareSeconds = 0;
  double bytesPerEntry = 0;
  double peakBytesPerEntry = 0;

  BenchWorld() {
    prefix.InDriveC("work/SnapShot/FileSystemDir", true);
    prefix.Activate();
    SetupWorkContext(context, L"", L"");
    context.WorkFolder = "C:\\work";
    context.INIBackupFolder = L"C:\\INIBackup";

    tree = prefix.driveC() / "tree";
    const int leaves = kTopFolders * kSubFolders;
    const int filesPerLeaf = (kEntries - kTopFolders - leaves) / leaves;
    for (int t = 0; t < kTopFolders; ++t) {
      for (int s = 0; s < kSubFolders; ++s) {
        fs::path folder = tree / ("Vendor Product " + std::to_string(t)) / ("component_" + std::to_string(s));
        fs::create_directories(folder);
        for (int f = 0; f < filesPerLeaf; ++f) {
          std::ofstream(folder / ("library_file_" + std::to_string(f) + ".dll")) << f;
        }
      }
    }
    entries = static_cast<size_t>(kTopFolders + leaves + leaves * filesPerLeaf);
  }
};

BenchWorld& World() {
  static BenchWorld world;
  return world;
}

void BM_FindBaseline(benchmark::State& state) {
  BenchWorld& world = World();
  const std::string command =
      "find '" + world.tree.string() + "' -printf '%T@ %s %p\\n' > '" +
      (world.prefix.Scratch() / "find.txt").string() + "'";
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
    total += bench::Seconds(start);
  }
  world.findSeconds = total / static_cast<double>(state.iterations());
  state.counters["entries"] = static_cast<double>(world.entries);
}
BENCHMARK(BM_FindBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FileSnapshotWalk(benchmark::State& state) {
  BenchWorld& world = World();
  double total = 0;
  size_t recorded = 0;
  for (auto _ : state) {
    CFileEnumerate enumerate(world.context, world.rules, world.skipped);
    enumerate.Initialize();
    enumerate.SetFirstSnapshotTaken(false);
    const long residentBefore = bench::StatusValueKb("VmRSS") * 1024;
    auto start = std::chrono::steady_clock::now();
    enumerate.CaptureSnapShot({L"C:\\tree"});
    recorded = enumerate.FirstMap().Count();  // includes the ordering of the map
    total += bench::Seconds(start);
    const long residentAfter = bench::StatusValueKb("VmRSS") * 1024;
    world.peakBytesPerEntry = static_cast<double>(residentAfter - residentBefore) / static_cast<double>(recorded);
    world.bytesPerEntry = static_cast<double>(enumerate.FirstMap().MemoryBytes()) / static_cast<double>(recorded);
    enumerate.Uninitialize();
  }
  world.walkSeconds = total / static_cast<double>(state.iterations());
  state.counters["entries"] = static_cast<double>(recorded);
  state.counters["map_bytes_per_entry"] = world.bytesPerEntry;
  state.counters["resident_bytes_per_entry"] = world.peakBytesPerEntry;
}
BENCHMARK(BM_FileSnapshotWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

// Both snapshots from the file the walk wrote; the second differs in one file of every hundred.
void BM_FileSnapshotCompare(benchmark::State& state) {
  BenchWorld& world = World();
  CFileEnumerate enumerate(world.context, world.rules, world.skipped);
  enumerate.Initialize();
  enumerate.SetFirstSnapshotTaken(false);
  enumerate.CaptureSnapShot({L"C:\\tree"});
  const size_t count = enumerate.FirstMap().Count();
  double total = 0;
  size_t changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    enumerate.PopulateMap();
    CFileSnapshotMap& first = enumerate.FirstMap();
    CFileSnapshotMap& second = enumerate.SecondMap();
    for (size_t i = 0; i < first.Count(); ++i) {
      second.Insert(first.PathAt(i), first.LastWriteTimeAt(i) + (i % 100 == 0 ? 1 : 0), first.SizeAt(i),
                    first.IsDirectoryAt(i));
    }
    second.Count();
    enumerate.ModifiedFolders().clear();
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    enumerate.CompareMaps();
    total += bench::Seconds(start);
    changed = 0;
    for (const auto& entry : enumerate.ModifiedFolders()) changed += entry.second.size() + 1;
  }
  world.compareSeconds = total / static_cast<double>(state.iterations());
  state.counters["entries"] = static_cast<double>(count);
  state.counters["changes"] = static_cast<double>(changed);
  enumerate.Uninitialize();
}
BENCHMARK(BM_FileSnapshotCompare)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  BenchWorld& world = World();
  if (world.findSeconds > 0 && world.walkSeconds > 0) {
    std::printf("walk and snapshot of %zu entries: %.3f s, find -printf: %.3f s, ratio %.2f\n", world.entries,
                world.walkSeconds, world.findSeconds, world.walkSeconds / world.findSeconds);
  }
  if (world.findSeconds > 0 && world.compareSeconds > 0) {
    std::printf("comparison of two snapshots: %.3f s, ratio to find -printf %.2f\n", world.compareSeconds,
                world.compareSeconds / world.findSeconds);
  }
  std::printf("in-memory snapshot: %.1f bytes per entry (map), resident growth while held %.1f bytes per entry\n",
              world.bytesPerEntry, world.peakBytesPerEntry);
  benchmark::Shutdown();
  return 0;
}
