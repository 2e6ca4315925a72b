#include "platform/environment.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "core/strings.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/wine/registry_file_parser.h"
#include "platform/wine/shell_folders.h"

namespace fs = std::filesystem;

// The environment a program of the prefix sees, computed the way Wine builds it at process start:
// from the prefix's registry files, never from the Linux environment. Only the few keys that hold
// these values are read, straight from the files through the registry file parser, with a cache
// keyed on the files' identity.
// This does not go through RegistryKey on purpose: RegistryKey waits (up to a minute) for a
// running Wine server of the prefix to end, and start-up must neither block nor come out with
// empty folders because some Wine program is open. These values do not change while a server
// runs, and Wine replaces the files by rename, so the saved files are always whole.
namespace platform {
namespace {

constexpr const wchar_t* kCurrentVersionNt = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kCurrentVersion = L"Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const wchar_t* kProfileList = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kUserProfileKey =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000";
constexpr const wchar_t* kSystemEnvironment = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const wchar_t* kUserEnvironment = L"Environment";

std::wstring Upper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = ToUpperSimple(c);
  return out;
}

// Values of one key, by upper-cased name; only string values are kept.
using KeyValues = std::map<std::wstring, std::wstring>;
// Keys by upper-cased path.
using HiveValues = std::map<std::wstring, KeyValues>;

std::wstring FromUtf16(std::u16string_view text) {
  return Utf16LeToWide(text.data(), text.size() * sizeof(char16_t));
}

// Collects the string values of the wanted keys (upper-cased paths) of one registry file.
class WantedKeysSink : public wine::RegistryFileSink {
 public:
  explicit WantedKeysSink(const std::vector<std::wstring>& wantedKeys) : wanted_(wantedKeys) {}

  void OnKey(std::u16string_view path, size_t) override {
    const std::wstring upper = Upper(FromUtf16(path));
    current_ = nullptr;
    for (const std::wstring& wanted : wanted_) {
      if (wanted == upper) current_ = &result_[upper];
    }
  }
  void OnValue(std::u16string_view name, uint32_t type, const uint8_t* data, size_t size, size_t) override {
    if (current_ == nullptr || (type != kRegSz && type != kRegExpandSz)) return;
    std::wstring text = Utf16LeToWide(data, size);
    if (size_t nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    current_->emplace(Upper(FromUtf16(name)), text);  // the first occurrence stands
  }
  void OnError(size_t, std::string_view) override {}  // the registry loader reports bad lines

  HiveValues Take() { return std::move(result_); }

 private:
  const std::vector<std::wstring>& wanted_;
  HiveValues result_;
  KeyValues* current_ = nullptr;
};

// Reads the string values of the wanted keys (upper-cased paths) from one registry file.
HiveValues ReadHive(const fs::path& file, const std::vector<std::wstring>& wantedKeys) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  WantedKeysSink sink(wantedKeys);
  wine::ParseRegistryText(text.str(), sink);
  return sink.Take();
}

// A file's identity for the cache: path, size and modification time.
struct FileStamp {
  std::string path;
  int64_t size = -1;
  int64_t mtime = 0;
  int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const fs::path& file) {
  FileStamp stamp;
  stamp.path = file.string();
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim.tv_sec;
    stamp.mtimeNs = st.st_mtim.tv_nsec;
  }
  return stamp;
}

struct PrefixValues {
  FileStamp system;
  FileStamp user;
  HiveValues machine;
  HiveValues currentUser;
};

std::mutex g_mutex;
std::optional<PrefixValues> g_cache;

PrefixValues LoadValues() {
  const fs::path root = Machine::Root();
  PrefixValues values;
  values.system = StampOf(root / "system.reg");
  values.user = StampOf(root / "user.reg");
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_cache && g_cache->system == values.system && g_cache->user == values.user) return *g_cache;
  if (!root.empty()) {
    values.machine = ReadHive(root / "system.reg", {Upper(kCurrentVersionNt), Upper(kCurrentVersion),
                                                    Upper(kProfileList), Upper(kUserProfileKey),
                                                    Upper(kSystemEnvironment)});
    values.currentUser = ReadHive(root / "user.reg", {Upper(kShellFolders), Upper(kUserEnvironment)});
  }
  g_cache = values;
  return values;
}

std::wstring Lookup(const HiveValues& hive, const wchar_t* key, const wchar_t* name) {
  auto k = hive.find(Upper(key));
  if (k == hive.end()) return {};
  auto v = k->second.find(Upper(name));
  return v == k->second.end() ? std::wstring() : v->second;
}

// The longest value a Windows environment block holds; an expansion that would grow past it is
// left as written, so values that refer to each other many times cannot blow up.
constexpr size_t kMaxValueLength = 32767;

// One resolution of a name: every name is resolved once (a value that refers to another many
// times costs one lookup each), and a name that is being resolved reads as unset, as when Wine
// builds the environment a value cannot see itself.
struct Resolution {
  const PrefixValues& values;
  std::map<std::wstring, std::wstring> done;
  std::map<std::wstring, bool> active;
};

std::wstring Resolve(Resolution& resolution, const std::wstring& upperName, int depth);

// Replaces %NAME% by the value of NAME, as ExpandEnvironmentStrings does; unknown or empty
// names stay as they are written.
std::wstring Expand(Resolution& resolution, const std::wstring& text, int depth) {
  if (depth > 8 || text.find(L'%') == std::wstring::npos) return text;
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(L'%', i);
    if (open == std::wstring::npos) break;
    size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, i, open - i);
    std::wstring name = text.substr(open + 1, close - open - 1);
    std::wstring value = name.empty() ? std::wstring() : Resolve(resolution, Upper(name), depth + 1);
    if (value.empty()) {
      out.append(text, open, close - open);  // keep "%NAME" and look again from the second '%'
      i = close;
      continue;
    }
    out += value;
    if (out.size() > kMaxValueLength) return text;
    i = close + 1;
  }
  out.append(text, i, std::wstring::npos);
  return out.size() > kMaxValueLength ? text : out;
}

std::wstring DriveOf(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
}

std::wstring ResolveOnce(Resolution& resolution, const std::wstring& name, int depth) {
  const HiveValues& machine = resolution.values.machine;
  const HiveValues& user = resolution.values.currentUser;
  auto expanded = [&](const std::wstring& text) { return Expand(resolution, text, depth); };
  if (name == L"WINDIR" || name == L"SYSTEMROOT") return expanded(Lookup(machine, kCurrentVersionNt, L"SystemRoot"));
  if (name == L"SYSTEMDRIVE") return DriveOf(Resolve(resolution, L"WINDIR", depth + 1));
  if (name == L"PROGRAMFILES" || name == L"PROGRAMW6432") {
    return expanded(Lookup(machine, kCurrentVersion, L"ProgramFilesDir"));
  }
  if (name == L"PROGRAMFILES(X86)") return expanded(Lookup(machine, kCurrentVersion, L"ProgramFilesDir (x86)"));
  if (name == L"COMMONPROGRAMFILES" || name == L"COMMONPROGRAMW6432") {
    return expanded(Lookup(machine, kCurrentVersion, L"CommonFilesDir"));
  }
  if (name == L"USERPROFILE") return expanded(Lookup(machine, kUserProfileKey, L"ProfileImagePath"));
  if (name == L"ALLUSERSPROFILE" || name == L"PROGRAMDATA") return expanded(Lookup(machine, kProfileList, L"ProgramData"));
  if (name == L"PUBLIC") return expanded(Lookup(machine, kProfileList, L"Public"));
  if (name == L"APPDATA") return expanded(Lookup(user, kShellFolders, L"AppData"));
  if (name == L"LOCALAPPDATA") return expanded(Lookup(user, kShellFolders, L"Local AppData"));
  if (name == L"HOMEDRIVE" || name == L"HOMEPATH") {
    std::wstring profile = Resolve(resolution, L"USERPROFILE", depth + 1);
    std::wstring drive = DriveOf(profile);
    if (drive.empty()) return {};
    return name == L"HOMEDRIVE" ? drive : profile.substr(2);
  }
  // Everything else (TEMP, TMP, PATH, ...) comes from the user's environment key, else from the
  // machine's, as Wine builds a new process's environment.
  std::wstring value = Lookup(user, kUserEnvironment, name.c_str());
  if (value.empty()) value = Lookup(machine, kSystemEnvironment, name.c_str());
  return expanded(value);
}

std::wstring Resolve(Resolution& resolution, const std::wstring& name, int depth) {
  if (auto done = resolution.done.find(name); done != resolution.done.end()) return done->second;
  bool& active = resolution.active[name];
  if (active) return {};
  active = true;
  std::wstring value = ResolveOnce(resolution, name, depth);
  resolution.active[name] = false;
  return resolution.done.emplace(name, std::move(value)).first->second;
}

}  // namespace

std::wstring GetEnvironmentValue(const std::wstring& name) {
  if (name.empty() || name.find(L'=') != std::wstring::npos) return {};
  const PrefixValues values = LoadValues();
  Resolution resolution{values, {}, {}};
  return Resolve(resolution, Upper(name), 0);
}

namespace wine {

std::vector<std::wstring> ShellFolderPaths() {
  // The folders Wine links into the Linux home, in the order a setup most likely writes to them:
  // when several link to the same place, the first of them is the one walked.
  static const wchar_t* const kPreferred[] = {L"DESKTOP",    L"PERSONAL",   L"{374DE290-123F-4565-9164-39C4925E467B}",
                                              L"MY MUSIC",   L"MY PICTURES", L"MY VIDEOS",
                                              L"TEMPLATES"};
  const PrefixValues values = LoadValues();
  auto key = values.currentUser.find(Upper(kShellFolders));
  if (key == values.currentUser.end()) return {};
  std::vector<std::wstring> paths;
  KeyValues rest = key->second;
  for (const wchar_t* name : kPreferred) {
    auto value = rest.find(name);
    if (value == rest.end()) continue;
    paths.push_back(Upper(value->second));
    rest.erase(value);
  }
  for (const auto& [name, path] : rest) paths.push_back(Upper(path));
  return paths;
}

}  // namespace wine
}  // namespace platform
