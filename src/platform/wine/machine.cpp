#include "platform/machine.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/strings.h"
#include "platform/registry.h"

extern char** environ;

namespace fs = std::filesystem;

namespace platform {
namespace {

struct Drive {
  wchar_t letter;       // upper case
  fs::path link;        // <prefix>/dosdevices/x:
  fs::path canonical;   // where the link leads, resolved
};

struct MachineState {
  bool loaded = false;
  fs::path root;
  std::string error;
  std::vector<Drive> drives;
};

std::mutex g_mutex;
MachineState g_state;

fs::path PrefixFromEnvironment() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return fs::path(prefix);
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".wine";
  return {};
}

void Load(MachineState& state) {
  if (state.loaded) return;
  state = MachineState{};
  state.loaded = true;
  std::error_code ec;
  state.root = PrefixFromEnvironment();
  if (state.root.empty()) {
    state.error = "No Wine prefix: neither WINEPREFIX nor HOME is set";
    return;
  }
  state.root = fs::absolute(state.root, ec).lexically_normal();
  if (!state.root.empty() && !state.root.has_filename()) state.root = state.root.parent_path();
  const fs::path dosdevices = state.root / "dosdevices";
  if (!fs::is_directory(state.root, ec)) {
    state.error = "The Wine prefix " + state.root.string() +
                  " does not exist; create it with 'wineboot -i' or set WINEPREFIX";
    return;
  }
  if (!fs::is_directory(dosdevices, ec) || !fs::exists(state.root / "system.reg", ec)) {
    state.error = "The folder " + state.root.string() +
                  " is not a usable Wine prefix (dosdevices/ or system.reg is missing)";
    return;
  }
  for (const auto& entry : fs::directory_iterator(dosdevices, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() != 2 || name[1] != ':') continue;
    char letter = name[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
    if (letter < 'A' || letter > 'Z') continue;
    std::error_code canon_ec;
    fs::path target = fs::canonical(entry.path(), canon_ec);
    if (canon_ec || !fs::is_directory(target, canon_ec)) continue;
    state.drives.push_back({static_cast<wchar_t>(letter), entry.path(), target});
  }
}

const Drive* FindDrive(const MachineState& state, wchar_t letter) {
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - 32);
  for (const Drive& d : state.drives) {
    if (d.letter == letter) return &d;
  }
  return nullptr;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ToLowerSimple(a[i]) != ToLowerSimple(b[i])) return false;
  }
  return true;
}

// The on-disk name of a component: exact when it exists, else a case-insensitive match, else as
// given. `exists` tells whether the path it makes leads somewhere (a dangling link does not).
std::string ResolveComponent(const fs::path& folder, const std::wstring& component, bool& exists) {
  std::string exact = WideToUtf8(component);
  std::error_code ec;
  exists = fs::exists(folder / exact, ec);
  if (exists || fs::is_symlink(folder / exact, ec)) return exact;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string name = entry.path().filename().string();
    if (SameNameIgnoringCase(Utf8ToWide(name), component)) {
      exists = fs::exists(folder / name, ec);
      return name;
    }
  }
  return exact;
}

bool IsWithin(const fs::path& path, const fs::path& base) {
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p) {
    if (b->empty()) continue;  // trailing separator
    if (p == path.end() || *p != *b) return false;
  }
  return true;
}

}  // namespace

bool Machine::IsUsable() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Load(g_state);
  return g_state.error.empty();
}

std::string Machine::Error() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Load(g_state);
  return g_state.error;
}

fs::path Machine::Root() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Load(g_state);
  return g_state.root;
}

bool Machine::IsAdministrator() {
  if (!IsUsable()) return false;
  const fs::path root = Root();
  // Wine has no accounts of its own: whoever may write the prefix and its machine-wide registry
  // file can change everything a setup changes.
  return ::access(root.c_str(), W_OK) == 0 && ::access((root / "system.reg").c_str(), W_OK) == 0;
}

std::wstring Machine::Name() {
  const fs::path root = Root();
  if (root.empty()) return {};
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(root, ec);
  return Utf8ToWide((ec || canonical.empty() ? root : canonical).string());
}

fs::path Machine::HostPath(const std::wstring& windowsPath) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Load(g_state);
  if (windowsPath.size() < 2 || windowsPath[1] != L':') return {};
  const Drive* drive = FindDrive(g_state, windowsPath[0]);
  if (drive == nullptr) return {};

  fs::path result = drive->link;
  std::vector<std::wstring> components;
  std::wstring current;
  for (size_t i = 2; i <= windowsPath.size(); ++i) {
    if (i == windowsPath.size() || windowsPath[i] == L'\\' || windowsPath[i] == L'/') {
      if (current == L"..") {
        if (!components.empty()) components.pop_back();
      } else if (!current.empty() && current != L".") {
        components.push_back(current);
      }
      current.clear();
    } else {
      current.push_back(windowsPath[i]);
    }
  }
  // Most paths are spelt as on disk: one look at the whole path settles them, where the walk
  // below looks at every folder on the way.
  fs::path exact = result;
  for (const std::wstring& component : components) exact /= WideToUtf8(component);
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;

  bool exists = true;
  for (const std::wstring& component : components) {
    if (exists) {
      result /= ResolveComponent(result, component, exists);
    } else {
      result /= WideToUtf8(component);
    }
  }
  return result;
}

std::wstring Machine::WindowsPath(const fs::path& hostPath) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Load(g_state);
  std::error_code ec;
  fs::path absolute = fs::weakly_canonical(fs::absolute(hostPath, ec), ec);
  if (ec) absolute = fs::absolute(hostPath, ec).lexically_normal();
  const Drive* best = nullptr;
  size_t bestLength = 0;
  for (const Drive& d : g_state.drives) {
    size_t length = d.canonical.native().size();
    if (IsWithin(absolute, d.canonical) && (best == nullptr || length > bestLength)) {
      best = &d;
      bestLength = length;
    }
  }
  if (best == nullptr) return {};
  std::wstring out;
  out.push_back(best->letter);
  out.push_back(L':');
  fs::path relative = absolute.lexically_relative(best->canonical);
  for (const auto& part : relative) {
    if (part == ".") continue;
    out.push_back(L'\\');
    out += Utf8ToWide(part.string());
  }
  if (out.size() == 2) out.push_back(L'\\');
  return out;
}

std::wstring Machine::ProgramFilePath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return WindowsPath(self);
}

std::vector<LogicalDrive> Machine::Drives() {
  std::vector<Drive> drives;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    Load(g_state);
    drives = g_state.drives;
  }
  std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
  // Wine keeps a drive's type as text in its own key ("hd", "cdrom", "floppy", "network", "ramdisk").
  RegistryKey types;
  const bool haveTypes = types.Open(RootKey::LocalMachine, L"Software\\Wine\\Drives") == kSuccess;
  std::vector<LogicalDrive> out;
  for (const Drive& d : drives) {
    LogicalDrive drive;
    drive.letter = d.letter;
    drive.hostRoot = d.canonical == d.canonical.root_path();
    std::wstring type;
    if (haveTypes && types.QueryString(std::wstring(1, d.letter) + L":", type) == kSuccess) {
      type = FoldAsciiLower(type);
      if (type == L"cdrom") drive.type = DriveType::kCdRom;
      else if (type == L"floppy") drive.type = DriveType::kRemovable;
      else if (type == L"network") drive.type = DriveType::kRemote;
      else if (type == L"ramdisk") drive.type = DriveType::kRamDisk;
    }
    out.push_back(drive);
  }
  return out;
}

Status Machine::OpenFolderInFileManager(const std::wstring& windowsPath) {
  const fs::path host = HostPath(windowsPath);
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host, ec)) return kPathNotFound;
  const std::string folder = host.string();
  char program[] = "xdg-open";
  char* const argv[] = {program, const_cast<char*>(folder.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return kFileNotFound;
  // xdg-open hands the folder to the file manager and ends; it is reaped aside so that neither the
  // window waits nor a zombie stays.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return kSuccess;
}

void Machine::Reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_state = MachineState{};
}

}  // namespace platform
