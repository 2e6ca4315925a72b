// Growth of the readers of outside data with the size of their input, at 1k, 10k and 100k items:
// a project's folder list, an INI file's sections (compared with a copy of itself), an
// environment value made of references to another, and a registry file's keys and values read
// into the key tree, in Wine's order and in reverse order. Each must grow at most linearly (n log n
// where sorting is needed); Google Benchmark fits the complexity it prints as "BigO".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/work_context.h"
#include "package/project_reader.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "platform/wine/registry_tree.h"
#include "project/xml_document_handler.h"
#include "snapshot/ini_handler.h"
#include "support/fixture_prefix.h"

namespace {

// The tests' fixture prefix, for the INI files.
FixturePrefix& Prefix() {
  static FixturePrefix prefix;
  static const bool active = (prefix.Activate(), true);
  (void)active;
  return prefix;
}

void BM_ProjectFolders(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::wstring text = L"<CorvaneProject><FileSystem><AddedItems><DirectoryList>";
  for (int64_t i = 0; i < n; ++i) {
    text += L"<Directory Name=\"C:\\Program Files\\App\\" + std::to_wstring(i) + L"\"><File Name=\"f.txt\"/></Directory>";
  }
  text += L"</DirectoryList></AddedItems></FileSystem></CorvaneProject>";
  CXMLDocumentHandler document;
  if (document.LoadXML(text) != 1) state.SkipWithError("the project did not load");
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap map;
  for (auto _ : state) {
    project_reader::ReadFolders(document, xmlpath::kFileAdded, folders, files, map);
    benchmark::DoNotOptimize(folders.size());
  }
  state.SetComplexityN(n);
}

void BM_IniSections(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string text;
  for (int64_t i = 0; i < n; ++i) text += "[Section" + std::to_string(i) + "]\r\nKey=" + std::to_string(i) + "\r\n";
  Prefix().WriteDriveCFile("before.ini", text);
  Prefix().WriteDriveCFile("after.ini", text + "[Section0]\r\nLate=1\r\n");
  for (auto _ : state) {
    CWorkContext context;
    CINIHandler handler(context);
    handler.CompareINIFile(L"C:\\before.ini", L"C:\\after.ini");
    if (handler.AddedINIEntries().size() != 1) state.SkipWithError("wrong comparison");
  }
  state.SetComplexityN(n);
}

void BM_EnvironmentReferences(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string value;
  for (int64_t i = 0; i < n; ++i) value += "%T%";
  // A prefix of its own, whose user environment (after the default one) gives T and TEMP.
  FixturePrefix prefix;
  prefix.AddUserReg("[Environment] 1700000000\n\"T\"=\"" + value + "\"\n\"TEMP\"=\"" + value + "\"\n");
  prefix.Activate();
  for (auto _ : state) benchmark::DoNotOptimize(platform::GetEnvironmentValue(L"TEMP").size());
  state.SetComplexityN(n);
}

// A user.reg of n keys below one key (range 1: 0 in Wine's order, 1 reversed), one value each.
void BM_RegistryKeys(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string text = "WINE REGISTRY Version 2\n\n";
  for (int64_t k = 0; k < n; ++k) {
    const int64_t i = state.range(1) == 0 ? k : n - 1 - k;
    char line[96];
    std::snprintf(line, sizeof(line), "[Software\\\\Bench\\\\Key%07lld] 1700000000\n\"v\"=dword:1\n\n",
                  static_cast<long long>(i));
    text += line;
  }
  for (auto _ : state) {
    platform::wine::RegistryTreeBuilder builder;
    builder.AddFile(platform::wine::RegistryTreeBuilder::Branch::CurrentUser, text);
    benchmark::DoNotOptimize(builder.Finish()->nodeCount());
  }
  state.SetComplexityN(n);
}

// One key of n values (range 1: 0 in Wine's order, 1 reversed).
void BM_RegistryValues(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string text = "WINE REGISTRY Version 2\n\n[Software\\\\Bench] 1700000000\n";
  for (int64_t k = 0; k < n; ++k) {
    const int64_t i = state.range(1) == 0 ? k : n - 1 - k;
    char line[64];
    std::snprintf(line, sizeof(line), "\"Value%07lld\"=dword:1\n", static_cast<long long>(i));
    text += line;
  }
  for (auto _ : state) {
    platform::wine::RegistryTreeBuilder builder;
    builder.AddFile(platform::wine::RegistryTreeBuilder::Branch::CurrentUser, text);
    benchmark::DoNotOptimize(builder.Finish()->valueCount());
  }
  state.SetComplexityN(n);
}

void RegistryGrowth(benchmark::internal::Benchmark* b) {
  for (int64_t order : {0, 1}) {
    for (int64_t n : {1000, 10000, 100000}) b->Args({n, order});
  }
}

BENCHMARK(BM_RegistryKeys)->Apply(RegistryGrowth)->ArgNames({"keys", "reversed"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegistryValues)->Apply(RegistryGrowth)->ArgNames({"values", "reversed"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjectFolders)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_IniSections)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_EnvironmentReferences)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
