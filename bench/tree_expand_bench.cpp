// How long the include and exclude editor's trees take to expand a huge item, the window's view
// laid out included (offscreen): the host root's Z:\usr\lib, a folder of 20,000 generated
// sub-folders, and a registry key with 10,000 subkeys. Each iteration starts from a fresh tree
// (roots only) and expands the item once; reading the registry files happens before timing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "support/fixture_prefix.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/registry_tree_ctrl.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<FixturePrefix> g_prefix;

void MakeMachine() {
  g_prefix = std::make_unique<FixturePrefix>();
  const fs::path big = g_prefix->InDriveC("Big", true);
  for (int i = 0; i < 20000; ++i) fs::create_directory(big / ("Folder" + std::to_string(100000 + i)));
  std::string keys;
  for (int i = 0; i < 10000; ++i) keys += "\n[Software\\\\Big\\\\Key" + std::to_string(100000 + i) + "] 1700000000\n";
  g_prefix->AddSystemReg(keys);
  g_prefix->Activate();
  platform::RegistryKey warm;
  warm.Open(platform::RootKey::LocalMachine, L"Software\\Big");
}

template <typename Tree>
void Expand(benchmark::State& state, const QString& path) {
  int rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto tree = std::make_unique<Tree>();
    tree->resize(500, 700);
    tree->show();
    std::vector<QModelIndex> chain;
    const QModelIndex item = tree->Model().Find(path, &chain);
    if (!item.isValid()) {
      state.SkipWithError(("not found: " + path.toStdString()).c_str());
      return;
    }
    for (const QModelIndex& above : chain) tree->expand(above.parent().isValid() ? above.parent() : above);
    QApplication::processEvents();
    state.ResumeTiming();
    tree->expand(item);
    tree->scrollTo(tree->Model().index(tree->Model().rowCount(item) - 1, 0, item));
    QApplication::processEvents();
    state.PauseTiming();
    rows = tree->Model().rowCount(item);
    tree.reset();
    state.ResumeTiming();
  }
  state.counters["children"] = rows;
}

void BM_ExpandHostUsrLib(benchmark::State& state) { Expand<CFolderTreeCtrl>(state, "Z:\\usr\\lib"); }
void BM_ExpandFolderOf20000(benchmark::State& state) { Expand<CFolderTreeCtrl>(state, "C:\\Big"); }
void BM_ExpandKeyOf10000(benchmark::State& state) {
  Expand<CRegistryTreeCtrl>(state, "HKEY_LOCAL_MACHINE\\Software\\Big");
}

BENCHMARK(BM_ExpandHostUsrLib)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExpandFolderOf20000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExpandKeyOf10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  MakeMachine();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_prefix.reset();
  return 0;
}
