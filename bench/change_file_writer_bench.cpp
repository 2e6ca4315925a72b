// The folder writer of the file comparison: 1,000, 5,000 and 20,000 added folders of three files
// each written into "FileChanges.xml" the way the comparison writes them (the change document
// split into its included and excluded lists, the three change lists and the excluded list
// written, the file saved), against one save of the finished document (baseline: the least any
// writer must do, putting the final file on disk once).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench_support.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"
#include "session/work_context_setup.h"
#include "snapshot/file_enumerate.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 3;

// The tests' fixture prefix (C: a folder of ours, Z: the host root), the template beside it.
struct BenchWorld {
  FixturePrefix prefix;
  CWorkContext context;
  CIncludeExcludeRules rules;
  CSkippedFiles skipped;
  std::map<int, double> writerSeconds;
  std::map<int, double> saveSeconds;
  std::map<int, uintmax_t> fileBytes;

  BenchWorld() {
    prefix.InDriveC("work/Temp", true);
    prefix.Activate();
    SetupWorkContext(context, L"", L"");
    EnvironmentValues.programfiles = L"C:\\Program Files";
    EnvironmentValues.windir = L"C:\\windows";
    EnvironmentValues.systemdrive = L"C:";
    context.WorkFolder = "C:\\work";
    context.INIBackupFolder = L"C:\\INIBackup";
    context.FileChangesPath = L"C:\\work\\Temp\\FileChanges.xml";
    context.TemplateProjectPath =
        platform::Machine::WindowsPath(fs::path(CORVANE_SOURCE_DIR) / "data" / "RawProjectFile.xml");
  }
};

BenchWorld& World() {
  static BenchWorld world;
  return world;
}

// Folders as the comparison finds them under a new program folder.
void FillAdded(FolderFileMap& added, int folders) {
  added.clear();
  for (int i = 0; i < folders; ++i) {
    const std::wstring folder = L"C:\\Program Files\\Vendor Product\\component_" + std::to_wstring(i / 100) +
                                L"\\module_" + std::to_wstring(i);
    std::vector<std::wstring>& files = added[folder];
    for (int f = 0; f < kFilesPerFolder; ++f) files.push_back(folder + L"\\library_file_" + std::to_wstring(f) + L".dll");
  }
}

void BM_FolderWriter(benchmark::State& state) {
  BenchWorld& world = World();
  const int folders = static_cast<int>(state.range(0));
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CFileEnumerate enumerate(world.context, world.rules, world.skipped);
    enumerate.Initialize();
    FillAdded(enumerate.AddedFolders(), folders);
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    // The writer pass of the comparison, without the usability test of each file (which reads the
    // files and is the same work whichever way the change file is saved).
    if (enumerate.RewriteFileChanges() != 1) state.SkipWithError("the change file was not written");
    total += bench::Seconds(start);
    enumerate.Uninitialize();
  }
  world.writerSeconds[folders] = total / static_cast<double>(state.iterations());
  std::error_code ec;
  world.fileBytes[folders] = fs::file_size(platform::Machine::HostPath(world.context.FileChangesPath), ec);
  state.counters["folders"] = folders;
  state.counters["file_bytes"] = static_cast<double>(world.fileBytes[folders]);
}
BENCHMARK(BM_FolderWriter)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// One save of the document the writer finished with.
void BM_SaveOnceBaseline(benchmark::State& state) {
  BenchWorld& world = World();
  const int folders = static_cast<int>(state.range(0));
  CXMLDocumentHandler document;
  {
    CFileEnumerate enumerate(world.context, world.rules, world.skipped);
    enumerate.Initialize();
    FillAdded(enumerate.AddedFolders(), folders);
    enumerate.RewriteFileChanges();
    enumerate.Uninitialize();
  }
  if (document.Load(world.context.FileChangesPath) != 1) state.SkipWithError("no change file to load");
  const std::wstring target = L"C:\\work\\Temp\\Baseline.xml";
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!document.Save(target)) state.SkipWithError("save failed");
    total += bench::Seconds(start);
  }
  world.saveSeconds[folders] = total / static_cast<double>(state.iterations());
  state.counters["folders"] = folders;
}
BENCHMARK(BM_SaveOnceBaseline)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  BenchWorld& world = World();
  for (const auto& [folders, seconds] : world.writerSeconds) {
    auto save = world.saveSeconds.find(folders);
    if (save == world.saveSeconds.end() || save->second <= 0) continue;
    std::printf("%d folders of %d files (%ju bytes): writer %.3f s, one save %.4f s, ratio %.1f\n", folders,
                kFilesPerFolder, world.fileBytes[folders], seconds, save->second, seconds / save->second);
  }
  benchmark::Shutdown();
  return 0;
}
