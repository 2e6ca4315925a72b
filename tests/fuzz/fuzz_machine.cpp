#include "fuzz_machine.h"

#include <cstdlib>
#include <fstream>

#include "platform/machine.h"

namespace fs = std::filesystem;

namespace {

void WriteHostFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

constexpr std::string_view kSeparator = "\n--8<--\n";

}  // namespace

FuzzMachine& FuzzMachine::Get(int which) {
  static FuzzMachine first;
  if (which == 0) return first;
  static FuzzMachine second;
  return second;
}

void FuzzMachine::Activate() const {
  ::setenv("WINEPREFIX", prefix_.c_str(), 1);
  platform::Machine::Reset();
}

FuzzMachine::FuzzMachine() {
  std::string pattern = (fs::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  prefix_ = pattern;
  fs::create_directories(prefix_ / "drive_c");
  fs::create_directories(prefix_ / "dosdevices");
  fs::create_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
  WriteHostFile(prefix_ / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n");
  WriteUserReg("");
  WriteHostFile(prefix_ / "userdef.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\.Default\n\n");
  static bool activated = false;
  if (!activated) {
    ::setenv("HOME", prefix_.c_str(), 1);
    Activate();
    activated = true;
  }
}

FuzzMachine::~FuzzMachine() {
  std::error_code ec;
  fs::remove_all(prefix_, ec);
}

std::wstring FuzzMachine::WriteFile(const std::string& name, std::string_view bytes) const {
  WriteHostFile(DriveCFile(name), bytes);
  return L"C:\\" + std::wstring(name.begin(), name.end());
}

void FuzzMachine::WriteUserReg(std::string_view body) const {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
  text += body;
  WriteHostFile(prefix_ / "user.reg", text);
}

void SplitInput(const uint8_t* data, size_t size, std::string_view& first, std::string_view& second) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t at = all.find(kSeparator);
  if (at == std::string_view::npos) {
    first = all;
    second = {};
    return;
  }
  first = all.substr(0, at);
  second = all.substr(at + kSeparator.size());
}
