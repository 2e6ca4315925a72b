// Reading a prefix's registry: parse its three files and enumerate every key and value, against
// the baseline "wc -l" over the same files (run as a subprocess, best of several runs).
// The prefix is $WINEPREFIX when it holds system.reg; otherwise the tests' pristine prefix.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/wine/registry_file_parser.h"
#include "platform/wine/registry_store.h"
#include "platform/wine/registry_tree.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace platform;

namespace {

fs::path g_prefix;
const char* const kFiles[] = {"system.reg", "user.reg", "userdef.reg"};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path FindOrMakePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && fs::exists(fs::path(prefix) / "system.reg")) {
    return prefix;
  }
  const fs::path folder = bench::PristinePrefixFolder();
  return folder.empty() ? fs::path() : folder / "prefix";
}

// Counts every key and value of the tree, touching names and data as a reader would.
size_t WalkTree(const wine::RegistryTree& tree, uint32_t index, size_t& values) {
  const wine::RegistryTree::Node& node = tree.node(index);
  size_t keys = 1;
  for (uint32_t v = 0; v < node.valueCount; ++v) {
    const auto& value = tree.value(node.firstValue + v);
    benchmark::DoNotOptimize(tree.Name(value).data());
    benchmark::DoNotOptimize(tree.Data(value));
    ++values;
  }
  for (uint32_t c = 0; c < node.childCount; ++c) keys += WalkTree(tree, node.firstChild + c, values);
  return keys;
}

size_t LoadAndWalk(size_t& keys) {
  auto tree = wine::LoadRegistryTree(g_prefix);
  size_t values = 0;
  keys = WalkTree(*tree, wine::RegistryTree::kTop, values);
  return values;
}

class NullSink : public wine::RegistryFileSink {
 public:
  void OnKey(std::u16string_view, size_t) override { ++keys; }
  void OnValue(std::u16string_view, uint32_t, const uint8_t*, size_t, size_t) override { ++values; }
  void OnError(size_t, std::string_view) override { ++errors; }
  size_t keys = 0, values = 0, errors = 0;
};

// Through the interface the snapshot uses: every key below a root opened from its parent.
size_t WalkKeys(const RegistryKey& key, int depth, size_t& values) {
  size_t keys = 1;
  std::wstring name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  for (uint32_t i = 0; key.EnumValue(i, name, type, data) == kSuccess; ++i) ++values;
  if (depth > 64) return keys;
  for (uint32_t i = 0; key.EnumKey(i, name) == kSuccess; ++i) {
    RegistryKey child;
    if (child.Open(key, name) == kSuccess) keys += WalkKeys(child, depth + 1, values);
  }
  return keys;
}

double RunWc() {
  std::vector<std::string> arguments = {"wc", "-l"};
  for (const char* file : kFiles) arguments.push_back((g_prefix / file).string());
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1 /* O_WRONLY */, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "wc", &actions, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double BestOf(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
  }
  return best;
}

void BM_LoadAndEnumerateTree(benchmark::State& state) {
  size_t keys = 0, values = 0;
  for (auto _ : state) values = LoadAndWalk(keys);
  state.counters["keys"] = static_cast<double>(keys);
  state.counters["values"] = static_cast<double>(values);
}

void BM_ParseOnly(benchmark::State& state) {
  std::string text;
  for (const char* file : kFiles) text += ReadText(g_prefix / file);  // one text: only the parser's work
  std::vector<std::string> texts;
  for (const char* file : kFiles) texts.push_back(ReadText(g_prefix / file));
  size_t lines = 0;
  for (auto _ : state) {
    NullSink sink;
    for (const std::string& t : texts) wine::ParseRegistryText(t, sink);
    lines = sink.keys + sink.values;
  }
  state.counters["keys+values"] = static_cast<double>(lines);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_WalkThroughRegistryKey(benchmark::State& state) {
  size_t keys = 0, values = 0;
  for (auto _ : state) {
    wine::ForgetRegistryTree();
    keys = values = 0;
    for (RootKey root : {RootKey::LocalMachine, RootKey::Users}) {
      RegistryKey key;
      if (key.Open(root, L"") == kSuccess) keys += WalkKeys(key, 0, values);
    }
  }
  state.counters["keys"] = static_cast<double>(keys);
  state.counters["values"] = static_cast<double>(values);
}

void BM_OpenRootWhenUnchanged(benchmark::State& state) {
  RegistryKey key;
  key.Open(RootKey::LocalMachine, L"");
  for (auto _ : state) benchmark::DoNotOptimize(key.Open(RootKey::LocalMachine, L"Software"));
}

}  // namespace

int main(int argc, char** argv) {
  g_prefix = FindOrMakePrefix();
  if (g_prefix.empty()) {
    std::fprintf(stderr, "no prefix: set WINEPREFIX or check scripts/make-prefix.sh\n");
    return 1;
  }
  setenv("WINEPREFIX", g_prefix.c_str(), 1);
  Machine::Reset();
  std::fprintf(stderr, "prefix: %s\n", g_prefix.c_str());

  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_LoadAndEnumerateTree", BM_LoadAndEnumerateTree)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ParseOnly", BM_ParseOnly)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_WalkThroughRegistryKey", BM_WalkThroughRegistryKey)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_OpenRootWhenUnchanged", BM_OpenRootWhenUnchanged)->Unit(benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks();

  // The ratios against the baseline, each the best of several runs.
  constexpr int kRuns = 15;
  uintmax_t bytes = 0;
  for (const char* file : kFiles) bytes += fs::file_size(g_prefix / file);
  const double wc = BestOf(kRuns, [] { RunWc(); });
  size_t keys = 0;
  const double load = BestOf(kRuns, [&keys] { LoadAndWalk(keys); });
  double walk = BestOf(kRuns, [] {
    wine::ForgetRegistryTree();
    size_t values = 0;
    for (RootKey root : {RootKey::LocalMachine, RootKey::Users}) {
      RegistryKey key;
      if (key.Open(root, L"") == kSuccess) WalkKeys(key, 0, values);
    }
  });
  auto tree = wine::LoadRegistryTree(g_prefix);
  std::printf("\nbaseline: wc -l over the three files (%ju bytes), subprocess, best of %d: %.3f ms\n", bytes, kRuns,
              wc);
  std::printf("load + enumerate every key and value (%zu keys, %zu values): %.3f ms = %.2f x wc -l\n", keys,
              tree->valueCount(), load, load / wc);
  std::printf("load + walk through RegistryKey (links followed): %.3f ms = %.2f x wc -l\n", walk, walk / wc);
  std::printf("memory of the loaded tree: %zu bytes = %.2f x the files\n", tree->MemoryBytes(),
              static_cast<double>(tree->MemoryBytes()) / static_cast<double>(bytes));
  benchmark::Shutdown();
  return 0;
}
