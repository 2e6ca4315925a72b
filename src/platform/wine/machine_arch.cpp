#include "platform/machine_arch.h"

#include <fstream>
#include <string>

#include "platform/machine.h"

namespace platform {

bool MachineIs64Bit() {
  const std::filesystem::path root = Machine::Root();
  if (root.empty()) return false;
  std::ifstream in(root / "system.reg", std::ios::binary);
  if (!in) return false;
  // The "#arch=" line belongs to the file header, which ends where the first key begins.
  std::string line;
  for (int count = 0; count < 32 && std::getline(in, line); ++count) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') break;
    if (line.rfind("#arch=", 0) == 0) return line.substr(6) == "win64";
  }
  return false;
}

}  // namespace platform
