// Growth of the readers of outside data with the size of their input, at 1k, 10k and 100k items:
// a project's folder list, an INI file's sections (compared with a copy of itself), and an
// environment value made of references to another. Each must grow at most linearly (n log n
// where sorting is needed); Google Benchmark fits the complexity it prints as "BigO".
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/work_context.h"
#include "package/project_reader.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "project/xml_document_handler.h"
#include "snapshot/ini_handler.h"

namespace fs = std::filesystem;

namespace {

void WriteHostFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A minimal prefix (C: and the registry files) in a temporary folder, removed at exit.
class BenchPrefix {
 public:
  BenchPrefix() {
    std::string pattern = (fs::temp_directory_path() / "corvane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
    fs::create_directories(root_ / "drive_c");
    fs::create_directories(root_ / "dosdevices");
    fs::create_symlink("../drive_c", root_ / "dosdevices" / "c:");
    WriteHostFile(root_ / "system.reg", "WINE REGISTRY Version 2\n\n");
    WriteHostFile(root_ / "userdef.reg", "WINE REGISTRY Version 2\n\n");
    SetUserEnvironment("");
    ::setenv("WINEPREFIX", root_.c_str(), 1);
    platform::Machine::Reset();
  }
  ~BenchPrefix() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void SetUserEnvironment(const std::string& values) const {
    WriteHostFile(root_ / "user.reg", "WINE REGISTRY Version 2\n\n[Environment] 1700000000\n" + values);
  }
  fs::path DriveC() const { return root_ / "drive_c"; }

 private:
  fs::path root_;
};

BenchPrefix& Prefix() {
  static BenchPrefix prefix;
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
  WriteHostFile(Prefix().DriveC() / "before.ini", text);
  WriteHostFile(Prefix().DriveC() / "after.ini", text + "[Section0]\r\nLate=1\r\n");
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
  Prefix().SetUserEnvironment("\"T\"=\"" + value + "\"\n\"TEMP\"=\"" + value + "\"\n");
  platform::Machine::Reset();
  for (auto _ : state) benchmark::DoNotOptimize(platform::GetEnvironmentValue(L"TEMP").size());
  state.SetComplexityN(n);
}

BENCHMARK(BM_ProjectFolders)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_IniSections)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_EnvironmentReferences)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
