// Comparison of two large registry snapshots (about a million values, a handful of changes near
// their end) by CRegCmp, against the baseline "cmp" of the same two files (which stops at the first
// difference: the changes lie in the last percent of the files, so it reads nearly all of both).
// Times are wall-clock, best of five; the benchmark table also shows CPU time.
// Memory: VmHWM of the process before and after each comparison, and the anonymous (non-file)
// memory measured while the comparison runs. The mapped snapshot pages count in VmHWM as file
// pages; the comparison's own memory is the anonymous part and must not grow with the files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "snapshot/reg_cmp.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

class Counter : public IVelkRegCallback {
 public:
  void OnRegistryChange(const std::wstring&, const RegValueRecord&) override {
    ++changes;
    anonKb = std::max(anonKb, bench::StatusValueKb("RssAnon"));
  }
  long changes = 0;
  long anonKb = 0;
};

// Writes a snapshot of `keys` keys with ten values each, streaming (never held whole). With
// `changed`, the last percent of the keys holds a few changes: modified, added and deleted values,
// an added and a deleted key.
void WriteSnapshot(const fs::path& path, int keys, bool changed) {
  std::ofstream out(path, std::ios::binary);
  std::string bytes;
  auto put = [&bytes](const std::wstring& text) { bytes += WideToUtf16Le(text); };
  put(L"\u00FE\u00FFWindows Registry Snapshot\r\n");
  const int changeFrom = keys - keys / 100;
  wchar_t name[128];
  for (int k = 0; k < keys; ++k) {
    const int vendor = k / 100;
    const int product = k % 100;
    if (product == 0) {
      std::swprintf(name, 128, L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%05d]\r\n\r\n", vendor);
      put(name);
    }
    const bool changes = changed && k >= changeFrom && k % 997 == 0;
    if (changed && k == changeFrom + 5) continue;  // a deleted key
    std::swprintf(name, 128, L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%05d\\Product%02d]\r\n", vendor, product);
    put(name);
    for (int v = 0; v < 10; ++v) {
      if (changes && v == 3) continue;  // a deleted value
      std::swprintf(name, 128, L"\"Value%02d\"=\"1\"=\"C:\\Program Files\\Vendor\\%d\\%d%s\"\r\n", v, k, v,
                    changes && v == 5 ? L" changed" : L"");
      put(name);
    }
    if (changes) put(L"\"Value10\"=\"4\"=\"00000001\"\r\n");  // an added value
    put(L"\r\n");
    if (changed && k == changeFrom + 7) {  // an added key: a subkey, right after its parent's block
      std::swprintf(name, 128, L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%05d\\Product%02d\\New]\r\n", vendor, product);
      put(name);
      put(L"\"New\"=\"1\"=\"x\"\r\n\r\n");
    }
    if (bytes.size() > (1 << 22)) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.clear();
    }
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Pair {
  fs::path one;
  fs::path two;
};

Pair MakePair(int keys) {
  Pair pair{g_folder / ("one-" + std::to_string(keys) + ".reg"), g_folder / ("two-" + std::to_string(keys) + ".reg")};
  WriteSnapshot(pair.one, keys, false);
  WriteSnapshot(pair.two, keys, true);
  return pair;
}

long CompareOnce(const Pair& pair, Counter& counter) {
  CRegCmp cmp;
  cmp.SetCallback(&counter);
  cmp.CompareFiles(platform::Machine::WindowsPath(pair.one), platform::Machine::WindowsPath(pair.two),
                   platform::Machine::WindowsPath(g_folder / "difference.reg"));
  return counter.changes;
}

Pair g_large;

void BM_RegCmpMillionValues(benchmark::State& state) {
  long changes = 0;
  for (auto _ : state) {
    Counter counter;
    changes = CompareOnce(g_large, counter);
  }
  state.counters["changes"] = static_cast<double>(changes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(g_large.one) + fs::file_size(g_large.two)));
}
BENCHMARK(BM_RegCmpMillionValues)->Unit(benchmark::kMillisecond)->MinTime(2.0);

template <typename Work>
double BestMilliseconds(Work work, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  // The tests' fixture prefix, whose Z: drive is the host root, so that the seam maps our files
  // (kept in its scratch folder).
  FixturePrefix prefix;
  prefix.Activate();
  g_folder = prefix.Scratch();

  // Memory first, on a quarter and on the full size, before anything else has raised VmHWM.
  const Pair small = MakePair(25000);
  g_large = MakePair(100000);
  Counter smallCounter;
  const long hwmStart = bench::StatusValueKb("VmHWM");
  CompareOnce(small, smallCounter);
  const long hwmSmall = bench::StatusValueKb("VmHWM");
  Counter largeCounter;
  CompareOnce(g_large, largeCounter);
  const long hwmLarge = bench::StatusValueKb("VmHWM");

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  // Not "cmp -s": that may answer from the sizes alone without reading the files.
  const std::string cmpCommand = "cmp '" + g_large.one.string() + "' '" + g_large.two.string() + "' >/dev/null";
  const double ours = BestMilliseconds([] { Counter c; CompareOnce(g_large, c); }, 5);
  const double baseline = BestMilliseconds([&] { (void)std::system(cmpCommand.c_str()); }, 5);
  const double sizeMb = static_cast<double>(fs::file_size(g_large.one) + fs::file_size(g_large.two)) / 1e6;

  std::printf("files: 1,000,000 values each, %.1f MB together; %ld changes reported\n", sizeMb, largeCounter.changes);
  std::printf("CRegCmp %.1f ms, cmp %.1f ms: ratio %.2f\n", ours, baseline, ours / baseline);
  std::printf("VmHWM: %ld kB at start, %ld kB after 250,000 values, %ld kB after 1,000,000 values\n", hwmStart,
              hwmSmall, hwmLarge);
  std::printf("anonymous memory during the comparison: %ld kB (250,000 values), %ld kB (1,000,000 values)\n",
              smallCounter.anonKb, largeCounter.anonKb);

  benchmark::Shutdown();
  return 0;
}
