// Wine's registry files (system.reg, user.reg, userdef.reg) as the registry loader reads them:
// parsed, built into the key tree, and a few keys opened through it (links followed).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/wine/registry_file_parser.h"
#include "platform/wine/registry_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace platform::wine;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParsedRegistryFile parsed = ParseRegistryFile(text);
  (void)parsed;
  RegistryTreeBuilder builder;
  builder.AddFile(RegistryTreeBuilder::Branch::Machine, text);
  builder.AddFile(RegistryTreeBuilder::Branch::CurrentUser, text);
  const auto tree = builder.Finish();
  for (platform::RootKey root : {platform::RootKey::LocalMachine, platform::RootKey::CurrentUser,
                                 platform::RootKey::ClassesRoot, platform::RootKey::CurrentConfig}) {
    uint32_t node = 0;
    if (tree->OpenRoot(root, node) != platform::kSuccess) continue;
    uint32_t below = 0;
    (void)tree->Walk(node, u"Software\\Classes\\Link", below);
    (void)tree->Walk(node, u"Environment", below);
  }
  return 0;
}
